#include "platform/window_query.h"

#include "platform/screen_grab.h"
#include "platform/x11_windows.h"
#include "platform/x11_display.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <vector>

namespace platform {

namespace {

// Foreign windows may vanish between two requests: their errors are ignored while a trap lives,
// and the program's own handler comes back afterwards.
int IgnoreError(Display*, XErrorEvent*) {
    return 0;
}

class ErrorTrap {
  public:
    explicit ErrorTrap(Display* display) : display_(display) {
        XSync(display_, False);
        previous_ = XSetErrorHandler(IgnoreError);
    }
    ~ErrorTrap() {
        XSync(display_, False);
        XSetErrorHandler(previous_);
    }

  private:
    Display* display_;
    XErrorHandler previous_;
};

Display* Dpy() {
    return X11Display();
}

Atom AtomOf(Display* display, const char* name) {
    return XInternAtom(display, name, False);
}

// The children of a window, bottom first; false when the window is gone.
bool Children(Display* display, Window window, std::vector<Window>& children, Window* parent) {
    Window root = 0, parentWindow = 0, *list = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, window, &root, &parentWindow, &list, &count)) return false;
    children.assign(list, list + count);
    if (list) XFree(list);
    if (parent) *parent = parentWindow;
    return true;
}

// Up to `count` 32-bit items of a property (as longs, the way Xlib hands them out).
std::vector<long> LongProperty(Display* display, Window window, Atom property, Atom type,
                               long count) {
    Atom actualType = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<long> values;
    if (XGetWindowProperty(display, window, property, 0, count, False, type, &actualType, &format,
                           &items, &after, &data) == Success &&
        data && format == 32 && actualType == type) {
        const auto* longs = reinterpret_cast<const long*>(data);
        values.assign(longs, longs + items);
    }
    if (data) XFree(data);
    return values;
}

// The root's child that holds the window, or 0 for the root itself.
Window RootChild(Display* display, Window window) {
    const Window root = DefaultRootWindow(display);
    std::vector<Window> children;
    for (int depth = 0; window && window != root && depth < 64; ++depth) {
        Window parent = 0;
        if (!Children(display, window, children, &parent)) return 0;
        if (parent == root) return window;
        window = parent;
    }
    return 0;
}

}  // namespace

QPoint PointerPosition() {
    Display* display = Dpy();
    if (!display) return {};
    Window root = 0, child = 0;
    int x = 0, y = 0, wx = 0, wy = 0;
    unsigned mask = 0;
    XQueryPointer(display, DefaultRootWindow(display), &root, &child, &x, &y, &wx, &wy, &mask);
    return {x, y};
}

void WheelClickUp() {
    Display* display = Dpy();
    int event = 0, error = 0, major = 0, minor = 0;
    if (!display || !XTestQueryExtension(display, &event, &error, &major, &minor)) return;
    XTestFakeButtonEvent(display, Button4, True, CurrentTime);
    XTestFakeButtonEvent(display, Button4, False, CurrentTime);
    XFlush(display);
}

unsigned long RootOwnerWindow(unsigned long window) {
    unsigned long owner = TopLevelOf(window);
    for (int steps = 0; owner && steps < 32; ++steps) {
        const unsigned long next = TopLevelOf(TransientOwner(owner));
        if (!next || next == owner) break;
        owner = next;
    }
    return owner;
}

std::vector<unsigned long> OwnedWindows(unsigned long topLevel) {
    Display* display = Dpy();
    std::vector<unsigned long> owned;
    if (!display || !topLevel) return owned;
    ErrorTrap trap(display);
    const std::vector<long> stacking =
        LongProperty(display, DefaultRootWindow(display),
                     AtomOf(display, "_NET_CLIENT_LIST_STACKING"), XA_WINDOW, 4096);
    for (long client : stacking) {
        Window owner = Window(client);
        // Follow the chain upwards; a window owned through another owned one counts too.
        for (int steps = 0; steps < 32; ++steps) {
            Window next = 0;
            if (!XGetTransientForHint(display, owner, &next) || !next || next == owner) break;
            owner = next;
            if (owner == topLevel) {
                owned.push_back(Window(client));
                break;
            }
        }
    }
    return owned;
}

