#pragma once

// Nearest palette entry of a colour, answered exactly as CRaster::GetNearestIndex (smallest
// squared distance, the first of equal minima) but without scanning the whole palette per
// pixel: the colour cube is cut into cells of 8 × 8 × 8, each cell keeps (once asked) the few
// entries that can be nearest to any colour inside it, and recent answers are cached.
// One object per thread: it fills its tables as it is asked.

#include <cstdint>
#include <vector>

#include "image/dib_types.h"

class PaletteLookup {
  public:
    PaletteLookup(const RGBQUAD* palette, uint32_t count);

    uint8_t Nearest(uint8_t red, uint8_t green, uint8_t blue) {
        if (count <= 1) return 0;
        const uint32_t key = (uint32_t{red} << 16) | (uint32_t{green} << 8) | blue;
        const uint32_t slot = (key * 2654435761u) >> (32 - kCacheBits);
        if (cacheKey[slot] == key + 1) return cacheIndex[slot];
        const uint8_t index = Search(red, green, blue);
        cacheKey[slot] = key + 1;
        cacheIndex[slot] = index;
        return index;
    }
    uint8_t Nearest(const RGBQUAD& c) { return Nearest(c.rgbRed, c.rgbGreen, c.rgbBlue); }

  private:
    static constexpr uint32_t kCacheBits = 14;
    static constexpr uint32_t kCellShift = 3;
    static constexpr uint32_t kCellsPerSide = 256 >> kCellShift;

    uint8_t Search(uint8_t red, uint8_t green, uint8_t blue);
    void FillCell(uint32_t cell, uint32_t r0, uint32_t g0, uint32_t b0);

    struct Entry {
        int32_t red, green, blue;
    };
    std::vector<Entry> entries;
    uint32_t count;
    std::vector<int32_t> cellStart;  // offset into candidates, -1 until the cell was asked
    std::vector<uint16_t> cellSize;
    std::vector<uint8_t> candidates;
    std::vector<uint32_t> cacheKey;  // colour + 1, 0 = empty
    std::vector<uint8_t> cacheIndex;
};
