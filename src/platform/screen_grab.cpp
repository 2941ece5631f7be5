#include "platform/screen_grab.h"

#include "platform/capture/capture_backend.h"
#include "platform/x11_display.h"

#include <QPainter>
#include <QScreen>
#include <QRegion>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstring>

namespace platform {

namespace {

// Qt's connection when the program runs; otherwise one of our own. None on Wayland: the X
// server there (XWayland) shows no other program's pixels.
Display* GrabDisplay() {
    if (RunsOnWayland()) return nullptr;
    if (Display* display = X11Display()) return display;
    static Display* own = XOpenDisplay(nullptr);
    return own;
}

std::string g_grabError;

// The screen's pixels come through the backend the session offers, opened at the first use.
capture::Backend* Backend() {
    static std::unique_ptr<capture::Backend> backend;
    static bool opened = false;
    if (!opened) {
        opened = true;
        backend = capture::OpenBackend(GrabDisplay, g_grabError);
    }
    return backend.get();
}

// A shared-memory failure on a remote display is reported as an X error; keep it quiet.
int IgnoreErrors(Display*, XErrorEvent*) {
    return 0;
}

}  // namespace

bool RunsOnWayland() {
    return capture::IsWaylandSession();
}

std::string GrabFailureText() {
    if (!RunsOnWayland()) return "Screen to Compat Blt Failed\n";
    return "Quillet could not capture the screen: " +
           (g_grabError.empty() ? std::string("the reason is not known") : g_grabError) + ".";
}

std::unique_ptr<capture::RepaintWatch> WatchOutputsRepaint(
    const std::vector<std::string>& outputs) {
    capture::Backend* backend = Backend();
    return backend ? backend->WatchRepaint(outputs) : nullptr;
}

QRect ScreenRect() {
    int width = 0, height = 0;
    capture::Backend* backend = Backend();
    if (!backend || !backend->DesktopSize(width, height)) return {};
    return {0, 0, width, height};
}

void SetGrabOverlaysPointer(bool overlay) {
    if (capture::Backend* backend = Backend()) backend->SetOverlayPointer(overlay);
}

QImage GrabScreenArea(const QRect& rect) {
    capture::Backend* backend = Backend();
    if (!backend) return {};
    const QRect area = rect.intersected(ScreenRect());
    if (area.isEmpty()) return {};
    QImage bitmap(area.width(), area.height(), QImage::Format_RGB32);
    const auto copyRow = [&bitmap](int y, const uint32_t* row) {
        std::memcpy(bitmap.scanLine(y), row, size_t(bitmap.width()) * 4);
    };
    g_grabError.clear();
    if (!backend->ReadArea(area.x(), area.y(), area.width(), area.height(), copyRow, g_grabError))
        return {};
    return bitmap;
}

std::vector<Monitor> Monitors() {
    std::vector<Monitor> monitors;
    if (capture::Backend* backend = Backend()) {
        for (const capture::Output& output : backend->Outputs()) {
            monitors.push_back(
                {QString::fromStdString(output.name),
                 QRect(output.x, output.y, output.width, output.height),
                 QRect(output.logicalX, output.logicalY, output.logicalWidth, output.logicalHeight),
                 output.scale});
        }
    }
    return monitors;
}

std::vector<QRect> MonitorRects() {
    std::vector<QRect> rects;
    for (const Monitor& monitor : Monitors()) rects.push_back(monitor.device);
    if (rects.empty()) rects.push_back(ScreenRect());
    return rects;
}

QRect ScreenDeviceRect(const QScreen* screen) {
    if (!screen) return {};
    if (RunsOnWayland()) {
        // Qt knows Wayland's outputs in the logical layout only; they are matched by name.
        for (const Monitor& monitor : Monitors()) {
            if (monitor.name == screen->name()) return monitor.device;
        }
    }
    // Qt keeps each screen's top-left corner in device pixels and divides only its size.
    const QPoint origin = screen->geometry().topLeft();
    for (const QRect& monitor : MonitorRects()) {
        if (monitor.topLeft() == origin) return monitor;
    }
    const qreal ratio = screen->devicePixelRatio();
    return {origin, QSize(qRound(screen->geometry().width() * ratio),
                          qRound(screen->geometry().height() * ratio))};
}

void BlackenOutsideMonitors(QImage& picture, QPoint origin) {
    QRegion shown;
    for (const QRect& monitor : MonitorRects()) shown += monitor.translated(-origin);
    const QRegion hidden = QRegion(picture.rect()) - shown;
    if (hidden.isEmpty()) return;
    QPainter painter(&picture);
    for (const QRect& part : hidden) painter.fillRect(part, Qt::black);
}

QImage GrabWholeScreen() {
    return GrabScreenArea(ScreenRect());
}

QRect WindowScreenRect(unsigned long window) {
    Display* display = GrabDisplay();
    if (!display || !window) return {};
    auto* previous = XSetErrorHandler(IgnoreErrors);
    XWindowAttributes attributes{};
    QRect rect;
    if (XGetWindowAttributes(display, window, &attributes)) {
        int x = 0, y = 0;
        Window child = 0;
        if (XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y,
                                  &child)) {
            rect = QRect(x, y, attributes.width, attributes.height);
        }
    }
    XSync(display, False);
    XSetErrorHandler(previous);
    return rect;
}

}  // namespace platform
