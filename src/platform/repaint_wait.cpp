#include "platform/repaint_wait.h"

#include "platform/fixed_wait.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QWidget>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/Xdamage.h>
#include <X11/extensions/shape.h>

#include <poll.h>

#include <algorithm>
#include <string>

namespace platform {

namespace {

// Our own connection: its events (unmaps, damage) never pass through Qt's event queue.
Display* WatchDisplay() {
    static Display* own = XOpenDisplay(nullptr);
    return own;
}

int IgnoreErrors(Display*, XErrorEvent*) {
    return 0;
}

// Runs `job` with the connection's errors (a window that vanished) ignored.
template <typename Job>
void Quietly(Display* display, Job job) {
    XSync(display, False);
    auto* previous = XSetErrorHandler(IgnoreErrors);
    job();
    XSync(display, False);
    XSetErrorHandler(previous);
}

Window ParentOf(Display* display, Window window) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count)) return 0;
    if (children) XFree(children);
    return parent;
}

// The ancestor that is a child of the root: the window manager's frame, or the window itself.
Window TopOf(Display* display, Window window) {
    const Window root = DefaultRootWindow(display);
    for (int depth = 0; window && depth < 64; ++depth) {
        const Window parent = ParentOf(display, window);
        if (!parent || parent == root) return parent ? window : 0;
        window = parent;
    }
    return 0;
}

bool HasWmState(Display* display, Window window) {
    const Atom wmState = XInternAtom(display, "WM_STATE", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(display, window, wmState, 0, 2, False, AnyPropertyType,
                                          &type, &format, &count, &after, &data);
    if (data) XFree(data);
    return status == Success && type != None;
}

// The window's bounding shape on the root window, in device pixels.
QRegion ShapeOnRoot(Display* display, Window window) {
    Window child = 0;
    int x = 0, y = 0;
    if (!XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child))
        return {};
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, window, &attributes)) return {};
    // A shape reaches no further than the window itself.
    const QRect bounds(x - attributes.border_width, y - attributes.border_width,
                       attributes.width + 2 * attributes.border_width,
                       attributes.height + 2 * attributes.border_width);
    QRegion shape;
    int count = 0, ordering = 0;
    if (XRectangle* rects =
            XShapeGetRectangles(display, window, ShapeBounding, &count, &ordering)) {
        for (int i = 0; i < count; ++i) {
            shape += QRect(x + rects[i].x, y + rects[i].y, rects[i].width, rects[i].height);
        }
        XFree(rects);
    }
    return shape & bounds;
}

// The part of `region` that windows other than `ours`, stacked above `top`, leave visible.
QRegion UncoveredBy(Display* display, Window top, const std::vector<Window>& ours, QRegion region) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count))
        return region;
    bool above = false;  // children come bottom to top
    for (unsigned int i = 0; i < count; ++i) {
        if (children[i] == top) {
            above = true;
            continue;
        }
        if (!above || std::find(ours.begin(), ours.end(), children[i]) != ours.end()) continue;
        XWindowAttributes a{};
        if (XGetWindowAttributes(display, children[i], &a) && a.map_state == IsViewable &&
            a.c_class == InputOutput) {
            region -= ShapeOnRoot(display, children[i]);
        }
    }
    if (children) XFree(children);
    return region;
}

bool DamageAvailable(Display* display, int& eventBase) {
    int errorBase = 0;
    return XDamageQueryExtension(display, &eventBase, &errorBase);
}

}  // namespace

struct CRepaintWait::Watch {
    Display* display = nullptr;
    int damageEvent = 0;
    Damage damage = 0;
    std::vector<Window> clients;  // our windows as the program knows them
    std::vector<Window> tops;     // what leaves the screen: their frames, or themselves
    std::vector<QRegion> parts;   // the visible part of the area each of them covers
    QRegion target;

    // Events gathered while waiting.
    std::vector<Window> unmapped;
    QRegion pending;  // parts of the unmapped ones that no damage has reached since
    qint64 lastDamageMs = -1;

    bool AllUnmapped() const { return unmapped.size() == tops.size(); }

    void Read(qint64 nowMs) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == UnmapNotify || event.type == DestroyNotify) {
                const Window window =
                    event.type == UnmapNotify ? event.xunmap.window : event.xdestroywindow.window;
                const auto top = std::find(tops.begin(), tops.end(), window);
                if (top == tops.end() ||
                    std::find(unmapped.begin(), unmapped.end(), window) != unmapped.end()) {
                    continue;
                }
                unmapped.push_back(window);
                // Only what is drawn after it left counts as its area redrawn.
                pending += parts[top - tops.begin()];
            } else if (damage && event.type == damageEvent + XDamageNotify) {
                const auto& notify = reinterpret_cast<const XDamageNotifyEvent&>(event);
                const QRect rect(notify.area.x, notify.area.y, notify.area.width,
                                 notify.area.height);
                if (!target.intersects(rect)) continue;
                lastDamageMs = nowMs;
                pending -= rect;
            }
        }
    }

    bool Settled(qint64 nowMs) const {
        return AllUnmapped() && pending.isEmpty() && lastDamageMs >= 0 &&
               nowMs - lastDamageMs >= kFrameMs;
    }
};

