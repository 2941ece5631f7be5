#pragma once

// Small helpers shared by the image tests.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "image/raster.h"

// A fresh temporary working folder per test, removed afterwards.
class TempFolderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/quillet-image-test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(folder); }
    std::string Path(const std::string& name) const { return (folder / name).string(); }

    std::filesystem::path folder;
};

// A picture with a different colour at every pixel (24 bits) or every index in turn (palettes).
inline CRaster MakePattern(uint32_t width, uint32_t height, uint32_t bpp) {
    CRaster image(width, height, bpp);
    const uint32_t colors = image.GetNumColors();
    for (uint32_t i = 0; i < colors; ++i)
        image.SetPaletteIndex(i, static_cast<uint8_t>(i * 37), static_cast<uint8_t>(i * 91 + 5),
                              static_cast<uint8_t>(255 - i * 13));
    for (int32_t y = 0; y < static_cast<int32_t>(height); ++y) {
        for (int32_t x = 0; x < static_cast<int32_t>(width); ++x) {
            if (colors) {
                image.SetPixelIndex(x, y, static_cast<uint8_t>((x * 7 + y * 3) % colors));
            } else {
                RGBQUAD c;
                c.rgbRed = static_cast<uint8_t>(x * 5 + y);
                c.rgbGreen = static_cast<uint8_t>(y * 11 + 3);
                c.rgbBlue = static_cast<uint8_t>(x ^ y);
                image.SetPixelColor(x, y, c);
            }
        }
    }
    return image;
}

// The file an image encodes to, in memory.
inline std::vector<uint8_t> Encoded(CRaster& image, uint32_t type) {
    uint8_t* buffer = nullptr;
    int32_t size = 0;
    EXPECT_TRUE(image.Encode(buffer, size, type)) << image.GetLastError();
    std::vector<uint8_t> bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

inline bool DecodeBytes(CRaster& image, std::vector<uint8_t> bytes, uint32_t type = kTypeBmp) {
    return image.Decode(bytes.data(), static_cast<uint32_t>(bytes.size()), type);
}

// Same size, depth, palette and pixel colours (padding bytes ignored).
inline ::testing::AssertionResult SamePixels(const CRaster& a, const CRaster& b) {
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight())
        return ::testing::AssertionFailure() << "sizes differ";
    for (int32_t y = 0; y < static_cast<int32_t>(a.GetHeight()); ++y) {
        for (int32_t x = 0; x < static_cast<int32_t>(a.GetWidth()); ++x) {
            RGBQUAD ca = a.GetPixelColor(x, y), cb = b.GetPixelColor(x, y);
            if (ca.rgbRed != cb.rgbRed || ca.rgbGreen != cb.rgbGreen || ca.rgbBlue != cb.rgbBlue)
                return ::testing::AssertionFailure()
                       << "pixel " << x << "," << y << " differs: " << int(ca.rgbRed) << ","
                       << int(ca.rgbGreen) << "," << int(ca.rgbBlue) << " vs " << int(cb.rgbRed)
                       << "," << int(cb.rgbGreen) << "," << int(cb.rgbBlue);
        }
    }
    return ::testing::AssertionSuccess();
}
