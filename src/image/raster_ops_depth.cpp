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
// (2/16, 4/16, 1/16), truncated toward zero and clamped to 0..255. The diffused colours are
// kept in copies of the current and the next source row; a palette source keeps them as the
// nearest entries of its own palette.
class Diffuser {
  public:
    Diffuser(CRaster& image, CRaster& result)
        : image(image),
          result(result),
          width(image.GetWidth()),
          height(image.GetHeight()),
          resultColors(result),
          targetLookup(result.GetPalette(), result.GetNumColors(), result.GetNumColors() > 16),
          indices(width) {}

    void Run() {
        if (image.GetBpp() == 24)
            RunDirect();
        else
            RunIndexed();
    }

  private:
    // Adds weight × error / 16 to a colour (blue, green, red), clamped.
    static void Add(int32_t* c, const int32_t* error, int32_t weight) {
        for (int j = 0; j < 3; ++j) c[j] = std::clamp(c[j] + weight * error[j] / 16, 0, 255);
    }

    // Stores the nearest entry of colour c and gives the error against it.
    void Quantize(uint32_t x, const int32_t* c, int32_t* error) {
        const uint8_t index = targetLookup.Nearest(
            static_cast<uint8_t>(c[2]), static_cast<uint8_t>(c[1]), static_cast<uint8_t>(c[0]));
        indices[x] = index;
        const uint8_t* stored = resultColors.bgr[index];
        for (int j = 0; j < 3; ++j) error[j] = c[j] - stored[j];
    }

    bool BeginRow(uint32_t y) {
        image.SetProgress(static_cast<int32_t>(uint64_t{y} * 100 / height));
        return !image.GetEscape();
    }

    // A 24-bit source: its rows are worked on as (blue, green, red) lanes of 16-bit integers,
    // each addition clamped as it is made.
    using Lanes = int16_t __attribute__((vector_size(16)));

    static Lanes Clamp(Lanes v) {
        v &= v > 0;
        const Lanes high = v > 255;
        return (v & ~high) | (high & 255);
    }
    // weight × error / 16, truncated toward zero.
    static Lanes Share(Lanes error, int16_t weight) {
        const Lanes t = error * weight;
        return (t + ((t >> 15) & 15)) >> 4;
    }

    void LoadRow(uint32_t y, std::vector<Lanes>& lanes) const {
        const uint8_t* p = image.GetBits(y);
        for (uint32_t x = 0; x < width; ++x, p += 3) lanes[x] = Lanes{p[0], p[1], p[2]};
    }

    void RunDirect() {
        std::vector<Lanes> row(width), next(width), stored(256);
        for (uint32_t i = 0; i < 256; ++i) {
            const uint8_t* c = resultColors.bgr[i];
            stored[i] = Lanes{c[0], c[1], c[2]};
        }
        if (height > 0) LoadRow(0, next);
        for (uint32_t y = 0; y < height; ++y) {
            if (!BeginRow(y)) break;
            row.swap(next);
            const bool hasNext = y + 1 < height;
            if (hasNext) LoadRow(y + 1, next);
            for (uint32_t x = 0; x < width; ++x) {
                const Lanes c = row[x];
                const uint8_t index =
                    targetLookup.Nearest(static_cast<uint8_t>(c[2]), static_cast<uint8_t>(c[1]),
                                         static_cast<uint8_t>(c[0]));
                indices[x] = index;
                const Lanes error = c - stored[index];
                if (x + 1 < width) row[x + 1] = Clamp(row[x + 1] + Share(error, 7));
                if (hasNext) {
                    if (x > 0) next[x - 1] = Clamp(next[x - 1] + Share(error, 2));
                    next[x] = Clamp(next[x] + Share(error, 4));
                    if (x + 1 < width) next[x + 1] = Clamp(next[x + 1] + Share(error, 1));
                }
            }
            PackRow(indices.data(), width, result.GetBpp(), result.GetBits(y));
        }
    }

    void RunIndexed() {
        const uint32_t bpp = image.GetBpp();
        const PaletteColors colors(image);
        PaletteLookup sourceLookup(image.GetPalette(), image.GetNumColors(),
                                   image.GetNumColors() > 16);
        std::vector<uint8_t> row(width), next(width);
        // A diffused colour goes back into the source as its nearest source entry.
        auto store = [&](uint8_t* indexRow, uint32_t x, const int32_t* error, int32_t weight) {
            const uint8_t* p = colors.bgr[indexRow[x]];
            int32_t c[3] = {p[0], p[1], p[2]};
            Add(c, error, weight);
            indexRow[x] = sourceLookup.Nearest(
                static_cast<uint8_t>(c[2]), static_cast<uint8_t>(c[1]), static_cast<uint8_t>(c[0]));
        };
        if (height > 0) UnpackRow(image.GetBits(0), 0, width, bpp, next.data());
        for (uint32_t y = 0; y < height; ++y) {
            if (!BeginRow(y)) break;
            row.swap(next);
            const bool hasNext = y + 1 < height;
            if (hasNext) UnpackRow(image.GetBits(y + 1), 0, width, bpp, next.data());
            for (uint32_t x = 0; x < width; ++x) {
                const uint8_t* p = colors.bgr[row[x]];
                const int32_t c[3] = {p[0], p[1], p[2]};
                int32_t error[3];
                Quantize(x, c, error);
                if (x + 1 < width) store(row.data(), x + 1, error, 7);
                if (hasNext) {
                    if (x > 0) store(next.data(), x - 1, error, 2);
                    store(next.data(), x, error, 4);
                    if (x + 1 < width) store(next.data(), x + 1, error, 1);
                }
            }
            PackRow(indices.data(), width, result.GetBpp(), result.GetBits(y));
        }
    }

    CRaster& image;
    CRaster& result;
    const uint32_t width, height;
    PaletteColors resultColors;
    PaletteLookup targetLookup;
    std::vector<uint8_t> indices;
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
