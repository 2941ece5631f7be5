// Mirror, quarter turns and crop: pixels moved, never recomputed.

#include <algorithm>
#include <cstring>
#include <vector>

#include "image/raster.h"
#include "image/raster_ops_internal.h"

using namespace rasterops;

namespace {

// Reverses the order of `count` pixels of `size` bytes from `in` into `out`.
template <size_t size>
void ReversePixels(const uint8_t* in, uint8_t* out, uint32_t count) {
    const uint8_t* from = in + size_t{count} * size;
    for (uint32_t x = 0; x < count; ++x, out += size) {
        from -= size;
        std::memcpy(out, from, size);
    }
}

// A quarter turn of a plane of `size`-byte pixels. Output row r, column c takes the source
// pixel (x = r, y = H − 1 − c) when turning left and (x = W − 1 − r, y = c) when turning right,
// W × H being the source size. Square tiles keep both sides in the cache; bands of output rows
// run on separate cores.
template <size_t size>
void TurnPlane(const uint8_t* source, size_t sourceStride, uint32_t width, uint32_t height,
               uint8_t* target, size_t targetStride, bool left) {
    constexpr uint32_t kTile = 64;
    const uint32_t blocks = (width + kTile - 1) / kTile;
    ParallelRows(blocks, uint64_t{kTile} * height * size, [&](uint32_t begin, uint32_t end) {
        for (uint32_t block = begin; block < end; ++block) {
            const uint32_t r0 = block * kTile, r1 = std::min(width, r0 + kTile);
            for (uint32_t c0 = 0; c0 < height; c0 += kTile) {
                const uint32_t c1 = std::min(height, c0 + kTile);
                for (uint32_t c = c0; c < c1; ++c) {
                    const uint32_t sy = left ? height - 1 - c : c;
                    const uint8_t* row = source + sy * sourceStride;
                    uint8_t* out = target + r0 * targetStride + size_t{c} * size;
                    if (left) {
                        const uint8_t* in = row + size_t{r0} * size;
                        for (uint32_t r = r0; r < r1; ++r, in += size, out += targetStride)
                            std::memcpy(out, in, size);
                    } else {
                        const uint8_t* in = row + size_t{width - 1 - r0} * size;
                        for (uint32_t r = r0; r < r1; ++r, in -= size, out += targetStride)
                            std::memcpy(out, in, size);
                    }
                }
            }
        }
    });
}

// The same turn for 1- and 4-bit rows: bands of output rows gathered as indices, then packed.
void TurnPacked(const CRaster& image, CRaster& result, bool left) {
    const uint32_t width = image.GetWidth(), height = image.GetHeight(), bpp = image.GetBpp();
    constexpr uint32_t kBand = 64;
    const uint32_t bands = (width + kBand - 1) / kBand;
    ParallelRows(bands, uint64_t{kBand} * height, [&](uint32_t begin, uint32_t end) {
        std::vector<uint8_t> gathered(size_t{kBand} * height);
        uint8_t span[kBand];
        for (uint32_t band = begin; band < end; ++band) {
            const uint32_t r0 = band * kBand, r1 = std::min(width, r0 + kBand), n = r1 - r0;
            // Source columns of this band: r0..r1-1 turning left, W-r1..W-1-r0 turning right.
            const uint32_t x0 = left ? r0 : width - r1;
            for (uint32_t c = 0; c < height; ++c) {
                UnpackRow(image.GetBits(left ? height - 1 - c : c), x0, n, bpp, span);
                for (uint32_t k = 0; k < n; ++k)
                    gathered[size_t{k} * height + c] = span[left ? k : n - 1 - k];
            }
            for (uint32_t k = 0; k < n; ++k)
                PackRow(&gathered[size_t{k} * height], height, bpp, result.GetBits(r0 + k));
        }
    });
}

bool Turn(CRaster& image, CRaster* destination, bool left) {
    if (!image.IsValid()) return false;
    const uint32_t width = image.GetWidth(), height = image.GetHeight();
    CRaster result;
    if (!StartResult(image, result, height, width, image.GetBpp())) return false;
    CopyPalette(image, result);
    switch (image.GetBpp()) {
        case 24:
            TurnPlane<3>(image.GetBits(), image.GetEffWidth(), width, height, result.GetBits(),
                         result.GetEffWidth(), left);
            break;
        case 8:
            TurnPlane<1>(image.GetBits(), image.GetEffWidth(), width, height, result.GetBits(),
                         result.GetEffWidth(), left);
            break;
        default:
            TurnPacked(image, result, left);
            break;
    }
    if (image.AlphaIsValid() && result.AlphaCreate())
        TurnPlane<1>(image.AlphaGetBits(), width, width, height, result.AlphaGetBits(), height,
                     left);
    FinishResult(image, result, destination && destination != &image ? *destination : image);
    return true;
}

}  // namespace

