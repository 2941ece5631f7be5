// Resampling: nearest pixel (fast), area averaging in fixed point (24-bit shrink), bilinear
// otherwise. Scale factors and weights are single-precision floats computed exactly as the
// per-pixel formulas do; tables only avoid computing the same value twice.

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "image/palette_lookup.h"
#include "image/raster.h"
#include "image/raster_ops_internal.h"

using namespace rasterops;

namespace {

// Source positions trunc(i × scale) of every target position. Rounding can put one past the
// source's last pixel on extreme enlargements; callers treat that as outside the image.
std::vector<uint32_t> NearestPositions(uint32_t count, float scale) {
    std::vector<uint32_t> positions(count);
    for (uint32_t i = 0; i < count; ++i)
        positions[i] = static_cast<uint32_t>(static_cast<float>(i) * scale);
    return positions;
}

void ResampleNearest(CRaster& image, CRaster& result, float xScale, float yScale) {
    const uint32_t width = image.GetWidth(), height = image.GetHeight();
    const uint32_t newWidth = result.GetWidth(), newHeight = result.GetHeight();
    const uint32_t bpp = image.GetBpp();
    const std::vector<uint32_t> xs = NearestPositions(newWidth, xScale);
    const std::vector<uint32_t> ys = NearestPositions(newHeight, yScale);
    // A point outside the source reads as the transparent colour; palette targets store the
    // nearest entry of every colour they receive.
    const RGBQUAD outside = image.GetTransColor();
    uint8_t map[256] = {};
    for (uint32_t i = 0; i < image.GetNumColors(); ++i)
        map[i] = result.GetNearestIndex(image.GetPaletteColor(i));
    const uint8_t outsideIndex = result.GetNearestIndex(outside);

    RowProgress progress(image, newHeight);
    ParallelRows(
        newHeight, uint64_t{newWidth} * (bpp == 24 ? 3 : 1), [&](uint32_t begin, uint32_t end) {
            std::vector<uint8_t> in(bpp < 8 ? width : 0), out(in.empty() ? 0 : newWidth);
            for (uint32_t y = begin; y < end; ++y) {
                if (!progress.Begin()) break;
                uint8_t* target = result.GetBits(y);
                const uint8_t* row = ys[y] < height ? image.GetBits(ys[y]) : nullptr;
                if (bpp == 24) {
                    for (uint32_t x = 0; x < newWidth; ++x, target += 3) {
                        if (row && xs[x] < width) {
                            std::memcpy(target, row + size_t{xs[x]} * 3, 3);
                        } else {
                            target[0] = outside.rgbBlue;
                            target[1] = outside.rgbGreen;
                            target[2] = outside.rgbRed;
                        }
                    }
                    continue;
                }
                const uint8_t* indices = row;
                uint8_t* store = bpp == 8 ? target : out.data();
                if (row && bpp < 8) {
                    UnpackRow(row, 0, width, bpp, in.data());
                    indices = in.data();
                }
                for (uint32_t x = 0; x < newWidth; ++x)
                    store[x] = indices && xs[x] < width ? map[indices[xs[x]]] : outsideIndex;
                if (bpp < 8) PackRow(store, newWidth, bpp, target);
            }
        });
}

// Area averaging of a 24-bit image into a smaller one, in fixed point with a factor of 1000,
// over two accumulator rows (current and carry). Accumulators are 64-bit so that large
// reductions cannot overflow.
void ResampleArea(const CRaster& image, CRaster& result, float xScale, float yScale) {
    const uint32_t width = image.GetWidth(), height = image.GetHeight();
    const uint32_t newWidth = result.GetWidth(), newHeight = result.GetHeight();
    const int64_t scale = std::max<int64_t>(1, static_cast<int64_t>(1000 * xScale * yScale));
    auto out = [scale](int64_t value) { return static_cast<uint8_t>(value / scale); };

    // Where each source column ends an output pixel, and its weight wx there. The column
    // edges follow the same float sums on every row, so they are worked out once.
    std::vector<int32_t> splitWeight(width, -1);
    uint32_t splitsPerRow = 0;
    float xEdge = xScale - 1;
    for (uint32_t x = 0; x < width; ++x) {
        if (x < xEdge) continue;
        splitWeight[x] = static_cast<int32_t>((x - xEdge) * 1000);
        xEdge += xScale;
        ++splitsPerRow;
    }
    // One pixel more than the row holds, for the share of the pixel after the last edge.
    const size_t accuSize = size_t{std::max(newWidth, splitsPerRow)} * 3 + 3;
    std::vector<int64_t> rowA(accuSize, 0), rowB(accuSize, 0);
    int64_t* accu = rowA.data();
    int64_t* carry = rowB.data();

    float yEdge = yScale - 1;
    uint32_t v = 0;  // output rows written
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* in = image.GetBits(y);
        size_t i = 0;
        if (y < yEdge) {
            // The whole source row belongs to the current output row.
            for (uint32_t x = 0; x < width; ++x, in += 3) {
                const int64_t wx = splitWeight[x];
                if (wx < 0) {
                    accu[i] += 1000 * in[0];
                    accu[i + 1] += 1000 * in[1];
                    accu[i + 2] += 1000 * in[2];
                    continue;
                }
                for (int j = 0; j < 3; ++j, ++i) {
                    accu[i] += (1000 - wx) * in[j];
                    accu[i + 3] += wx * in[j];
                }
            }
            continue;
        }
        // The row is split between the current and the next output row.
        const int64_t wy = static_cast<int32_t>((y - yEdge) * 1000);
        uint8_t* target = v < newHeight ? result.GetBits(v) : nullptr;
        uint32_t written = 0;
        for (uint32_t x = 0; x < width; ++x, in += 3) {
            const int64_t wx = splitWeight[x];
            if (wx < 0) {
                for (int j = 0; j < 3; ++j) {
                    accu[i + j] += (1000 - wy) * in[j];
                    carry[i + j] += wy * in[j];
                }
                continue;
            }
            for (int j = 0; j < 3; ++j, ++i) {
                const int64_t c = in[j];
                accu[i] += (1000 - wy) * (1000 - wx) * c / 1000;
                if (target && written < newWidth) target[written * 3 + j] = out(accu[i]);
                carry[i] += wy * (1000 - wx) * c / 1000;
                accu[i + 3] += (1000 - wy) * wx * c / 1000;
                carry[i + 3] = wy * wx * c / 1000;
            }
            ++written;
        }
        if (target && splitsPerRow < newWidth) {
            for (int j = 0; j < 3; ++j) target[written * 3 + j] = out(accu[i + j]);
        }
        std::swap(accu, carry);
        carry[0] = carry[1] = carry[2] = 0;
        ++v;
        yEdge += yScale;
    }
    if (v < newHeight) {
        uint8_t* target = result.GetBits(v);
        for (size_t k = 0; k < size_t{newWidth} * 3; ++k) target[k] = out(accu[k]);
    }
}

