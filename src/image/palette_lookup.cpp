#include "image/palette_lookup.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

PaletteLookup::PaletteLookup(const RGBQUAD* palette, uint32_t count)
    : count(palette ? std::min(count, 256u) : 0),
      cellStart(kCellsPerSide * kCellsPerSide * kCellsPerSide, -1),
      cellSize(cellStart.size(), 0),
      cacheKey(size_t{1} << kCacheBits, 0),
      cacheIndex(size_t{1} << kCacheBits, 0) {
    for (uint32_t i = 0; i < this->count; ++i)
        entries.push_back({palette[i].rgbRed, palette[i].rgbGreen, palette[i].rgbBlue});
}

namespace {
// Squared distances from a value to the nearest and the farthest point of [lo, lo + 7].
inline int32_t NearGap(int32_t v, int32_t lo) {
    const int32_t hi = lo + 7;
    const int32_t d = v < lo ? lo - v : v > hi ? v - hi : 0;
    return d * d;
}
inline int32_t FarGap(int32_t v, int32_t lo) {
    const int32_t d = std::max(std::abs(v - lo), std::abs(v - lo - 7));
    return d * d;
}
}  // namespace

// Keeps, in palette order, every entry whose distance to the cell can be as small as the
// smallest farthest distance of any entry: only those can be nearest for a colour inside.
void PaletteLookup::FillCell(uint32_t cell, uint32_t r0, uint32_t g0, uint32_t b0) {
    const int32_t r = static_cast<int32_t>(r0), g = static_cast<int32_t>(g0),
                  b = static_cast<int32_t>(b0);
    int32_t bound = INT_MAX;
    for (const Entry& e : entries)
        bound = std::min(bound, FarGap(e.red, r) + FarGap(e.green, g) + FarGap(e.blue, b));
    cellStart[cell] = static_cast<int32_t>(candidates.size());
    for (uint32_t i = 0; i < count; ++i) {
        const Entry& e = entries[i];
        if (NearGap(e.red, r) + NearGap(e.green, g) + NearGap(e.blue, b) <= bound)
            candidates.push_back(static_cast<uint8_t>(i));
    }
    cellSize[cell] = static_cast<uint16_t>(candidates.size() - cellStart[cell]);
}

uint8_t PaletteLookup::Search(uint8_t red, uint8_t green, uint8_t blue) {
    const uint32_t cr = red >> kCellShift, cg = green >> kCellShift, cb = blue >> kCellShift;
    const uint32_t cell = (cr * kCellsPerSide + cg) * kCellsPerSide + cb;
    if (cellStart[cell] < 0) FillCell(cell, cr << kCellShift, cg << kCellShift, cb << kCellShift);
    const uint8_t* list = candidates.data() + cellStart[cell];
    int32_t best = INT_MAX;
    uint8_t nearest = 0;
    for (uint32_t k = 0; k < cellSize[cell]; ++k) {
        const Entry& e = entries[list[k]];
        const int32_t dr = e.red - red, dg = e.green - green, db = e.blue - blue;
        const int32_t distance = dr * dr + dg * dg + db * db;
        if (distance < best) {
            best = distance;
            nearest = list[k];
            if (distance == 0) break;
        }
    }
    return nearest;
}