bool CRaster::Mirror() {
    if (!IsValid()) return false;
    CRaster result(*this, false, false, true);
    if (!result.IsValid()) return false;
    result.SelectionDelete();
    const uint32_t width = GetWidth(), bpp = GetBpp();
    ParallelRows(GetHeight(), GetEffWidth(), [&](uint32_t begin, uint32_t end) {
        std::vector<uint8_t> indices(bpp < 8 ? width : 0), reversed(indices.size());
        for (uint32_t y = begin; y < end; ++y) {
            const uint8_t* in = GetBits(y);
            uint8_t* out = result.GetBits(y);
            if (bpp == 24) {
                ReversePixels<3>(in, out, width);
            } else if (bpp == 8) {
                ReversePixels<1>(in, out, width);
            } else {
                UnpackRow(in, 0, width, bpp, indices.data());
                ReversePixels<1>(indices.data(), reversed.data(), width);
                PackRow(reversed.data(), width, bpp, out);
            }
        }
    });
    result.AlphaMirror();
    FinishResult(*this, result, *this);
    return true;
}

bool CRaster::AlphaMirror() {
    if (!alpha) return false;
    const uint32_t width = GetWidth();
    for (uint32_t y = 0; y < GetHeight(); ++y) {
        uint8_t* row = alpha + size_t{y} * width;
        std::reverse(row, row + width);
    }
    return true;
}

bool CRaster::RotateLeft(CRaster* destination) {
    return Turn(*this, destination, true);
}

bool CRaster::RotateRight(CRaster* destination) {
    return Turn(*this, destination, false);
}

bool CRaster::Crop(int32_t left, int32_t top, int32_t right, int32_t bottom, CRaster* destination) {
    if (!IsValid()) return false;
    const int32_t width = static_cast<int32_t>(GetWidth());
    const int32_t height = static_cast<int32_t>(GetHeight());
    left = std::clamp(left, 0, width);
    right = std::clamp(right, 0, width);
    top = std::clamp(top, 0, height);
    bottom = std::clamp(bottom, 0, height);
    // Rows counted from the bottom.
    int32_t startY = height - top, endY = height - bottom;
    if (left == right || startY == endY) return false;
    if (left > right) std::swap(left, right);
    if (startY > endY) std::swap(startY, endY);

    const uint32_t newWidth = static_cast<uint32_t>(right - left);
    const uint32_t newHeight = static_cast<uint32_t>(endY - startY);
    const uint32_t bpp = GetBpp();
    CRaster result;
    if (!StartResult(*this, result, newWidth, newHeight, bpp)) return false;
    CopyPalette(*this, result);
    std::vector<uint8_t> indices(bpp < 8 ? newWidth : 0);
    for (uint32_t y = 0; y < newHeight; ++y) {
        const uint8_t* in = GetBits(startY + y);
        uint8_t* out = result.GetBits(y);
        if (bpp >= 8) {
            std::memcpy(out, in + size_t{static_cast<uint32_t>(left)} * bpp / 8,
                        size_t{newWidth} * bpp / 8);
        } else {
            UnpackRow(in, left, newWidth, bpp, indices.data());
            PackRow(indices.data(), newWidth, bpp, out);
        }
    }
    // The alpha plane is cut to the same rectangle.
    if (alpha && result.AlphaCreate()) {
        for (uint32_t y = 0; y < newHeight; ++y)
            std::memcpy(result.AlphaGetBits() + size_t{y} * newWidth,
                        alpha + size_t{startY + y} * GetWidth() + left, newWidth);
    }
    FinishResult(*this, result, destination && destination != this ? *destination : *this);
    return true;
}
