#pragma once

// The Windows bitmap structures the image object is built on, with their byte layout.
// Blocks in memory and on disk are little-endian; fields are read and written one by one.

#include <cstddef>
#include <cstdint>

struct BITMAPINFOHEADER {
    uint32_t biSize = 0;
    int32_t biWidth = 0;
    int32_t biHeight = 0;
    uint16_t biPlanes = 0;
    uint16_t biBitCount = 0;
    uint32_t biCompression = 0;
    uint32_t biSizeImage = 0;
    int32_t biXPelsPerMeter = 0;
    int32_t biYPelsPerMeter = 0;
    uint32_t biClrUsed = 0;
    uint32_t biClrImportant = 0;
};

struct RGBQUAD {
    uint8_t rgbBlue = 0;
    uint8_t rgbGreen = 0;
    uint8_t rgbRed = 0;
    uint8_t rgbReserved = 0;
};

inline bool operator==(const RGBQUAD& a, const RGBQUAD& b) {
    return a.rgbBlue == b.rgbBlue && a.rgbGreen == b.rgbGreen && a.rgbRed == b.rgbRed &&
           a.rgbReserved == b.rgbReserved;
}

struct RECT {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

// 0x00bbggrr
using COLORREF = uint32_t;
constexpr COLORREF RGB(uint8_t r, uint8_t g, uint8_t b) {
    return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) |
           (static_cast<COLORREF>(b) << 16);
}
constexpr uint8_t GetRValue(COLORREF c) {
    return static_cast<uint8_t>(c);
}
constexpr uint8_t GetGValue(COLORREF c) {
    return static_cast<uint8_t>(c >> 8);
}
constexpr uint8_t GetBValue(COLORREF c) {
    return static_cast<uint8_t>(c >> 16);
}

// biCompression values
constexpr uint32_t BI_RGB = 0;
constexpr uint32_t BI_RLE8 = 1;
constexpr uint32_t BI_RLE4 = 2;
constexpr uint32_t BI_BITFIELDS = 3;

constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kFileHeaderSize = 14;

namespace le {
inline uint16_t Load16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t Load32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void Store16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Store32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}
}  // namespace le

// Most significant byte first, as PNG and zlib store their numbers.
namespace be {
inline uint32_t Load32(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}
inline void Store32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}
}  // namespace be

// The 40-byte header as it lies in a packed DIB block.
inline BITMAPINFOHEADER LoadInfoHeader(const uint8_t* p) {
    BITMAPINFOHEADER h;
    h.biSize = le::Load32(p);
    h.biWidth = static_cast<int32_t>(le::Load32(p + 4));
    h.biHeight = static_cast<int32_t>(le::Load32(p + 8));
    h.biPlanes = le::Load16(p + 12);
    h.biBitCount = le::Load16(p + 14);
    h.biCompression = le::Load32(p + 16);
    h.biSizeImage = le::Load32(p + 20);
    h.biXPelsPerMeter = static_cast<int32_t>(le::Load32(p + 24));
    h.biYPelsPerMeter = static_cast<int32_t>(le::Load32(p + 28));
    h.biClrUsed = le::Load32(p + 32);
    h.biClrImportant = le::Load32(p + 36);
    return h;
}

inline void StoreInfoHeader(uint8_t* p, const BITMAPINFOHEADER& h) {
    le::Store32(p, h.biSize);
    le::Store32(p + 4, static_cast<uint32_t>(h.biWidth));
    le::Store32(p + 8, static_cast<uint32_t>(h.biHeight));
    le::Store16(p + 12, h.biPlanes);
    le::Store16(p + 14, h.biBitCount);
    le::Store32(p + 16, h.biCompression);
    le::Store32(p + 20, h.biSizeImage);
    le::Store32(p + 24, static_cast<uint32_t>(h.biXPelsPerMeter));
    le::Store32(p + 28, static_cast<uint32_t>(h.biYPelsPerMeter));
    le::Store32(p + 32, h.biClrUsed);
    le::Store32(p + 36, h.biClrImportant);
}
