// Colour depth changes: more bits with the same colours, fewer bits onto a fixed palette with
// or without error diffusion.

#include <algorithm>
#include <vector>

#include "image/palette_lookup.h"
#include "image/raster.h"
#include "image/raster_ops_internal.h"

using namespace rasterops;

namespace {

// Palette index → colour components (blue, green, red) of a palette image.
struct PaletteColors {
    explicit PaletteColors(const CRaster& image) {
        for (uint32_t i = 0; i < image.GetNumColors(); ++i) {
            const RGBQUAD c = image.GetPaletteColor(i);
            bgr[i][0] = c.rgbBlue;
            bgr[i][1] = c.rgbGreen;
            bgr[i][2] = c.rgbRed;
        }
    }
    uint8_t bgr[256][3] = {};
};

// Pixels of a palette source mapped through a table into the result's indices or colours.
void MapIndexedRows(const CRaster& image, CRaster& result, RowProgress& progress,
                    const uint8_t* map) {
    const uint32_t width = image.GetWidth(), bpp = image.GetBpp(), newBpp = result.GetBpp();
    const PaletteColors colors(image);
    ParallelRows(image.GetHeight(), width, [&](uint32_t begin, uint32_t end) {
        std::vector<uint8_t> indices(width);
        for (uint32_t y = begin; y < end; ++y) {
            if (!progress.Begin()) break;
            UnpackRow(image.GetBits(y), 0, width, bpp, indices.data());
            uint8_t* out = result.GetBits(y);
            if (newBpp == 24) {
                for (uint32_t x = 0; x < width; ++x, out += 3) {
                    const uint8_t* c = colors.bgr[indices[x]];
                    out[0] = c[0];
                    out[1] = c[1];
                    out[2] = c[2];
                }
                continue;
            }
            for (uint32_t x = 0; x < width; ++x) indices[x] = map[indices[x]];
            PackRow(indices.data(), width, newBpp, out);
        }
    });
}

// The nearest entry of the result's palette for each entry of the source's.
void NearestOfEntries(const CRaster& image, const CRaster& result, uint8_t* map) {
    for (uint32_t i = 0; i < image.GetNumColors(); ++i)
        map[i] = result.GetNearestIndex(image.GetPaletteColor(i));
}

// 24-bit pixels onto the result's palette, nearest entry each.
void QuantizeRows(const CRaster& image, CRaster& result, RowProgress& progress) {
    const uint32_t width = image.GetWidth(), newBpp = result.GetBpp();
    ParallelRows(image.GetHeight(), uint64_t{width} * 3, [&](uint32_t begin, uint32_t end) {
        PaletteLookup nearest(result.GetPalette(), result.GetNumColors());
        std::vector<uint8_t> indices(width);
        for (uint32_t y = begin; y < end; ++y) {
            if (!progress.Begin()) break;
            const uint8_t* in = image.GetBits(y);
            for (uint32_t x = 0; x < width; ++x, in += 3)
                indices[x] = nearest.Nearest(in[2], in[1], in[0]);
            PackRow(indices.data(), width, newBpp, result.GetBits(y));
        }
    });
}

// Error diffusion, row by row from the bottom: each pixel's error against the colour stored
// goes to its right neighbour (7/16) and to the next row's left, lower and right neighbours
// (2/16, 4/16, 1/16), truncated toward zero and clamped to 0..255. The source keeps the
// diffused colours: a 24-bit source its own rows, a palette source the nearest entries of its
// own palette (kept here as index rows).
class Diffuser {
  public:
    Diffuser(CRaster& image, CRaster& result)
        : image(image),
          result(result),
          width(image.GetWidth()),
          height(image.GetHeight()),
          bpp(image.GetBpp()),
          sourceColors(image),
          resultColors(result),
          targetLookup(result.GetPalette(), result.GetNumColors()),
          sourceLookup(image.GetPalette(), image.GetNumColors()),
          current(bpp < 24 ? width : 0),
          next(current.size()),
          indices(width) {}

