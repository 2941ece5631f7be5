#include "platform/x11_cursor.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

#include <algorithm>

namespace platform {

namespace {

// The largest pointer picture taken: servers allow 64 x 64 and more, never this much.
constexpr int kMaxSide = 512;

}  // namespace

PointerImage ReadPointerImage(Display* display) {
    PointerImage pointer;
    int event = 0, error = 0;
    if (!display || !XFixesQueryExtension(display, &event, &error)) return pointer;
    XFixesCursorImage* image = XFixesGetCursorImage(display);
    if (!image) return pointer;
    if (image->width > 0 && image->height > 0 && image->width <= kMaxSide &&
        image->height <= kMaxSide) {
        pointer.x = image->x - image->xhot;
        pointer.y = image->y - image->yhot;
        pointer.width = image->width;
        pointer.height = image->height;
        const size_t count = size_t(image->width) * image->height;
        pointer.pixels.resize(count);
        // Xlib hands each 32-bit pixel in a long.
        for (size_t i = 0; i < count; ++i)
            pointer.pixels[i] = static_cast<uint32_t>(image->pixels[i]);
    }
    XFree(image);
    return pointer;
}

void BlendPointerRow(const PointerImage& pointer, int left, int y, uint32_t* row, int width) {
    if (pointer.empty() || y < pointer.y || y >= pointer.y + pointer.height) return;
    const int from = std::max(left, pointer.x);
    const int to = std::min(left + width, pointer.x + pointer.width);
    const uint32_t* source = pointer.pixels.data() + size_t(y - pointer.y) * pointer.width;
    for (int x = from; x < to; ++x) {
        const uint32_t s = source[x - pointer.x];
        const uint32_t alpha = s >> 24;
        if (alpha == 0 && (s & 0xFFFFFF) == 0) continue;
        uint32_t& d = row[x - left];
        uint32_t out = 0xFF000000u;
        for (int shift = 0; shift < 24; shift += 8) {
            const uint32_t over = (s >> shift) & 0xFF;
            const uint32_t under = (d >> shift) & 0xFF;
            const uint32_t value = over + (under * (255 - alpha) + 127) / 255;
            out |= std::min<uint32_t>(value, 255) << shift;
        }
        d = out;
    }
}

}  // namespace platform
