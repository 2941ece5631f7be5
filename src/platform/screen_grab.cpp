#include "platform/screen_grab.h"

#include "platform/x11_display.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstring>

namespace platform {

namespace {

// Qt's connection when the program runs; otherwise (quillet-tool) one of our own.
Display* GrabDisplay() {
    if (Display* display = X11Display()) return display;
    static Display* own = XOpenDisplay(nullptr);
    return own;
}

// Copies an X image into a screen-compatible bitmap; direct row copies for the common
// 32-bit true-colour layout, pixel by pixel otherwise.
QImage ToBitmap(XImage* image) {
    QImage bitmap(image->width, image->height, QImage::Format_RGB32);
    const bool direct = image->bits_per_pixel == 32 && image->red_mask == 0xFF0000 &&
                        image->green_mask == 0xFF00 && image->blue_mask == 0xFF &&
                        image->byte_order == LSBFirst;
    for (int y = 0; y < image->height; ++y) {
        auto* line = reinterpret_cast<uint32_t*>(bitmap.scanLine(y));
        if (direct) {
            const auto* source =
                reinterpret_cast<const uint32_t*>(image->data + size_t(y) * image->bytes_per_line);
            for (int x = 0; x < image->width; ++x) line[x] = source[x] | 0xFF000000u;
            continue;
        }
        const auto shift = [](unsigned long mask) {
            int s = 0;
            while (mask && !(mask & 1)) mask >>= 1, ++s;
            return s;
        };
        const int rs = shift(image->red_mask), gs = shift(image->green_mask),
                  bs = shift(image->blue_mask);
        const auto scale = [](unsigned long value, unsigned long max) {
            return max ? static_cast<uint32_t>(value * 255 / max) : 0u;
        };
        for (int x = 0; x < image->width; ++x) {
            const unsigned long p = XGetPixel(image, x, y);
            line[x] = 0xFF000000u |
                      scale((p & image->red_mask) >> rs, image->red_mask >> rs) << 16 |
                      scale((p & image->green_mask) >> gs, image->green_mask >> gs) << 8 |
                      scale((p & image->blue_mask) >> bs, image->blue_mask >> bs);
        }
    }
    return bitmap;
}

// Shared-memory transfer: the pixels never pass through the socket.
QImage GrabShared(Display* display, Window root, const QRect& area) {
    if (!XShmQueryExtension(display)) return {};
    const int screen = DefaultScreen(display);
    XShmSegmentInfo segment{};
    XImage* image =
        XShmCreateImage(display, DefaultVisual(display, screen), DefaultDepth(display, screen),
                        ZPixmap, nullptr, &segment, area.width(), area.height());
    if (!image) return {};
    QImage bitmap;
    segment.shmid =
        shmget(IPC_PRIVATE, size_t(image->bytes_per_line) * image->height, IPC_CREAT | 0600);
    if (segment.shmid >= 0) {
        segment.shmaddr = image->data = static_cast<char*>(shmat(segment.shmid, nullptr, 0));
        segment.readOnly = False;
        if (segment.shmaddr != reinterpret_cast<char*>(-1) && XShmAttach(display, &segment)) {
            if (XShmGetImage(display, root, image, area.x(), area.y(), AllPlanes)) {
                bitmap = ToBitmap(image);
            }
            XShmDetach(display, &segment);
            XSync(display, False);
        }
        if (segment.shmaddr != reinterpret_cast<char*>(-1)) shmdt(segment.shmaddr);
        shmctl(segment.shmid, IPC_RMID, nullptr);
    }
    image->data = nullptr;
    XDestroyImage(image);
    return bitmap;
}

// A shared-memory failure on a remote display is reported as an X error; keep it quiet.
int IgnoreErrors(Display*, XErrorEvent*) {
    return 0;
}

}  // namespace

QRect ScreenRect() {
    Display* display = GrabDisplay();
    if (!display) return {};
    const int screen = DefaultScreen(display);
    return {0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen)};
}

QImage GrabScreenArea(const QRect& rect) {
    Display* display = GrabDisplay();
    if (!display) return {};
    const QRect area = rect.intersected(ScreenRect());
    if (area.isEmpty()) return {};
    const Window root = DefaultRootWindow(display);
    XSync(display, False);
    auto* previous = XSetErrorHandler(IgnoreErrors);
    QImage bitmap = GrabShared(display, root, area);
    if (bitmap.isNull()) {
        if (XImage* image = XGetImage(display, root, area.x(), area.y(), area.width(),
                                      area.height(), AllPlanes, ZPixmap)) {
            bitmap = ToBitmap(image);
            XDestroyImage(image);
        }
    }
    XSync(display, False);
    XSetErrorHandler(previous);
    return bitmap;
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