    void Run() {
        if (bpp < 24 && height > 0) UnpackRow(image.GetBits(0), 0, width, bpp, next.data());
        for (uint32_t y = 0; y < height; ++y) {
            if (image.GetEscape()) break;
            image.SetProgress(static_cast<int32_t>(uint64_t{y} * 100 / height));
            row = y;
            const bool hasNext = y + 1 < height;
            if (bpp < 24) {
                current.swap(next);
                if (hasNext) UnpackRow(image.GetBits(y + 1), 0, width, bpp, next.data());
            }
            for (uint32_t x = 0; x < width; ++x) {
                int32_t c[3];
                Read(y, x, c);
                const uint8_t index =
                    targetLookup.Nearest(static_cast<uint8_t>(c[2]), static_cast<uint8_t>(c[1]),
                                         static_cast<uint8_t>(c[0]));
                indices[x] = index;
                const uint8_t* stored = resultColors.bgr[index];
                const int32_t error[3] = {c[0] - stored[0], c[1] - stored[1], c[2] - stored[2]};
                if (x + 1 < width) Spread(y, x + 1, error, 7);
                if (hasNext) {
                    if (x > 0) Spread(y + 1, x - 1, error, 2);
                    Spread(y + 1, x, error, 4);
                    if (x + 1 < width) Spread(y + 1, x + 1, error, 1);
                }
            }
            PackRow(indices.data(), width, result.GetBpp(), result.GetBits(y));
        }
    }

  private:
    // Row y is the one being processed (`current`) or the next one (`next`).
    void Read(uint32_t y, uint32_t x, int32_t* c) {
        const uint8_t* p =
            bpp == 24 ? image.GetBits(y) + size_t{x} * 3 : sourceColors.bgr[Row(y)[x]];
        c[0] = p[0];
        c[1] = p[1];
        c[2] = p[2];
    }
    uint8_t* Row(uint32_t y) { return y == row ? current.data() : next.data(); }

    void Spread(uint32_t y, uint32_t x, const int32_t* error, int32_t weight) {
        int32_t c[3];
        Read(y, x, c);
        for (int j = 0; j < 3; ++j) c[j] = std::clamp(c[j] + weight * error[j] / 16, 0, 255);
        if (bpp == 24) {
            uint8_t* p = image.GetBits(y) + size_t{x} * 3;
            p[0] = static_cast<uint8_t>(c[0]);
            p[1] = static_cast<uint8_t>(c[1]);
            p[2] = static_cast<uint8_t>(c[2]);
        } else {
            Row(y)[x] = sourceLookup.Nearest(static_cast<uint8_t>(c[2]), static_cast<uint8_t>(c[1]),
                                             static_cast<uint8_t>(c[0]));
        }
    }

    CRaster& image;
    CRaster& result;
    const uint32_t width, height, bpp;
    uint32_t row = 0;  // the row being processed
    PaletteColors sourceColors, resultColors;
    PaletteLookup targetLookup, sourceLookup;
    std::vector<uint8_t> current, next, indices;
};

}  // namespace

bool CRaster::IncreaseBpp(uint32_t bits) {
    if (!IsValid()) return false;
    if (bits == GetBpp()) return true;
    if (bits < GetBpp() || (bits != 4 && bits != 8 && bits != 24)) return false;
    CRaster result;
    if (!StartResult(*this, result, GetWidth(), GetHeight(), bits)) return false;
    // The old entries first; any further entries stay black.
    CopyPalette(*this, result);
    result.SelectionCopy(*this);
    result.AlphaCopy(*this);
    if (bits == 24) {
        CarryTransparency(*this, result);
        result.AlphaPaletteEnable(false);
    }
    uint8_t map[256] = {};
    if (bits < 24) NearestOfEntries(*this, result, map);
    RowProgress progress(*this, GetHeight());
    MapIndexedRows(*this, result, progress, map);
    FinishResult(*this, result, *this);
    return true;
}

bool CRaster::DecreaseBpp(uint32_t bits, bool errorDiffusion, const RGBQUAD* palette) {
    if (!IsValid() || bits > GetBpp()) return false;
    if (bits == GetBpp()) return true;
    if (bits != 1 && bits != 4 && bits != 8) return false;
    CRaster result;
    if (!StartResult(*this, result, GetWidth(), GetHeight(), bits)) return false;
    result.SelectionCopy(*this);
    result.AlphaCopy(*this);
    if (palette) {
        result.SetPalette(palette, result.GetNumColors());
    } else if (bits == 1) {
        result.SetPaletteIndex(0, 0, 0, 0);
        result.SetPaletteIndex(1, 255, 255, 255);
    } else {
        result.SetStdPalette();
    }
    result.AlphaPaletteEnable(false);
    CarryTransparency(*this, result);

    if (errorDiffusion) {
        Diffuser(*this, result).Run();
    } else if (GetBpp() == 24) {
        RowProgress progress(*this, GetHeight());
        QuantizeRows(*this, result, progress);
    } else {
        uint8_t map[256] = {};
        NearestOfEntries(*this, result, map);
        RowProgress progress(*this, GetHeight());
        MapIndexedRows(*this, result, progress, map);
    }
    FinishResult(*this, result, *this);
    return true;
}
