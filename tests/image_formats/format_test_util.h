#pragma once

// Helpers of the format tests: encoding to and decoding from memory, and reading a few fields
// of the bytes written.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "image/raster.h"
#include "test_images.h"

using Bytes = std::vector<uint8_t>;

// The file an image encodes to, in memory; empty when the format refuses it.
inline Bytes Written(CRaster& image, uint32_t type) {
    uint8_t* buffer = nullptr;
    int32_t size = 0;
    if (!image.Encode(buffer, size, type)) return {};
    Bytes bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

inline bool Decode(CRaster& image, Bytes bytes, uint32_t type, int32_t frame = 0) {
    image.SetFrame(frame);
    return image.Decode(bytes.data(), static_cast<uint32_t>(bytes.size()), type);
}

inline uint16_t Word(const Bytes& b, size_t at) {
    return static_cast<uint16_t>(b.at(at) | (b.at(at + 1) << 8));
}

inline uint32_t Dword(const Bytes& b, size_t at) {
    return Word(b, at) | (static_cast<uint32_t>(Word(b, at + 2)) << 16);
}

inline void Put16(Bytes& b, uint16_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}

inline void Put32(Bytes& b, uint32_t v) {
    Put16(b, static_cast<uint16_t>(v));
    Put16(b, static_cast<uint16_t>(v >> 16));
}

inline RGBQUAD Rgb(uint8_t r, uint8_t g, uint8_t b) {
    RGBQUAD c;
    c.rgbRed = r;
    c.rgbGreen = g;
    c.rgbBlue = b;
    return c;
}

// Colour of a pixel counted from the top row, as "r,g,b" for readable failures.
inline std::string ColorAt(const CRaster& image, int32_t x, int32_t yFromTop) {
    const RGBQUAD c =
        image.GetPixelColor(x, static_cast<int32_t>(image.GetHeight()) - 1 - yFromTop);
    return std::to_string(c.rgbRed) + "," + std::to_string(c.rgbGreen) + "," +
           std::to_string(c.rgbBlue);
}
