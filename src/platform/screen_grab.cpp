#include "platform/screen_grab.h"

#include "platform/x11_display.h"
#include "platform/x11_grab.h"

#include <QPainter>
#include <QScreen>
#include <QRegion>

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstring>

namespace platform {

namespace {

// Qt's connection when the program runs; otherwise one of our own.
Display* GrabDisplay() {
    if (Display* display = X11Display()) return display;
    static Display* own = XOpenDisplay(nullptr);
    return own;
}

// A shared-memory failure on a remote display is reported as an X error; keep it quiet.
int IgnoreErrors(Display*, XErrorEvent*) {
    return 0;
}

}  // namespace

QRect ScreenRect() {
    int width = 0, height = 0;
    if (!RootSize(GrabDisplay(), width, height)) return {};
    return {0, 0, width, height};
}

QImage GrabScreenArea(const QRect& rect) {
    Display* display = GrabDisplay();
    if (!display) return {};
    const QRect area = rect.intersected(ScreenRect());
    if (area.isEmpty()) return {};
    QImage bitmap(area.width(), area.height(), QImage::Format_RGB32);
    const auto copyRow = [&bitmap](int y, const uint32_t* row) {
        std::memcpy(bitmap.scanLine(y), row, size_t(bitmap.width()) * 4);
    };
    if (!ReadRootArea(display, area.x(), area.y(), area.width(), area.height(), copyRow)) return {};
    return bitmap;
}

std::vector<QRect> MonitorRects() {
    std::vector<QRect> rects;
    for (const MonitorArea& area : MonitorAreas(GrabDisplay())) {
        rects.emplace_back(area.x, area.y, area.width, area.height);
    }
    if (rects.empty()) rects.push_back(ScreenRect());
    return rects;
}

QRect ScreenDeviceRect(const QScreen* screen) {
    if (!screen) return {};
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
