// Grey scale: every colour becomes (30 × red + 59 × green + 11 × blue) / 100 on an 8-bit image
// with the grey palette.

#include "image/raster.h"
#include "image/raster_ops_internal.h"

using namespace rasterops;

namespace {

inline uint8_t GreyOf(uint32_t red, uint32_t green, uint32_t blue) {
    return static_cast<uint8_t>((30 * red + 59 * green + 11 * blue) / 100);
}

inline uint8_t GreyOf(const RGBQUAD& c) {
    return GreyOf(c.rgbRed, c.rgbGreen, c.rgbBlue);
}

// 24 bits: an 8-bit grey image of the same size.
bool GrayScaleDirect(CRaster& image) {
    const uint32_t width = image.GetWidth(), height = image.GetHeight();
    CRaster result;
    if (!StartResult(image, result, width, height, 8)) return false;
    result.SetGrayPalette();
    result.AlphaCopy(image);
    result.AlphaPaletteEnable(false);
    if (image.GetTransIndex() >= 0) result.SetTransIndex(GreyOf(image.GetBackgroundColor()));
    ParallelRows(height, uint64_t{width} * 3, [&](uint32_t begin, uint32_t end) {
        for (uint32_t y = begin; y < end; ++y) {
            const uint8_t* in = image.GetBits(y);
            uint8_t* out = result.GetBits(y);
            for (uint32_t x = 0; x < width; ++x, in += 3) out[x] = GreyOf(in[2], in[1], in[0]);
        }
    });
    FinishResult(image, result, image);
    return true;
}

}  // namespace

bool CRaster::GrayScale() {
    if (!IsValid()) return false;
    if (GetBpp() == 24) return GrayScaleDirect(*this);

    // Palette images: the grey value of every entry; the transparent index follows its entry.
    const uint32_t colors = GetNumColors();
    const RGBQUAD* palette = GetPalette();
    uint8_t grey[256] = {};
    for (uint32_t i = 0; i < colors; ++i) grey[i] = GreyOf(palette[i]);
    const int32_t trans = GetTransIndex();
    const int32_t newTrans =
        trans >= 0 && static_cast<uint32_t>(trans) < colors ? grey[trans] : trans;

    const uint32_t width = GetWidth(), height = GetHeight();
    if (GetBpp() == 8) {
        // Every byte of the rows, padding included, becomes the grey value of its entry.
        ParallelRows(height, GetEffWidth(), [&](uint32_t begin, uint32_t end) {
            for (uint32_t y = begin; y < end; ++y) {
                uint8_t* row = GetBits(y);
                for (uint32_t k = 0; k < GetEffWidth(); ++k) row[k] = grey[row[k]];
            }
        });
        SetGrayPalette();
        SetTransIndex(newTrans);
        AlphaPaletteEnable(false);
        return true;
    }

    CRaster result;
    if (!StartResult(*this, result, width, height, 8)) return false;
    result.SetGrayPalette();
    result.SetTransIndex(newTrans);
    result.AlphaPaletteEnable(false);  // 1 and 4 bits: the alpha plane is not carried
    const uint32_t bpp = GetBpp();
    ParallelRows(height, width, [&](uint32_t begin, uint32_t end) {
        for (uint32_t y = begin; y < end; ++y) {
            uint8_t* out = result.GetBits(y);
            UnpackRow(GetBits(y), 0, width, bpp, out);
            for (uint32_t x = 0; x < width; ++x) out[x] = grey[out[x]];
        }
    });
    FinishResult(*this, result, *this);
    return true;
}
