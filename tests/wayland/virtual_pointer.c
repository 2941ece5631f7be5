/* virtual_pointer: keeps a virtual pointer on the seat and reads commands from stdin:
   move X Y      absolute move in layout coordinates (needs "extent W H" first, default 1280 1024)
   extent W H    size of the output layout bounding box
   down B | up B | click B   (B: 1 left, 2 middle, 3 right)
   wheel N       vertical scroll N steps
   sleep MS
   Exits on EOF. */
#include <stdio.h>
#include <string.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>
#include <wayland-client.h>
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"
static struct wl_seat *seat; static struct zwlr_virtual_pointer_manager_v1 *mgr;
static void reg_global(void *d, struct wl_registry *r, uint32_t name, const char *iface, uint32_t ver) {
  (void)d; (void)ver;
  if (!strcmp(iface, wl_seat_interface.name) && !seat) seat = wl_registry_bind(r, name, &wl_seat_interface, 1);
  else if (!strcmp(iface, zwlr_virtual_pointer_manager_v1_interface.name)) mgr = wl_registry_bind(r, name, &zwlr_virtual_pointer_manager_v1_interface, 1);
}
static void reg_remove(void *d, struct wl_registry *r, uint32_t name) { (void)d; (void)r; (void)name; }
static const struct wl_registry_listener rl = { reg_global, reg_remove };
static uint32_t now_ms(void) { struct timespec t; clock_gettime(CLOCK_MONOTONIC, &t); return t.tv_sec * 1000 + t.tv_nsec / 1000000; }
static uint32_t btn(int b) { return b == 3 ? 0x111 : b == 2 ? 0x112 : 0x110; } /* BTN_RIGHT, BTN_MIDDLE, BTN_LEFT */
int main(void) {
  struct wl_display *dpy = wl_display_connect(NULL);
  if (!dpy) { fprintf(stderr, "vptr: cannot connect\n"); return 1; }
  struct wl_registry *reg = wl_display_get_registry(dpy);
  wl_registry_add_listener(reg, &rl, NULL); wl_display_roundtrip(dpy);
  if (!mgr) { fprintf(stderr, "vptr: no zwlr_virtual_pointer_manager_v1\n"); return 1; }
  struct zwlr_virtual_pointer_v1 *p = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(mgr, seat);
  wl_display_roundtrip(dpy);
  printf("ready\n"); fflush(stdout);
  unsigned W = 1280, H = 1024; char line[256];
  while (fgets(line, sizeof line, stdin)) {
    unsigned a, b; int n;
    if (sscanf(line, "extent %u %u", &a, &b) == 2) { W = a; H = b; }
    else if (sscanf(line, "move %u %u", &a, &b) == 2) { zwlr_virtual_pointer_v1_motion_absolute(p, now_ms(), a, b, W, H); zwlr_virtual_pointer_v1_frame(p); }
    else if (sscanf(line, "down %d", &n) == 1) { zwlr_virtual_pointer_v1_button(p, now_ms(), btn(n), 1); zwlr_virtual_pointer_v1_frame(p); }
    else if (sscanf(line, "up %d", &n) == 1) { zwlr_virtual_pointer_v1_button(p, now_ms(), btn(n), 0); zwlr_virtual_pointer_v1_frame(p); }
    else if (sscanf(line, "click %d", &n) == 1) { zwlr_virtual_pointer_v1_button(p, now_ms(), btn(n), 1); zwlr_virtual_pointer_v1_frame(p); wl_display_flush(dpy); usleep(30000);
                                                   zwlr_virtual_pointer_v1_button(p, now_ms(), btn(n), 0); zwlr_virtual_pointer_v1_frame(p); }
    else if (sscanf(line, "wheel %d", &n) == 1) { zwlr_virtual_pointer_v1_axis_source(p, 0); zwlr_virtual_pointer_v1_axis_discrete(p, now_ms(), 0, wl_fixed_from_int(15 * n), n); zwlr_virtual_pointer_v1_frame(p); }
    else if (sscanf(line, "sleep %d", &n) == 1) { wl_display_flush(dpy); usleep(n * 1000); }
    wl_display_roundtrip(dpy);
  }
  zwlr_virtual_pointer_v1_destroy(p); wl_display_roundtrip(dpy); wl_display_disconnect(dpy); return 0;
}
