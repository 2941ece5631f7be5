#include "platform/window_state.h"

#include "platform/x11_display.h"

#include <X11/Xlib.h>

namespace platform {

void SkipTaskbar(unsigned long window) {
    Display* display = X11Display();
    if (!display || !window) return;
    const Atom state = XInternAtom(display, "_NET_WM_STATE", False);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = state;
    event.xclient.format = 32;
    event.xclient.data.l[0] = 1;  // add
    event.xclient.data.l[1] =
        static_cast<long>(XInternAtom(display, "_NET_WM_STATE_SKIP_TASKBAR", False));
    event.xclient.data.l[2] =
        static_cast<long>(XInternAtom(display, "_NET_WM_STATE_SKIP_PAGER", False));
    event.xclient.data.l[3] = 1;  // from an application
    XSendEvent(display, DefaultRootWindow(display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XFlush(display);
}

}  // namespace platform
