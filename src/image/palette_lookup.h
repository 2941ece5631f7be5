#pragma once

// Nearest palette entry of a colour, answered exactly as CRaster::GetNearestIndex (smallest
// squared distance, the first of equal minima) but without scanning the whole palette per
// pixel: the colour cube is cut into cells of 8 × 8 × 8 colours, and the first colour asked in
// a cell fills the answers of the whole cell, searching only the few entries that can be
// nearest to a colour inside it. One object per thread: it fills its tables as it is asked.

#include <cstdint>
#include <vector>

#include "image/dib_types.h"

class PaletteLookup {
  public:
    PaletteLookup(const RGBQUAD* palette, uint32_t count);

    uint8_t Nearest(uint8_t red, uint8_t green, uint8_t blue) {
        if (count <= kScanned) return Scan(red, green, blue);
        const uint32_t cell = ((red >> 3) << 10) | ((green >> 3) << 5) | (blue >> 3);
        int32_t offset = cellAnswers[cell];
        if (offset < 0) offset = FillCell(cell);
        return answers[offset + (((red & 7) << 6) | ((green & 7) << 3) | (blue & 7))];
    }
    uint8_t Nearest(const RGBQUAD& c) { return Nearest(c.rgbRed, c.rgbGreen, c.rgbBlue); }

  private:
    // Palettes this small are simply scanned.
    static constexpr uint32_t kScanned = 4;

    uint8_t Scan(int32_t red, int32_t green, int32_t blue) const {
        int32_t best = 0x7FFFFFFF;
        uint8_t nearest = 0;
        for (uint32_t i = 0; i < count; ++i) {
            const int32_t dr = entries[i].red - red, dg = entries[i].green - green,
                          db = entries[i].blue - blue;
            const int32_t distance = dr * dr + dg * dg + db * db;
            if (distance < best) best = distance, nearest = static_cast<uint8_t>(i);
        }
        return nearest;
    }
    int32_t FillCell(uint32_t cell);

    struct Entry {
        int32_t red, green, blue;
    };
    std::vector<Entry> entries;
    uint32_t count;
    std::vector<int32_t> cellAnswers;  // offset into answers, -1 until the cell was asked
    std::vector<uint8_t> answers;      // 512 per filled cell, blue fastest
};