// Bilinear weights of one target position: the two source positions and the fractions.
struct Blend {
    uint32_t p0, p1;
    float d, rest;  // d and 1 − d
};

std::vector<Blend> BlendPositions(uint32_t count, float scale, uint32_t last) {
    std::vector<Blend> blends(count);
    for (uint32_t i = 0; i < count; ++i) {
        const float f = static_cast<float>(i) * scale;
        // A position rounded past the last pixel stays on it.
        const uint32_t p = std::min(static_cast<uint32_t>(f), last);
        const float d = f - static_cast<float>(p);
        blends[i] = {p, std::min(last, p + 1), d, 1 - d};
    }
    return blends;
}

// Bilinear: per channel a = c1 (1 − dy) + c3 dy, b = c2 (1 − dy) + c4 dy, trunc(a (1 − dx) + b dx).
// The vertical blends a and b depend only on the source column, so each row computes them
// once per source column and the horizontal blend picks them up.
void ResampleBilinear(CRaster& image, CRaster& result, float xScale, float yScale) {
    const uint32_t width = image.GetWidth(), height = image.GetHeight();
    const uint32_t newWidth = result.GetWidth(), newHeight = result.GetHeight();
    const uint32_t bpp = image.GetBpp();
    const std::vector<Blend> xs = BlendPositions(newWidth, xScale, width - 1);
    const std::vector<Blend> ys = BlendPositions(newHeight, yScale, height - 1);
    // Source columns any target pixel reads.
    const uint32_t usedColumns = std::min(width, xs.back().p1 + 1);
    float palette[256][3] = {};
    for (uint32_t i = 0; i < image.GetNumColors(); ++i) {
        const RGBQUAD c = image.GetPaletteColor(i);
        palette[i][0] = c.rgbBlue;
        palette[i][1] = c.rgbGreen;
        palette[i][2] = c.rgbRed;
    }

    RowProgress progress(image, newHeight);
    ParallelRows(newHeight, uint64_t{newWidth} * 3, [&](uint32_t begin, uint32_t end) {
        std::vector<float> column(size_t{usedColumns} * 3);
        std::vector<uint8_t> low(bpp < 24 ? width : 0), high(low.size());
        std::vector<uint8_t> out(bpp < 24 ? newWidth : 0);
        PaletteLookup nearest(result.GetPalette(), result.GetNumColors());
        for (uint32_t y = begin; y < end; ++y) {
            if (!progress.Begin()) break;
            const Blend& by = ys[y];
            const uint8_t* row0 = image.GetBits(by.p0);
            const uint8_t* row1 = image.GetBits(by.p1);
            if (bpp == 24) {
                for (size_t k = 0; k < size_t{usedColumns} * 3; ++k)
                    column[k] = row0[k] * by.rest + row1[k] * by.d;
            } else {
                UnpackRow(row0, 0, usedColumns, bpp, low.data());
                UnpackRow(row1, 0, usedColumns, bpp, high.data());
                for (uint32_t x = 0; x < usedColumns; ++x) {
                    for (int j = 0; j < 3; ++j)
                        column[x * 3 + j] =
                            palette[low[x]][j] * by.rest + palette[high[x]][j] * by.d;
                }
            }
            uint8_t* target = result.GetBits(y);
            for (uint32_t x = 0; x < newWidth; ++x) {
                const Blend& bx = xs[x];
                const float* a = &column[size_t{bx.p0} * 3];
                const float* b = &column[size_t{bx.p1} * 3];
                uint8_t c[3];
                for (int j = 0; j < 3; ++j)
                    c[j] = static_cast<uint8_t>(static_cast<int32_t>(a[j] * bx.rest + b[j] * bx.d));
                if (bpp == 24)
                    std::memcpy(target + size_t{x} * 3, c, 3);
                else
                    out[x] = nearest.Nearest(c[2], c[1], c[0]);
            }
            if (bpp < 24) PackRow(out.data(), newWidth, bpp, target);
        }
    });
}

}  // namespace