unsigned long FrameWindow(unsigned long topLevel) {
    Display* display = Dpy();
    if (!display || !topLevel) return 0;
    ErrorTrap trap(display);
    const Window frame = RootChild(display, topLevel);
    return frame ? frame : topLevel;
}

bool IsWithin(unsigned long window, unsigned long ancestor) {
    Display* display = Dpy();
    if (!display || !window || !ancestor) return false;
    ErrorTrap trap(display);
    std::vector<Window> children;
    for (int depth = 0; window && depth < 64; ++depth) {
        if (window == ancestor) return true;
        Window parent = 0;
        if (!Children(display, window, children, &parent)) return false;
        window = parent;
    }
    return false;
}

QRect WindowRect(unsigned long window, bool withFrame) {
    const QRect rect = WindowScreenRect(window);
    if (rect.isEmpty() || !withFrame || !HasProperty(window, "WM_STATE")) return rect;
    const std::optional<FrameExtents> frame = FrameExtentsOf(window);
    if (!frame) return rect;
    return rect.adjusted(-frame->left, -frame->top, frame->right, frame->bottom);
}

bool HasAboveState(unsigned long topLevel) {
    Display* display = Dpy();
    if (!display || !topLevel) return false;
    ErrorTrap trap(display);
    const Atom above = AtomOf(display, "_NET_WM_STATE_ABOVE");
    for (long state :
         LongProperty(display, topLevel, AtomOf(display, "_NET_WM_STATE"), XA_ATOM, 32)) {
        if (Atom(state) == above) return true;
    }
    return false;
}

void SetAboveState(unsigned long topLevel, bool above) {
    Display* display = Dpy();
    if (!display || !topLevel) return;
    if (!HasProperty(topLevel, "WM_STATE")) return;
    ErrorTrap trap(display);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = topLevel;
    event.xclient.message_type = AtomOf(display, "_NET_WM_STATE");
    event.xclient.format = 32;
    event.xclient.data.l[0] = above ? 1 : 0;  // add or remove
    event.xclient.data.l[1] = long(AtomOf(display, "_NET_WM_STATE_ABOVE"));
    event.xclient.data.l[3] = 1;  // from an application
    XSendEvent(display, DefaultRootWindow(display), False,
               SubstructureRedirectMask | SubstructureNotifyMask, &event);
}

void RaiseWindow(unsigned long topLevel) {
    Display* display = Dpy();
    if (!display || !topLevel) return;
    ErrorTrap trap(display);
    // A managed window's raise goes to the window manager as a request.
    XRaiseWindow(display, topLevel);
}

bool IsTopOfStack(unsigned long topLevel, unsigned long ignored) {
    Display* display = Dpy();
    if (!display || !topLevel) return false;
    ErrorTrap trap(display);
    const Window frame = RootChild(display, topLevel);
    std::vector<Window> children;
    XWindowAttributes f{};
    if (!frame || !XGetWindowAttributes(display, frame, &f) ||
        !Children(display, DefaultRootWindow(display), children, nullptr)) {
        return false;
    }
    const QRect frameRect(f.x, f.y, f.width, f.height);
    // The topmost of the windows that overlap it (panels and docks elsewhere do not count).
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        if (*it == ignored) continue;
        XWindowAttributes a{};
        if (!XGetWindowAttributes(display, *it, &a) || a.map_state != IsViewable ||
            a.c_class == InputOnly || !frameRect.intersects(QRect(a.x, a.y, a.width, a.height))) {
            continue;
        }
        return *it == frame;
    }
    return false;
}

}  // namespace platform
