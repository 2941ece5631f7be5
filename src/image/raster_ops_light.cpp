// Brightness and contrast, and flattening of transparency onto the background colour.

#include <vector>

#include "image/raster.h"
#include "image/raster_ops_internal.h"

using namespace rasterops;

bool CRaster::Light(int32_t brightness, int32_t contrast) {
    if (!IsValid()) return false;
    // v' = trunc(brightness + c × (v − 128) + 128) in single precision, clamped to 0..255.
    const float c = static_cast<float>(contrast) * 0.01f;
    uint8_t table[256];
    for (int32_t v = 0; v < 256; ++v) {
        const float f = static_cast<float>(brightness) + c * static_cast<float>(v - 128) + 128;
        table[v] = f >= 255 ? 255 : f <= 0 ? 0 : static_cast<uint8_t>(f);
    }

    if (RGBQUAD* palette = GetPalette()) {
        for (uint32_t i = 0; i < GetNumColors(); ++i) {
            palette[i].rgbBlue = table[palette[i].rgbBlue];
            palette[i].rgbGreen = table[palette[i].rgbGreen];
            palette[i].rgbRed = table[palette[i].rgbRed];
        }
        return true;
    }
    // Direct colour: the selected pixels if there is a selection, else every pixel.
    const uint32_t width = GetWidth();
    ParallelRows(GetHeight(), uint64_t{width} * 3, [&](uint32_t begin, uint32_t end) {
        for (uint32_t y = begin; y < end; ++y) {
            uint8_t* row = GetBits(y);
            const uint8_t* selected = selection ? selection + size_t{y} * width : nullptr;
            for (uint32_t x = 0; x < width; ++x, row += 3) {
                if (selected && !selected[x]) continue;
                row[0] = table[row[0]];
                row[1] = table[row[1]];
                row[2] = table[row[2]];
            }
        }
    });
    return true;
}

bool CRaster::AlphaStrip() {
    if (!IsValid()) return false;
    const bool alphaPalette = IsAlphaPaletteEnabled() && GetNumColors() > 0;
    if (!alpha && !alphaPalette) return true;

    const uint32_t width = GetWidth(), height = GetHeight(), bpp = GetBpp();
    const RGBQUAD background = GetBackgroundColor();
    const uint32_t alphaMax = GetAlphaMax();
    const RGBQUAD* palette = GetPalette();
    const int32_t trans = bpp < 24 ? GetTransIndex() : -1;

    CRaster result;
    CRaster& target = bpp == 24 ? *this : result;
    if (bpp < 24) {
        if (!StartResult(*this, result, width, height, 24, kTypeBmp)) return false;
        // The transparent index has no meaning in 24 bits: its pixels are flattened away.
        result.SetTransIndex(-1);
        result.AlphaPaletteEnable(false);
    }

    // Each channel = (background × (255 − a) + a × pixel) / 255.
    auto blend = [](uint32_t back, uint32_t a, uint32_t value) {
        return static_cast<uint8_t>((back * (255 - a) + a * value) / 255);
    };
    ParallelRows(height, uint64_t{width} * 3, [&](uint32_t begin, uint32_t end) {
        std::vector<uint8_t> indices(bpp < 24 ? width : 0);
        for (uint32_t y = begin; y < end; ++y) {
            const uint8_t* opacity = alpha ? alpha + size_t{y} * width : nullptr;
            uint8_t* out = target.GetBits(y);
            if (bpp < 24) UnpackRow(GetBits(y), 0, width, bpp, indices.data());
            for (uint32_t x = 0; x < width; ++x, out += 3) {
                uint32_t a = opacity ? opacity[x] * alphaMax / 255 : alphaMax;
                uint8_t b, g, r;
                if (bpp == 24) {
                    b = out[0], g = out[1], r = out[2];
                } else {
                    const RGBQUAD& c = palette[indices[x]];
                    b = c.rgbBlue, g = c.rgbGreen, r = c.rgbRed;
                    if (alphaPalette) a = a * c.rgbReserved / 255;
                    if (indices[x] == trans) a = 0;
                }
                out[0] = blend(background.rgbBlue, a, b);
                out[1] = blend(background.rgbGreen, a, g);
                out[2] = blend(background.rgbRed, a, r);
            }
        }
    });
    if (bpp == 24) {
        AlphaDelete();
    } else {
        FinishResult(*this, result, *this);
    }
    return true;
}
