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
//
// The column and row edges follow the same float sums as a plain pass would, so they are
// worked out once. Each split row (one that ends an output row) leaves in its carry row all
// that the next output row starts from, as long as every column edge but perhaps the last
// falls inside the row; then bands of output rows can start from their preceding split row
// alone and run on separate cores with the same result.
class AreaShrinker {
  public:
    AreaShrinker(const CRaster& image, CRaster& result, float xScale, float yScale)
        : image(image),
          result(result),
          width(image.GetWidth()),
          newWidth(result.GetWidth()),
          newHeight(result.GetHeight()),
          scale(std::max<int64_t>(1, static_cast<int64_t>(1000 * xScale * yScale))),
          splitWeight(width, -1),
          rowWeight(image.GetHeight(), -1) {
        float xEdge = xScale - 1;
        for (uint32_t x = 0; x < width; ++x) {
            if (x < xEdge) continue;
            splitWeight[x] = static_cast<int32_t>((x - xEdge) * 1000);
            xEdge += xScale;
            ++splitsPerRow;
        }
        float yEdge = yScale - 1;
        for (uint32_t y = 0; y < image.GetHeight(); ++y) {
            if (y < yEdge) continue;
            rowWeight[y] = static_cast<int32_t>((y - yEdge) * 1000);
            splitRows.push_back(y);
            yEdge += yScale;
        }
    }

    void Run() {
        const auto bands = static_cast<uint32_t>(splitRows.size());
        if (bands < 2 || splitsPerRow + 1 < newWidth) {
            Band(0, image.GetHeight(), 0, true);
            return;
        }
        // Band of output rows [v0, v1): source rows after split row v0 − 1 up to split row
        // v1 − 1 (the last band to the end).
        ParallelRows(bands, uint64_t{width} * 3 * image.GetHeight() / bands,
                     [&](uint32_t v0, uint32_t v1) {
                         const uint32_t y0 = v0 ? splitRows[v0 - 1] + 1 : 0;
                         const bool last = v1 == bands;
                         const uint32_t y1 = last ? image.GetHeight() : splitRows[v1 - 1] + 1;
                         Band(y0, y1, v0, last);
                     });
    }

  private:
    // Source rows [y0, y1), the first writing output row v.
    void Band(uint32_t y0, uint32_t y1, uint32_t v, bool last) const {
        const size_t size = size_t{std::max(newWidth, splitsPerRow)} * 3 + 3;
        std::vector<int64_t> rowA(size, 0), rowB(size, 0);
        int64_t* accu = rowA.data();
        int64_t* carry = rowB.data();
        if (v > 0) {  // the preceding split row, for its carry only
            Row(y0 - 1, nullptr, accu, carry);
            std::swap(accu, carry);
            carry[0] = carry[1] = carry[2] = 0;
        }
        for (uint32_t y = y0; y < y1; ++y) {
            if (rowWeight[y] < 0) {
                Row(y, nullptr, accu, carry);
                continue;
            }
            Row(y, v < newHeight ? result.GetBits(v) : nullptr, accu, carry);
            std::swap(accu, carry);
            carry[0] = carry[1] = carry[2] = 0;
            ++v;
        }
        if (last && v < newHeight) {
            uint8_t* target = result.GetBits(v);
            for (size_t k = 0; k < size_t{newWidth} * 3; ++k) target[k] = Out(accu[k]);
        }
    }

    uint8_t Out(int64_t value) const { return static_cast<uint8_t>(value / scale); }

    // One source row: wholly into the current output row, or split between it (written to
    // target, if any) and the carry row.
    void Row(uint32_t y, uint8_t* target, int64_t* accu, int64_t* carry) const {
        const uint8_t* in = image.GetBits(y);
        size_t i = 0;
        if (rowWeight[y] < 0) {
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
            return;
        }
        const int64_t wy = rowWeight[y];
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
                if (target && written < newWidth) target[written * 3 + j] = Out(accu[i]);
                carry[i] += wy * (1000 - wx) * c / 1000;
                accu[i + 3] += (1000 - wy) * wx * c / 1000;
                carry[i + 3] = wy * wx * c / 1000;
            }
            ++written;
        }
        // A last output pixel whose edge fell past the row.
        if (target && written < newWidth)
            for (int j = 0; j < 3; ++j) target[written * 3 + j] = Out(accu[i + j]);
    }

    const CRaster& image;
    CRaster& result;
    const uint32_t width, newWidth, newHeight;
    const int64_t scale;
    std::vector<int32_t> splitWeight;  // per source column: wx where an output pixel ends
    std::vector<int32_t> rowWeight;    // per source row: wy where an output row ends
    std::vector<uint32_t> splitRows;
    uint32_t splitsPerRow = 0;
};

using Floats = float __attribute__((vector_size(16)));
using Ints = int32_t __attribute__((vector_size(16)));
using Bytes = uint8_t __attribute__((vector_size(4)));

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
        std::vector<float> column(size_t{usedColumns} * 3 + 1);
        std::vector<uint8_t> low(bpp < 24 ? width : 0), high(low.size());
        std::vector<uint8_t> out(bpp < 24 ? newWidth : 0);
        PaletteLookup nearest(result.GetPalette(), result.GetNumColors());
        for (uint32_t y = begin; y < end; ++y) {
            if (!progress.Begin()) break;
            const Blend& by = ys[y];
            const uint8_t* row0 = image.GetBits(by.p0);
            const uint8_t* row1 = image.GetBits(by.p1);
            if (bpp == 24) {
                const size_t values = size_t{usedColumns} * 3;
                size_t k = 0;
                for (; k + 4 <= values; k += 4) {
                    Bytes low4, high4;
                    std::memcpy(&low4, row0 + k, 4);
                    std::memcpy(&high4, row1 + k, 4);
                    const Floats v = __builtin_convertvector(low4, Floats) * by.rest +
                                     __builtin_convertvector(high4, Floats) * by.d;
                    std::memcpy(&column[k], &v, sizeof v);
                }
                for (; k < values; ++k) column[k] = row0[k] * by.rest + row1[k] * by.d;
            } else {
                UnpackRow(row0, 0, usedColumns, bpp, low.data());
                UnpackRow(row1, 0, usedColumns, bpp, high.data());
                for (uint32_t x = 0; x < usedColumns; ++x) {
                    for (int j = 0; j < 3; ++j)
                        column[x * 3 + j] =
                            palette[low[x]][j] * by.rest + palette[high[x]][j] * by.d;
                }
            }
            // The three channels of a pixel side by side in four float lanes (the fourth is
            // the next column's blue, computed and dropped).
            uint8_t* target = result.GetBits(y);
            for (uint32_t x = 0; x < newWidth; ++x) {
                const Blend& bx = xs[x];
                Floats a, b;
                std::memcpy(&a, &column[size_t{bx.p0} * 3], sizeof a);
                std::memcpy(&b, &column[size_t{bx.p1} * 3], sizeof b);
                const Ints c = __builtin_convertvector(a * bx.rest + b * bx.d, Ints);
                if (bpp == 24) {
                    uint8_t* p = target + size_t{x} * 3;
                    p[0] = static_cast<uint8_t>(c[0]);
                    p[1] = static_cast<uint8_t>(c[1]);
                    p[2] = static_cast<uint8_t>(c[2]);
                } else {
                    out[x] = nearest.Nearest(static_cast<uint8_t>(c[2]), static_cast<uint8_t>(c[1]),
                                             static_cast<uint8_t>(c[0]));
                }
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
        AreaShrinker(*this, result, xScale, yScale).Run();
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
