#pragma once

#include <cstdint>

namespace waylandtest {

// The pattern every test window shows, in its output's device pixels: each pixel of a
// 4096 x 4096 area differs from every other.
inline uint32_t PatternPixel(int x, int y) {
    return 0xFF000000u | uint32_t(x & 0xFF) << 16 | uint32_t(y & 0xFF) << 8 |
           uint32_t((x >> 8 & 0xF) << 4 | (y >> 8 & 0xF));
}

}  // namespace waylandtest