CRepaintWait::CRepaintWait(const std::vector<unsigned long>& windows, const QRect& area)
    : watch_(std::make_unique<Watch>()) {
    Watch& w = *watch_;
    w.display = WatchDisplay();
    if (!w.display || windows.empty()) return;
    Quietly(w.display, [&] {
        for (const unsigned long window : windows) {
            const Window top = TopOf(w.display, window);
            if (!top || std::find(w.tops.begin(), w.tops.end(), top) != w.tops.end()) continue;
            // The frame clips the window where it is the smaller one.
            QRegion shape = ShapeOnRoot(w.display, window) & area;
            if (top != window) shape &= ShapeOnRoot(w.display, top);
            if (shape.isEmpty()) continue;
            w.clients.push_back(window);
            w.tops.push_back(top);
            w.parts.push_back(shape);
            XSelectInput(w.display, top, StructureNotifyMask);
        }
        // What other programs' windows cover stays as it is: only the visible part is redrawn.
        for (std::size_t i = 0; i < w.tops.size(); ++i) {
            w.parts[i] = UncoveredBy(w.display, w.tops[i], w.tops, w.parts[i]);
            w.target += w.parts[i];
        }
        if (!w.tops.empty() && DamageAvailable(w.display, w.damageEvent)) {
            w.damage =
                XDamageCreate(w.display, DefaultRootWindow(w.display), XDamageReportRawRectangles);
        }
    });
    if (!w.damage) w.target = QRegion();  // the cap alone decides
}

CRepaintWait::~CRepaintWait() {
    Watch& w = *watch_;
    if (!w.display || w.tops.empty()) return;
    Quietly(w.display, [&] {
        for (const Window top : w.tops) XSelectInput(w.display, top, NoEventMask);
        if (w.damage) XDamageDestroy(w.display, w.damage);
    });
    // Whatever came meanwhile belongs to this watch.
    XEvent event;
    while (XPending(w.display)) XNextEvent(w.display, &event);
}

bool CRepaintWait::Empty() const {
    return watch_->tops.empty();
}

const QRegion& CRepaintWait::Target() const {
    return watch_->target;
}

bool CRepaintWait::Wait(int capMs) {
    Watch& w = *watch_;
    const InputHold hold;
    const auto flags = QEventLoop::ExcludeUserInputEvents;
    QElapsedTimer clock;
    clock.start();
    // Windows that stay shown are not waited for: they are part of the picture.
    for (std::size_t i = 0; i < w.clients.size();) {
        const QWidget* widget = QWidget::find(w.clients[i]);
        if (widget && widget->isVisible()) {
            XSelectInput(w.display, w.tops[i], NoEventMask);
            w.clients.erase(w.clients.begin() + i);
            w.tops.erase(w.tops.begin() + i);
            w.parts.erase(w.parts.begin() + i);
        } else {
            ++i;
        }
    }
    if (w.tops.empty()) return true;
    if (!w.damage) {
        FixedWait(capMs);
        return false;
    }
    const int fd = ConnectionNumber(w.display);
    while (true) {
        // Our own requests (the hide) leave, and our windows keep painting.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(flags);
        XFlush(w.display);
        w.Read(clock.elapsed());
        if (w.Settled(clock.elapsed())) return true;
        const qint64 left = capMs - clock.elapsed();
        if (left <= 0) return false;
        pollfd watch{fd, POLLIN, 0};
        poll(&watch, 1, static_cast<int>(std::min<qint64>(left, 4)));
    }
}

bool WaitForQuietArea(const QRect& area, int capMs) {
    Display* display = WatchDisplay();
    int damageEvent = 0;
    if (!display || !DamageAvailable(display, damageEvent)) {
        FixedWait(capMs);
        return false;
    }
    const InputHold hold;
    Damage damage = 0;
    Quietly(display, [&] {
        damage = XDamageCreate(display, DefaultRootWindow(display), XDamageReportRawRectangles);
    });
    QElapsedTimer clock;
    clock.start();
    qint64 lastDamage = 0;
    bool settled = false;
    const int fd = ConnectionNumber(display);
    while (true) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type != damageEvent + XDamageNotify) continue;
            const auto& notify = reinterpret_cast<const XDamageNotifyEvent&>(event);
            if (area.intersects(
                    QRect(notify.area.x, notify.area.y, notify.area.width, notify.area.height)))
                lastDamage = clock.elapsed();
        }
        if (clock.elapsed() - lastDamage >= CRepaintWait::kFrameMs) {
            settled = true;
            break;
        }
        const qint64 left = capMs - clock.elapsed();
        if (left <= 0) break;
        pollfd watch{fd, POLLIN, 0};
        poll(&watch, 1, static_cast<int>(std::min<qint64>(left, 4)));
    }
    Quietly(display, [&] { XDamageDestroy(display, damage); });
    XEvent event;
    while (XPending(display)) XNextEvent(display, &event);
    return settled;
}

bool CompositorRunning() {
    Display* display = WatchDisplay();
    if (!display) return false;
    const std::string name = "_NET_WM_CM_S" + std::to_string(DefaultScreen(display));
    const Atom selection = XInternAtom(display, name.c_str(), False);
    return XGetSelectionOwner(display, selection) != None;
}

std::vector<unsigned long> OwnWindowsOn(const QRect& area) {
    std::vector<unsigned long> windows;
    Display* display = WatchDisplay();
    if (!display || !qApp) return windows;
    Quietly(display, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (!widget->isVisible() || !widget->testAttribute(Qt::WA_WState_Created)) continue;
            const Window window = widget->winId();
            XWindowAttributes attributes{};
            if (!XGetWindowAttributes(display, window, &attributes) ||
                attributes.map_state != IsViewable) {
                continue;
            }
            // An icon embedded in the desktop's tray belongs to the tray: neither on the root
            // nor managed.
            if (ParentOf(display, window) != DefaultRootWindow(display) &&
                !HasWmState(display, window)) {
                continue;
            }
            if (ShapeOnRoot(display, window).intersects(area)) windows.push_back(window);
        }
    });
    return windows;
}

}  // namespace platform