bool CRaster::Resample(int32_t newWidth, int32_t newHeight, bool fast) {
    if (!IsValid() || newWidth <= 0 || newHeight <= 0) return false;
    const uint32_t width = GetWidth(), height = GetHeight();
    const auto targetWidth = static_cast<uint32_t>(newWidth);
    const auto targetHeight = static_cast<uint32_t>(newHeight);
    if (targetWidth == width && targetHeight == height) return true;
    const float xScale = static_cast<float>(width) / static_cast<float>(targetWidth);
    const float yScale = static_cast<float>(height) / static_cast<float>(targetHeight);

    CRaster result;
    if (!StartResult(*this, result, targetWidth, targetHeight, GetBpp())) return false;
    CopyPalette(*this, result);
    if (fast)
        ResampleNearest(*this, result, xScale, yScale);
    else if (GetBpp() == 24 && targetWidth < width && targetHeight < height)
        ResampleArea(*this, result, xScale, yScale);
    else
        ResampleBilinear(*this, result, xScale, yScale);

    // The alpha plane follows by nearest neighbour.
    if (alpha && result.AlphaCreate()) {
        const std::vector<uint32_t> xs = NearestPositions(targetWidth, xScale);
        const std::vector<uint32_t> ys = NearestPositions(targetHeight, yScale);
        uint8_t* out = result.AlphaGetBits();
        for (uint32_t y = 0; y < targetHeight; ++y) {
            const uint8_t* in = ys[y] < height ? alpha + size_t{ys[y]} * width : nullptr;
            for (uint32_t x = 0; x < targetWidth; ++x) *out++ = in && xs[x] < width ? in[xs[x]] : 0;
        }
    }
    FinishResult(*this, result, *this);
    return true;
}
