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
// diffused colours: a 24-bit source in its own rows (it is replaced afterwards anyway), a
// palette source as the nearest entries of its own palette (kept here as index rows).
class Diffuser {
  public:
    Diffuser(CRaster& image, CRaster& result)
        : image(image),
          result(result),
          width(image.GetWidth()),
          height(image.GetHeight()),
          resultColors(result),
          targetLookup(result.GetPalette(), result.GetNumColors()),
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
    static void Add(uint8_t* p, const int32_t* error, int32_t weight) {
        for (int j = 0; j < 3; ++j)
            p[j] = static_cast<uint8_t>(std::clamp(p[j] + weight * error[j] / 16, 0, 255));
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
        if (image.GetEscape()) return false;
        image.SetProgress(static_cast<int32_t>(uint64_t{y} * 100 / height));
        return true;
    }

    void RunDirect() {
        for (uint32_t y = 0; y < height; ++y) {
            if (!BeginRow(y)) break;
            uint8_t* row = image.GetBits(y);
            uint8_t* next = y + 1 < height ? image.GetBits(y + 1) : nullptr;
            for (uint32_t x = 0; x < width; ++x) {
                const int32_t c[3] = {row[3 * x], row[3 * x + 1], row[3 * x + 2]};
                int32_t error[3];
                Quantize(x, c, error);
                if (x + 1 < width) Add(row + 3 * (x + 1), error, 7);
                if (next) {
                    if (x > 0) Add(next + 3 * (x - 1), error, 2);
                    Add(next + 3 * x, error, 4);
                    if (x + 1 < width) Add(next + 3 * (x + 1), error, 1);
                }
            }
            PackRow(indices.data(), width, result.GetBpp(), result.GetBits(y));
        }
    }

    void RunIndexed() {
        const uint32_t bpp = image.GetBpp();
        const PaletteColors colors(image);
        PaletteLookup sourceLookup(image.GetPalette(), image.GetNumColors());
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
