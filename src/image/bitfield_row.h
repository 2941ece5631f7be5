#pragma once

// Conversion of one row of 16- or 32-bit pixels into 24-bit blue, green, red.

#include <bit>
#include <cstdint>

#include "image/dib_types.h"

// value >> shift for positive shifts, value << -shift for negative ones, kept to 8 bits.
inline uint8_t ShiftTo8(uint32_t value, int shift) {
    if (shift >= 32 || shift <= -32) return 0;
    return static_cast<uint8_t>(shift >= 0 ? value >> shift : value << -shift);
}

// 16 bits: each little-endian word is split by the masks so that 5-6-5 and 5-5-5 words both give
// the top bits of each channel (only the masks' low 16 bits count). 32 bits: the first three bytes
// of each pixel are blue, green, red. Pixels run right to left, so a row may be widened in place.
inline void Bitfield2RGBRow(const uint8_t* in, uint8_t* out, uint32_t width, uint32_t redMask,
                            uint32_t greenMask, uint32_t blueMask, int bpp) {
    if (bpp == 16) {
        const int nR = std::popcount(redMask & 0xFFFF);
        const int nG = std::popcount(greenMask & 0xFFFF);
        const int nB = std::popcount(blueMask & 0xFFFF);
        for (uint32_t x = width; x-- > 0;) {
            const uint32_t w = le::Load16(in + 2 * x);
            out[3 * x] = ShiftTo8(w & blueMask, -(8 - nR));
            out[3 * x + 1] = ShiftTo8(w & greenMask, nR + nG - 8);
            out[3 * x + 2] = ShiftTo8(w & redMask, nR + nG + nB - 8);
        }
    } else if (bpp == 32) {
        for (uint32_t x = width; x-- > 0;) {
            out[3 * x] = in[4 * x];
            out[3 * x + 1] = in[4 * x + 1];
            out[3 * x + 2] = in[4 * x + 2];
        }
    }
}

// Bytes per source row of the two depths.
inline size_t BitfieldRowBytes(uint32_t width, int bpp) {
    return bpp == 16 ? static_cast<size_t>((width + 1) / 2) * 4 : static_cast<size_t>(width) * 4;
}
