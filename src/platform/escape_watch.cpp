#include "platform/escape_watch.h"

#include "platform/screen_grab.h"

#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace platform {

struct EscapeWatch::State {
    Display* display = nullptr;
    KeyCode escape = 0;
    bool grabbed = false;
    bool pressed = false;
};

EscapeWatch::EscapeWatch() : state_(std::make_unique<State>()) {
    State& s = *state_;
    // The X server of a Wayland session (XWayland) sees none of the other programs' keys.
    if (RunsOnWayland()) return;
    s.display = XOpenDisplay(nullptr);
    if (!s.display) return;
    s.escape = XKeysymToKeycode(s.display, XK_Escape);
    const Window root = DefaultRootWindow(s.display);
    s.grabbed = XGrabKeyboard(s.display, root, False, GrabModeAsync, GrabModeAsync, CurrentTime) ==
                GrabSuccess;
    XFlush(s.display);
}

EscapeWatch::~EscapeWatch() {
    State& s = *state_;
    if (!s.display) return;
    if (s.grabbed) XUngrabKeyboard(s.display, CurrentTime);
    XCloseDisplay(s.display);  // flushes the release
}

bool EscapeWatch::Pressed() {
    State& s = *state_;
    if (s.pressed || !s.display || !s.escape) return s.pressed;
    if (s.grabbed) {
        // Only key events come on this connection; every one is read, none is handed on.
        while (XPending(s.display) > 0) {
            XEvent event;
            XNextEvent(s.display, &event);
            if (event.type == KeyPress && event.xkey.keycode == s.escape) s.pressed = true;
        }
    } else {
        char keys[32] = {};
        XQueryKeymap(s.display, keys);
        s.pressed = keys[s.escape / 8] & (1 << (s.escape % 8));
    }
    return s.pressed;
}

}  // namespace platform
