#pragma once

// Random test images and a byte-for-byte comparison of two images.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>

#include "image/raster.h"

struct ImageOptions {
    bool alpha = false;
    bool transparent = false;
};

// Random pixels (padding bytes included), a random palette with a few repeated entries, and
// optionally an alpha plane and a transparent index or colour.
inline CRaster RandomImage(uint32_t width, uint32_t height, uint32_t bpp, uint32_t seed,
                           ImageOptions options = {}) {
    std::mt19937 rng(seed);
    auto byte = [&rng] { return static_cast<uint8_t>(rng() & 0xFF); };
    CRaster image(width, height, bpp);
    image.SetXDPI(96);
    for (uint32_t i = 0; i < image.GetNumColors(); ++i)
        image.SetPaletteIndex(i, byte(), byte(), byte(), byte());
    if (image.GetNumColors() > 2)
        image.SetPaletteIndex(image.GetNumColors() - 1, image.GetPaletteColor(1));
    uint8_t* bits = image.GetBits();
    for (uint32_t k = 0; k < image.GetHeader().biSizeImage; ++k) bits[k] = byte();
    if (options.alpha) {
        image.AlphaCreate();
        for (size_t k = 0; k < size_t{width} * height; ++k) image.AlphaGetBits()[k] = byte();
    }
    if (options.transparent) {
        image.SetTransIndex(bpp == 24 ? 0 : static_cast<int32_t>(rng() % image.GetNumColors()));
        RGBQUAD background;
        background.rgbRed = byte(), background.rgbGreen = byte(), background.rgbBlue = byte();
        image.SetBackgroundColor(background);
    }
    return image;
}

// An image whose selection plane the tests can set (the program never makes one).
class SelectableRaster : public CRaster {
  public:
    using CRaster::CRaster;
    // Selects the pixels for which pick(x, y) is true.
    template <typename Pick>
    void Select(Pick pick) {
        std::free(selection);
        selection = static_cast<uint8_t*>(std::calloc(size_t{GetWidth()} * GetHeight(), 1));
        for (uint32_t y = 0; y < GetHeight(); ++y)
            for (uint32_t x = 0; x < GetWidth(); ++x)
                selection[size_t{y} * GetWidth() + x] = pick(x, y) ? 1 : 0;
    }
};

// A smooth picture (gradients with a little noise) in 24 bits, closer to a photograph.
inline CRaster SmoothImage(uint32_t width, uint32_t height, uint32_t seed) {
    std::mt19937 rng(seed);
    CRaster image(width, height, 24);
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* row = image.GetBits(y);
        for (uint32_t x = 0; x < width; ++x) {
            row[3 * x] = static_cast<uint8_t>(x * 255 / width + rng() % 5);
            row[3 * x + 1] = static_cast<uint8_t>(y * 255 / height);
            row[3 * x + 2] = static_cast<uint8_t>((x + y) * 127 / (width + height) + rng() % 9);
        }
    }
    return image;
}

// Same header, palette, pixel bytes (padding included), alpha plane and transparent index.
inline ::testing::AssertionResult SameImage(const CRaster& a, const CRaster& b) {
    if (a.IsValid() != b.IsValid()) return ::testing::AssertionFailure() << "validity differs";
    if (!a.IsValid()) return ::testing::AssertionSuccess();
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight() || a.GetBpp() != b.GetBpp())
        return ::testing::AssertionFailure()
               << "size or depth differs: " << a.GetWidth() << "x" << a.GetHeight() << "x"
               << a.GetBpp() << " vs " << b.GetWidth() << "x" << b.GetHeight() << "x" << b.GetBpp();
    if (a.GetSize() != b.GetSize()) return ::testing::AssertionFailure() << "block sizes differ";
    for (uint32_t k = 0; k < a.GetSize(); ++k) {
        if (a.GetDIB()[k] != b.GetDIB()[k]) {
            const uint32_t pixels = a.GetSize() - a.GetHeader().biSizeImage;
            auto failure = ::testing::AssertionFailure()
                           << "byte " << k << " differs: " << int(a.GetDIB()[k]) << " vs "
                           << int(b.GetDIB()[k]);
            if (k >= pixels)
                failure << " (row " << (k - pixels) / a.GetEffWidth() << ", byte "
                        << (k - pixels) % a.GetEffWidth() << ")";
            return failure;
        }
    }
    if (a.AlphaIsValid() != b.AlphaIsValid())
        return ::testing::AssertionFailure() << "alpha plane present in one only";
    if (a.AlphaIsValid() &&
        std::memcmp(a.AlphaGetBits(), b.AlphaGetBits(), size_t{a.GetWidth()} * a.GetHeight()))
        return ::testing::AssertionFailure() << "alpha planes differ";
    if (a.SelectionIsValid() != b.SelectionIsValid())
        return ::testing::AssertionFailure() << "selection present in one only";
    if (a.GetTransIndex() != b.GetTransIndex())
        return ::testing::AssertionFailure()
               << "transparent index " << a.GetTransIndex() << " vs " << b.GetTransIndex();
    if (!(a.GetBackgroundColor() == b.GetBackgroundColor()))
        return ::testing::AssertionFailure() << "background colours differ";
    if (a.IsAlphaPaletteEnabled() != b.IsAlphaPaletteEnabled() || a.GetType() != b.GetType())
        return ::testing::AssertionFailure() << "alpha palette flag or type differs";
    return ::testing::AssertionSuccess();
}

// Same size and the same colour at every pixel, whatever the depths.
inline ::testing::AssertionResult SamePixelColors(const CRaster& a, const CRaster& b) {
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight())
        return ::testing::AssertionFailure() << "sizes differ";
    for (int32_t y = 0; y < static_cast<int32_t>(a.GetHeight()); ++y) {
        for (int32_t x = 0; x < static_cast<int32_t>(a.GetWidth()); ++x) {
            const RGBQUAD ca = a.GetPixelColor(x, y), cb = b.GetPixelColor(x, y);
            if (ca.rgbRed != cb.rgbRed || ca.rgbGreen != cb.rgbGreen || ca.rgbBlue != cb.rgbBlue)
                return ::testing::AssertionFailure() << "pixel " << x << "," << y << " differs";
        }
    }
    return ::testing::AssertionSuccess();
}
