#include "platform/outline_frame.h"

#include "platform/x11_display.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>

namespace platform {

COutlineFrame::~COutlineFrame() {
    Display* display = X11Display();
    if (display && window_) {
        XDestroyWindow(display, window_);
        XFlush(display);
    }
}

bool COutlineFrame::Create() {
    Display* display = X11Display();
    if (!display) return false;
    if (window_) return true;
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = BlackPixel(display, DefaultScreen(display));
    attributes.save_under = True;
    window_ = XCreateWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, CopyFromParent,
                            InputOutput, CopyFromParent,
                            CWOverrideRedirect | CWBackPixel | CWSaveUnder, &attributes);
    // An empty input shape: the pointer and the window queries pass straight through.
    XShapeCombineRectangles(display, window_, ShapeInput, 0, 0, nullptr, 0, ShapeSet, Unsorted);
    XStoreName(display, window_, "Quillet outline");
    return window_ != 0;
}

void COutlineFrame::Show(const QRect& rect) {
    Display* display = X11Display();
    if (rect.isEmpty() || !Create()) return;
    const int w = rect.width(), h = rect.height(), k = kWidth;
    XRectangle sides[4] = {
        {0, 0, static_cast<unsigned short>(w), static_cast<unsigned short>(k)},
        {0, static_cast<short>(h - k), static_cast<unsigned short>(w),
         static_cast<unsigned short>(k)},
        {0, 0, static_cast<unsigned short>(k), static_cast<unsigned short>(h)},
        {static_cast<short>(w - k), 0, static_cast<unsigned short>(k),
         static_cast<unsigned short>(h)},
    };
    XMoveResizeWindow(display, window_, rect.x(), rect.y(), unsigned(w), unsigned(h));
    XShapeCombineRectangles(display, window_, ShapeBounding, 0, 0, sides, 4, ShapeSet, Unsorted);
    XMapRaised(display, window_);
    XFlush(display);
    visible_ = true;
}

void COutlineFrame::Hide() {
    Display* display = X11Display();
    if (!display || !window_ || !visible_) return;
    XUnmapWindow(display, window_);
    XFlush(display);
    visible_ = false;
}

}  // namespace platform
