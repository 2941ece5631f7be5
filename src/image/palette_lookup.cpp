#include "image/palette_lookup.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

PaletteLookup::PaletteLookup(const RGBQUAD* palette, uint32_t count)
    : count(palette ? std::min(count, 256u) : 0), cellAnswers(32 * 32 * 32, -1) {
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
// of any entry can be nearest for a colour inside; they are searched in palette order, so
// ties keep the first.
int32_t PaletteLookup::FillCell(uint32_t cell) {
    const int32_t r0 = static_cast<int32_t>(cell >> 10) << 3;
    const int32_t g0 = static_cast<int32_t>((cell >> 5) & 31) << 3;
    const int32_t b0 = static_cast<int32_t>(cell & 31) << 3;
    int32_t bound = INT_MAX;
    for (const Entry& e : entries)
        bound = std::min(bound, FarGap(e.red, r0) + FarGap(e.green, g0) + FarGap(e.blue, b0));
    std::vector<Entry> candidates;
    std::vector<uint8_t> indices;
    for (uint32_t i = 0; i < count; ++i) {
        const Entry& e = entries[i];
        if (NearGap(e.red, r0) + NearGap(e.green, g0) + NearGap(e.blue, b0) <= bound) {
            candidates.push_back(e);
            indices.push_back(static_cast<uint8_t>(i));
        }
    }
    const auto offset = static_cast<int32_t>(answers.size());
    answers.resize(answers.size() + 512);
    uint8_t* out = answers.data() + offset;
    for (int32_t r = r0; r < r0 + 8; ++r) {
        for (int32_t g = g0; g < g0 + 8; ++g) {
            for (int32_t b = b0; b < b0 + 8; ++b) {
                int32_t best = INT_MAX;
                size_t nearest = 0;
                for (size_t k = 0; k < candidates.size(); ++k) {
                    const int32_t dr = candidates[k].red - r, dg = candidates[k].green - g,
                                  db = candidates[k].blue - b;
                    const int32_t distance = dr * dr + dg * dg + db * db;
                    if (distance < best) best = distance, nearest = k;
                }
                *out++ = indices[nearest];
            }
        }
    }
    cellAnswers[cell] = offset;
    return offset;
}
