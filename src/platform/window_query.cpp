#include "platform/window_query.h"

#include "platform/screen_grab.h"
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

bool HasProperty(Display* display, Window window, Atom property) {
    Atom type = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, window, property, 0, 0, False, AnyPropertyType, &type, &format,
                           &items, &after, &data) != Success) {
        return false;
    }
    if (data) XFree(data);
    return type != None;
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

bool IsManagedClient(Display* display, Window window) {
    return HasProperty(display, window, AtomOf(display, "WM_STATE"));
}

// The managed client window inside a frame (breadth first), or 0.
Window ClientInside(Display* display, Window frame) {
    std::vector<Window> level{frame};
    const Atom wmState = AtomOf(display, "WM_STATE");
    for (int depth = 0; depth < 6 && !level.empty(); ++depth) {
        std::vector<Window> next;
        for (Window window : level) {
            if (HasProperty(display, window, wmState)) return window;
            std::vector<Window> children;
            if (Children(display, window, children, nullptr)) {
                next.insert(next.end(), children.begin(), children.end());
            }
        }
        level.swap(next);
    }
    return 0;
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

Window TopLevel(Display* display, Window window) {
    const Window frame = RootChild(display, window);
    if (!frame) return 0;
    std::vector<Window> children;
    // The innermost ancestor with WM_STATE is the client; a point on the decorations has none.
    for (Window w = window; w && w != frame;) {
        if (IsManagedClient(display, w)) return w;
        Window parent = 0;
        if (!Children(display, w, children, &parent)) return 0;
        w = parent;
    }
    const Window client = ClientInside(display, frame);
    return client ? client : frame;
}

bool IsInputOnly(Display* display, Window window) {
    XWindowAttributes attributes{};
    return XGetWindowAttributes(display, window, &attributes) && attributes.c_class == InputOnly;
}

// The topmost mapped InputOutput child of `parent` containing the point (in parent coordinates).
Window VisibleChildAt(Display* display, Window parent, int x, int y) {
    std::vector<Window> children;
    if (!Children(display, parent, children, nullptr)) return 0;
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        XWindowAttributes a{};
        if (!XGetWindowAttributes(display, *it, &a) || a.map_state != IsViewable ||
            a.c_class == InputOnly) {
            continue;
        }
        if (x >= a.x && y >= a.y && x < a.x + a.width + 2 * a.border_width &&
            y < a.y + a.height + 2 * a.border_width) {
            return *it;
        }
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

unsigned long WindowAtPoint(QPoint point) {
    Display* display = Dpy();
    if (!display) return 0;
    ErrorTrap trap(display);
    const Window root = DefaultRootWindow(display);
    Window current = root;
    for (int depth = 0; depth < 64; ++depth) {
        int x = 0, y = 0;
        Window child = 0;
        if (!XTranslateCoordinates(display, root, current, point.x(), point.y(), &x, &y, &child) ||
            !child) {
            break;
        }
        if (IsInputOnly(display, child)) {
            child = VisibleChildAt(display, current, x, y);
            if (!child) break;
        }
        current = child;
    }
    if (current == root) return 0;
    // On the decorations: the managed window they belong to.
    const Window frame = RootChild(display, current);
    std::vector<Window> children;
    for (Window w = current; w;) {
        if (IsManagedClient(display, w)) return current;
        if (w == frame) break;
        Window parent = 0;
        if (!Children(display, w, children, &parent)) return 0;
        w = parent;
    }
    const Window client = ClientInside(display, frame);
    return client ? client : current;
}

unsigned long TopLevelWindow(unsigned long window) {
    Display* display = Dpy();
    if (!display || !window) return 0;
    ErrorTrap trap(display);
    return TopLevel(display, window);
}

unsigned long RootOwnerWindow(unsigned long window) {
    Display* display = Dpy();
    if (!display || !window) return 0;
    ErrorTrap trap(display);
    Window owner = TopLevel(display, window);
    for (int steps = 0; owner && steps < 32; ++steps) {
        Window next = 0;
        if (!XGetTransientForHint(display, owner, &next) || !next || next == owner ||
            next == DefaultRootWindow(display)) {
            break;
        }
        const Window top = TopLevel(display, next);
        if (!top) break;
        owner = top;
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

unsigned long ParentWindow(unsigned long window) {
    Display* display = Dpy();
    if (!display || !window) return 0;
    ErrorTrap trap(display);
    std::vector<Window> children;
    Window parent = 0;
    if (!Children(display, window, children, &parent) || parent == DefaultRootWindow(display)) {
        return 0;
    }
    return parent;
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
    Display* display = Dpy();
    QRect rect = WindowScreenRect(window);
    if (!display || rect.isEmpty() || !withFrame) return rect;
    ErrorTrap trap(display);
    if (!IsManagedClient(display, window)) return rect;
    const std::vector<long> extents =
        LongProperty(display, window, AtomOf(display, "_NET_FRAME_EXTENTS"), XA_CARDINAL, 4);
    if (extents.size() != 4) return rect;
    return rect.adjusted(-int(extents[0]), -int(extents[2]), int(extents[1]), int(extents[3]));
}

QString WindowClassName(unsigned long window) {
    Display* display = Dpy();
    if (!display || !window) return {};
    ErrorTrap trap(display);
    XClassHint hint{};
    if (!XGetClassHint(display, window, &hint)) return {};
    const QString name = QString::fromLocal8Bit(hint.res_class ? hint.res_class : "");
    if (hint.res_name) XFree(hint.res_name);
    if (hint.res_class) XFree(hint.res_class);
    return name;
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
    ErrorTrap trap(display);
    if (!IsManagedClient(display, topLevel)) return;
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
