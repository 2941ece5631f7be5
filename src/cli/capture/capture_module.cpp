// The screen grab of quillet-tool, with Xlib: loaded only by the capture command.
#include <algorithm>

// The image library's header first: Xlib's macros would clash with its names.
#include "image/raster.h"
#include "platform/x11_grab.h"

#include <X11/Xlib.h>

// The screen area as a 24-bit image, bottom row first as the image object keeps it. False without
// a display or when the area lies outside the screen.
extern "C" __attribute__((visibility("default"))) bool QuilletToolGrab(CRaster* image, int x, int y,
                                                                       int width, int height) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    int screenWidth = 0, screenHeight = 0;
    platform::RootSize(display, screenWidth, screenHeight);
    const int left = std::max(x, 0), top = std::max(y, 0);
    const int right = std::min<long long>(0LL + x + width, screenWidth);
    const int bottom = std::min<long long>(0LL + y + height, screenHeight);
    bool read = false;
    if (right > left && bottom > top &&
        image->Create(right - left, bottom - top, 24, image->GetType())) {
        const uint32_t rows = image->GetHeight(), columns = image->GetWidth();
        read = platform::ReadRootArea(
            display, left, top, right - left, bottom - top,
            [image, rows, columns](int row, const uint32_t* pixels) {
                uint8_t* out = image->GetBits(rows - 1 - static_cast<uint32_t>(row));
                for (uint32_t i = 0; i < columns; ++i) {
                    out[3 * i] = static_cast<uint8_t>(pixels[i]);
                    out[3 * i + 1] = static_cast<uint8_t>(pixels[i] >> 8);
                    out[3 * i + 2] = static_cast<uint8_t>(pixels[i] >> 16);
                }
            });
    }
    XCloseDisplay(display);
    return read;
}
