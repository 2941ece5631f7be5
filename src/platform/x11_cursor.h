#pragma once

// The pointer's picture as the X server shows it (XFixes), for captures that include it. Shared
// by the program and quillet-tool: no Qt.

#include <cstdint>
#include <vector>

using Display = struct _XDisplay;

namespace platform {

struct PointerImage {
    int x = 0, y = 0;  // its top-left pixel on the root window
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;  // 0xAARRGGBB with the colour premultiplied, row by row

    bool empty() const { return width <= 0 || height <= 0; }
};

// The pointer's current picture at its place; empty without a display or the XFixes extension.
PointerImage ReadPointerImage(Display* display);

// Lays the pointer over one row of a grab: `row` holds `width` opaque 0xFFRRGGBB pixels of the
// root window's row `y`, starting at x = `left`.
void BlendPointerRow(const PointerImage& pointer, int left, int y, uint32_t* row, int width);

}  // namespace platform
