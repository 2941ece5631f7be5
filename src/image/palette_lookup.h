#pragma once

// Nearest palette entry of a colour, answered exactly as CRaster::GetNearestIndex (smallest
// squared distance, the first of equal minima) but without scanning the whole palette per
// pixel: the colour cube is cut into cells of 8 × 8 × 8 colours; a cell, once asked, keeps the
// few entries that can be nearest to a colour inside it and the answers found so far.
// One object per thread: it fills its tables as it is asked.

#include <cstdint>
#include <vector>

#include "image/dib_types.h"

class PaletteLookup {
  public:
    // remember: keep the answers found (best when the colours asked repeat, as in pictures);
    // without it each colour is searched among its cell's few candidates, which is quicker for
    // colours scattered all over the cube, as error diffusion onto a small palette asks.
    PaletteLookup(const RGBQUAD* palette, uint32_t count, bool remember = true);

    uint8_t Nearest(uint8_t red, uint8_t green, uint8_t blue) {
        if (count <= kScanned) return Scan(red, green, blue);
        const uint32_t cell = ((red >> 3) << 10) | ((green >> 3) << 5) | (blue >> 3);
        int32_t slot = cellSlot[cell];
        if (slot < 0) slot = OpenCell(cell);
        if (!remember) return Search(slot, red, green, blue);
        const uint32_t local = ((red & 7) << 6) | ((green & 7) << 3) | (blue & 7);
        const size_t answer = size_t(slot) * 512 + local;
        uint64_t& known = answered[answer >> 6];
        const uint64_t bit = uint64_t{1} << (local & 63);
        if (!(known & bit)) {
            answers[answer] = Search(slot, red, green, blue);
            known |= bit;
        }
        return answers[answer];
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
    int32_t OpenCell(uint32_t cell);
    uint8_t Search(int32_t slot, int32_t red, int32_t green, int32_t blue) const;

    struct Entry {
        int32_t red, green, blue;
    };
    std::vector<Entry> entries;
    uint32_t count;
    bool remember;
    std::vector<int32_t> cellSlot;  // per cell: its slot in the tables below, -1 until asked
    std::vector<uint32_t> candidateStart, candidateCount;  // per slot, into candidates
    std::vector<uint8_t> candidates;
    std::vector<uint8_t> answers;    // 512 per slot, blue fastest
    std::vector<uint64_t> answered;  // one bit per answer found
};
