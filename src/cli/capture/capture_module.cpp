// The screen grab of quillet-tool, with Xlib: loaded only by the capture command.
#include <algorithm>
#include <cstring>
#include <vector>

// The image library's header first: Xlib's macros would clash with its names.
#include "image/raster.h"
#include "platform/x11_grab.h"

#include <X11/Xlib.h>

// The screen area as a 24-bit image, bottom row first as the image object keeps it; what no monitor
// shows is black, as in the program's own captures. False without a display or when the area lies
// outside the screen.
extern "C" __attribute__((visibility("default"))) bool QuilletToolGrab(CRaster* image, int x, int y,
                                                                       int width, int height) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    int screenWidth = 0, screenHeight = 0;
    platform::RootSize(display, screenWidth, screenHeight);
    const int left = std::max(x, 0), top = std::max(y, 0);
    const int right = std::min<long long>(0LL + x + width, screenWidth);
    const int bottom = std::min<long long>(0LL + y + height, screenHeight);
    std::vector<platform::MonitorArea> monitors = platform::MonitorAreas(display);
    if (monitors.empty()) monitors.push_back({0, 0, screenWidth, screenHeight});
    bool read = false;
    if (right > left && bottom > top &&
        image->Create(right - left, bottom - top, 24, image->GetType())) {
        const uint32_t rows = image->GetHeight(), columns = image->GetWidth();
        read = platform::ReadRootArea(
            display, left, top, right - left, bottom - top, [&](int row, const uint32_t* pixels) {
                uint8_t* out = image->GetBits(rows - 1 - static_cast<uint32_t>(row));
                std::memset(out, 0, 3 * size_t{columns});
                const int screenY = top + row;
                for (const platform::MonitorArea& monitor : monitors) {
                    if (screenY < monitor.y || screenY >= monitor.y + monitor.height) continue;
                    const int from = std::max(monitor.x, left) - left;
                    const int to = std::min(monitor.x + monitor.width, right) - left;
                    for (int i = std::max(from, 0); i < to; ++i) {
                        out[3 * i] = static_cast<uint8_t>(pixels[i]);
                        out[3 * i + 1] = static_cast<uint8_t>(pixels[i] >> 8);
                        out[3 * i + 2] = static_cast<uint8_t>(pixels[i] >> 16);
                    }
                }
            });
    }
    XCloseDisplay(display);
    return read;
}
