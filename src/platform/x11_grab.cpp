#include "platform/x11_grab.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xrandr.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <vector>

namespace platform {

namespace {

// Hands the rows of an X image to the sink: the common 32-bit true-colour layout row by row
// in place, any other layout pixel by pixel.
void SendRows(XImage* image, const GrabRowSink& sink) {
    const bool direct = image->bits_per_pixel == 32 && image->red_mask == 0xFF0000 &&
                        image->green_mask == 0xFF00 && image->blue_mask == 0xFF &&
                        image->byte_order == LSBFirst;
    std::vector<uint32_t> line(static_cast<size_t>(image->width));
    const auto shift = [](unsigned long mask) {
        int s = 0;
        while (mask && !(mask & 1)) mask >>= 1, ++s;
        return s;
    };
    const auto scale = [](unsigned long value, unsigned long max) {
        return max ? static_cast<uint32_t>(value * 255 / max) : 0u;
    };
    const int rs = shift(image->red_mask), gs = shift(image->green_mask),
              bs = shift(image->blue_mask);
    for (int y = 0; y < image->height; ++y) {
        if (direct) {
            const auto* source =
                reinterpret_cast<const uint32_t*>(image->data + size_t(y) * image->bytes_per_line);
            for (int x = 0; x < image->width; ++x) line[x] = source[x] | 0xFF000000u;
        } else {
            for (int x = 0; x < image->width; ++x) {
                const unsigned long p = XGetPixel(image, x, y);
                line[x] = 0xFF000000u |
                          scale((p & image->red_mask) >> rs, image->red_mask >> rs) << 16 |
                          scale((p & image->green_mask) >> gs, image->green_mask >> gs) << 8 |
                          scale((p & image->blue_mask) >> bs, image->blue_mask >> bs);
            }
        }
        sink(y, line.data());
    }
}

// Shared-memory transfer: the pixels never pass through the socket.
bool ReadShared(Display* display, Window root, int x, int y, int width, int height,
                const GrabRowSink& sink) {
    if (!XShmQueryExtension(display)) return false;
    const int screen = DefaultScreen(display);
    XShmSegmentInfo segment{};
    XImage* image =
        XShmCreateImage(display, DefaultVisual(display, screen), DefaultDepth(display, screen),
                        ZPixmap, nullptr, &segment, width, height);
    if (!image) return false;
    bool read = false;
    segment.shmid =
        shmget(IPC_PRIVATE, size_t(image->bytes_per_line) * image->height, IPC_CREAT | 0600);
    if (segment.shmid >= 0) {
        segment.shmaddr = image->data = static_cast<char*>(shmat(segment.shmid, nullptr, 0));
        segment.readOnly = False;
        if (segment.shmaddr != reinterpret_cast<char*>(-1) && XShmAttach(display, &segment)) {
            if (XShmGetImage(display, root, image, x, y, AllPlanes)) {
                SendRows(image, sink);
                read = true;
            }
            XShmDetach(display, &segment);
            XSync(display, False);
        }
        if (segment.shmaddr != reinterpret_cast<char*>(-1)) shmdt(segment.shmaddr);
        shmctl(segment.shmid, IPC_RMID, nullptr);
    }
    image->data = nullptr;
    XDestroyImage(image);
    return read;
}

// A shared-memory failure on a remote display is reported as an X error; keep it quiet.
int IgnoreErrors(Display*, XErrorEvent*) {
    return 0;
}

}  // namespace

// Asked of the server each time: the connection's screen record keeps the size it had when the
// connection opened, while the desktop grows and shrinks with its monitors.
bool RootSize(Display* display, int& width, int& height) {
    if (!display) return false;
    Window root = 0;
    int x = 0, y = 0;
    unsigned int w = 0, h = 0, border = 0, depth = 0;
    if (!XGetGeometry(display, DefaultRootWindow(display), &root, &x, &y, &w, &h, &border,
                      &depth)) {
        return false;
    }
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

std::vector<MonitorArea> MonitorAreas(Display* display) {
    std::vector<MonitorArea> areas;
    int event = 0, error = 0;
    if (!display || !XRRQueryExtension(display, &event, &error)) return areas;
    int count = 0;
    if (XRRMonitorInfo* monitors =
            XRRGetMonitors(display, DefaultRootWindow(display), True, &count)) {
        for (int i = 0; i < count; ++i) {
            areas.push_back({monitors[i].x, monitors[i].y, monitors[i].width, monitors[i].height});
        }
        XRRFreeMonitors(monitors);
    }
    return areas;
}

bool ReadRootArea(Display* display, int x, int y, int width, int height, const GrabRowSink& sink) {
    if (!display || width <= 0 || height <= 0) return false;
    const Window root = DefaultRootWindow(display);
    XSync(display, False);
    auto* previous = XSetErrorHandler(IgnoreErrors);
    bool read = ReadShared(display, root, x, y, width, height, sink);
    if (!read) {
        if (XImage* image = XGetImage(display, root, x, y, static_cast<unsigned>(width),
                                      static_cast<unsigned>(height), AllPlanes, ZPixmap)) {
            SendRows(image, sink);
            XDestroyImage(image);
            read = true;
        }
    }
    XSync(display, False);
    XSetErrorHandler(previous);
    return read;
}

}  // namespace platform
