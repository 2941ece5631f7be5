#include "support/x11_input.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <functional>

namespace testx11 {

namespace {

// A connection of the tests' own, independent of Qt's.
Display* Connection() {
    static Display* display = XOpenDisplay(nullptr);
    return display;
}

void Sync() {
    XSync(Connection(), False);
}

bool ClassMatches(Display* display, Window window, const QString& name) {
    XClassHint hint{};
    if (!XGetClassHint(display, window, &hint)) return false;
    const bool match = QString(hint.res_name).contains(name, Qt::CaseInsensitive) ||
                       QString(hint.res_class).contains(name, Qt::CaseInsensitive);
    XFree(hint.res_name);
    XFree(hint.res_class);
    return match;
}

long WindowPid(Display* display, Window window) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    long pid = 0;
    if (XGetWindowProperty(display, window, XInternAtom(display, "_NET_WM_PID", False), 0, 1, False,
                           XA_CARDINAL, &type, &format, &count, &after, &data) == Success &&
        data && format == 32 && count == 1) {
        pid = *reinterpret_cast<const long*>(data);
    }
    if (data) XFree(data);
    return pid;
}

void Walk(Display* display, Window window, const std::function<void(Window)>& visit) {
    visit(window);
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, window, &root, &parent, &children, &count)) return;
    for (unsigned int i = 0; i < count; ++i) Walk(display, children[i], visit);
    if (children) XFree(children);
}

}  // namespace

void MoveMouse(QPoint p) {
    XTestFakeMotionEvent(Connection(), -1, p.x(), p.y(), CurrentTime);
    Sync();
}

void ButtonDown(int button) {
    XTestFakeButtonEvent(Connection(), button, True, CurrentTime);
    Sync();
}

void ButtonUp(int button) {
    XTestFakeButtonEvent(Connection(), button, False, CurrentTime);
    Sync();
}

void Click(QPoint p, int button) {
    MoveMouse(p);
    Pump(30);
    ButtonDown(button);
    Pump(30);
    ButtonUp(button);
}

void TapKey(const char* keysymName) {
    Display* display = Connection();
    const KeyCode code = XKeysymToKeycode(display, XStringToKeysym(keysymName));
    XTestFakeKeyEvent(display, code, True, CurrentTime);
    XTestFakeKeyEvent(display, code, False, CurrentTime);
    Sync();
}

void TapKeys(const QStringList& keysymNames) {
    Display* display = Connection();
    std::vector<KeyCode> codes;
    for (const QString& name : keysymNames)
        codes.push_back(XKeysymToKeycode(display, XStringToKeysym(name.toLatin1().constData())));
    for (KeyCode code : codes) XTestFakeKeyEvent(display, code, True, CurrentTime);
    for (auto code = codes.rbegin(); code != codes.rend(); ++code)
        XTestFakeKeyEvent(display, *code, False, CurrentTime);
    Sync();
}

QRect WindowScreenRect(unsigned long window) {
    Display* display = Connection();
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display, window, &attributes)) return {};
    int x = 0, y = 0;
    Window child = 0;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child);
    return {x, y, attributes.width, attributes.height};
}

std::vector<unsigned long> FindViewableWindows(const QString& className, long pid) {
    Display* display = Connection();
    std::vector<unsigned long> found;
    Walk(display, DefaultRootWindow(display), [&](Window window) {
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(display, window, &attributes) &&
            attributes.map_state == IsViewable && ClassMatches(display, window, className) &&
            (pid == 0 || WindowPid(display, window) == pid)) {
            found.push_back(window);
        }
    });
    return found;
}

bool IsMapped(unsigned long window) {
    XWindowAttributes attributes{};
    return XGetWindowAttributes(Connection(), window, &attributes) &&
           attributes.map_state == IsViewable;
}

bool IsOverrideRedirect(unsigned long window) {
    XWindowAttributes attributes{};
    return XGetWindowAttributes(Connection(), window, &attributes) && attributes.override_redirect;
}

namespace {
QStringList AtomListProperty(unsigned long window, const char* property) {
    Display* display = Connection();
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    QStringList names;
    if (XGetWindowProperty(display, window, XInternAtom(display, property, False), 0, 64, False,
                           XA_ATOM, &type, &format, &count, &after, &data) == Success &&
        data && format == 32) {
        const auto* atoms = reinterpret_cast<const Atom*>(data);
        for (unsigned long i = 0; i < count; ++i) {
            char* name = XGetAtomName(display, atoms[i]);
            names << QString(name);
            XFree(name);
        }
    }
    if (data) XFree(data);
    return names;
}
}  // namespace

QStringList NetWmState(unsigned long window) {
    return AtomListProperty(window, "_NET_WM_STATE");
}

QStringList NetWmWindowType(unsigned long window) {
    return AtomListProperty(window, "_NET_WM_WINDOW_TYPE");
}

bool HasUrgencyHint(unsigned long window) {
    XWMHints* hints = XGetWMHints(Connection(), window);
    const bool urgent = hints && (hints->flags & XUrgencyHint);
    if (hints) XFree(hints);
    return urgent;
}

QImage GrabScreen(const QRect& wanted) {
    Display* display = Connection();
    const Window root = DefaultRootWindow(display);
    XWindowAttributes attributes{};
    XGetWindowAttributes(display, root, &attributes);
    const QRect rect = wanted.isNull() ? QRect(0, 0, attributes.width, attributes.height) : wanted;
    XImage* image = XGetImage(display, root, rect.x(), rect.y(), rect.width(), rect.height(),
                              AllPlanes, ZPixmap);
    if (!image) return {};
    QImage result(rect.size(), QImage::Format_RGB32);
    for (int y = 0; y < rect.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < rect.width(); ++x) line[x] = 0xFF000000 | XGetPixel(image, x, y);
    }
    XDestroyImage(image);
    return result;
}

void Pump(int milliseconds) {
    QElapsedTimer clock;
    clock.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    } while (clock.elapsed() < milliseconds);
}

}  // namespace testx11
