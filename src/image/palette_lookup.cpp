#include "image/palette_lookup.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

PaletteLookup::PaletteLookup(const RGBQUAD* palette, uint32_t count, bool remember)
    : count(palette ? std::min(count, 256u) : 0), remember(remember), cellSlot(32 * 32 * 32, -1) {
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

// Only entries whose distance to the cell can be as small as the smallest farthest distance
// of any entry can be nearest for a colour inside.
int32_t PaletteLookup::OpenCell(uint32_t cell) {
    const int32_t r0 = static_cast<int32_t>(cell >> 10) << 3;
    const int32_t g0 = static_cast<int32_t>((cell >> 5) & 31) << 3;
    const int32_t b0 = static_cast<int32_t>(cell & 31) << 3;
    int32_t bound = INT_MAX;
    for (const Entry& e : entries)
        bound = std::min(bound, FarGap(e.red, r0) + FarGap(e.green, g0) + FarGap(e.blue, b0));
    const auto slot = static_cast<int32_t>(candidateStart.size());
    candidateStart.push_back(static_cast<uint32_t>(candidates.size()));
    for (uint32_t i = 0; i < count; ++i) {
        const Entry& e = entries[i];
        if (NearGap(e.red, r0) + NearGap(e.green, g0) + NearGap(e.blue, b0) <= bound)
            candidates.push_back(static_cast<uint8_t>(i));
    }
    candidateCount.push_back(static_cast<uint32_t>(candidates.size()) - candidateStart.back());
    if (remember) {
        answers.resize(answers.size() + 512);
        answered.resize(answered.size() + 8);
    }
    cellSlot[cell] = slot;
    return slot;
}

// The candidates in palette order, so that ties keep the first.
uint8_t PaletteLookup::Search(int32_t slot, int32_t red, int32_t green, int32_t blue) const {
    const uint8_t* list = candidates.data() + candidateStart[slot];
    int32_t best = INT_MAX;
    uint8_t nearest = 0;
    for (uint32_t k = 0; k < candidateCount[slot]; ++k) {
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
