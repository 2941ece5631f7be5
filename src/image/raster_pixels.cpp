// Pixel, palette, alpha and selection access of the image object.

#include "image/raster.h"

#include "image/bitfield_row.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

// --- pixels ---

uint8_t CRaster::GetPixelIndex(int32_t x, int32_t y) const {
    if (!dib || header.biClrUsed == 0) return 0;
    if (!IsInside(x, y))
        return info.backgroundIndex >= 0 ? static_cast<uint8_t>(info.backgroundIndex) : 0;
    const uint8_t* row = info.bits + static_cast<size_t>(y) * info.effectiveWidth;
    switch (header.biBitCount) {
        case 8:
            return row[x];
        case 4: {
            const uint8_t byte = row[x >> 1];
            return (x & 1) ? (byte & 0x0F) : (byte >> 4);
        }
        default:
            return (row[x >> 3] >> (7 - (x & 7))) & 1;
    }
}

void CRaster::SetPixelIndex(int32_t x, int32_t y, uint8_t index) {
    if (!IsInside(x, y) || header.biClrUsed == 0) return;
    uint8_t* row = info.bits + static_cast<size_t>(y) * info.effectiveWidth;
    switch (header.biBitCount) {
        case 8:
            row[x] = index;
            break;
        case 4: {
            uint8_t& byte = row[x >> 1];
            byte = (x & 1) ? static_cast<uint8_t>((byte & 0xF0) | (index & 0x0F))
                           : static_cast<uint8_t>((byte & 0x0F) | (index << 4));
            break;
        }
        default: {
            const uint8_t mask = static_cast<uint8_t>(0x80 >> (x & 7));
            uint8_t& byte = row[x >> 3];
            byte = (index & 1) ? (byte | mask) : static_cast<uint8_t>(byte & ~mask);
            break;
        }
    }
}

RGBQUAD CRaster::GetPixelColor(int32_t x, int32_t y) const {
    if (!IsInside(x, y)) return GetTransColor();
    if (header.biClrUsed) return GetPaletteColor(GetPixelIndex(x, y));
    const uint8_t* p = info.bits + static_cast<size_t>(y) * info.effectiveWidth + x * 3;
    RGBQUAD c;
    c.rgbBlue = p[0];
    c.rgbGreen = p[1];
    c.rgbRed = p[2];
    c.rgbReserved = info.backgroundColor.rgbReserved;
    return c;
}

void CRaster::SetPixelColor(int32_t x, int32_t y, RGBQUAD color) {
    if (!IsInside(x, y)) return;
    if (header.biClrUsed) {
        SetPixelIndex(x, y, GetNearestIndex(color));
        return;
    }
    uint8_t* p = info.bits + static_cast<size_t>(y) * info.effectiveWidth + x * 3;
    p[0] = color.rgbBlue;
    p[1] = color.rgbGreen;
    p[2] = color.rgbRed;
}

static RGBQUAD FromColorRef(COLORREF color) {
    RGBQUAD c;
    c.rgbRed = GetRValue(color);
    c.rgbGreen = GetGValue(color);
    c.rgbBlue = GetBValue(color);
    return c;
}

void CRaster::SetPixelColor(int32_t x, int32_t y, COLORREF color) {
    SetPixelColor(x, y, FromColorRef(color));
}

uint8_t CRaster::GetNearestIndex(RGBQUAD color) const {
    const RGBQUAD* palette = GetPalette();
    if (!palette) return 0;
    int best = 200000;
    uint32_t nearest = 0;
    for (uint32_t i = 0; i < header.biClrUsed; ++i) {
        const int db = palette[i].rgbBlue - color.rgbBlue;
        const int dg = palette[i].rgbGreen - color.rgbGreen;
        const int dr = palette[i].rgbRed - color.rgbRed;
        const int distance = db * db + dg * dg + dr * dr;
        if (distance == 0) return static_cast<uint8_t>(i);
        if (distance < best) {
            best = distance;
            nearest = i;
        }
    }
    return static_cast<uint8_t>(nearest);
}

// --- palette ---

RGBQUAD* CRaster::GetPalette() const {
    if (!dib || header.biClrUsed == 0) return nullptr;
    return reinterpret_cast<RGBQUAD*>(dib + header.biSize);
}

RGBQUAD CRaster::GetPaletteColor(uint32_t index) const {
    const RGBQUAD* palette = GetPalette();
    if (!palette || index >= header.biClrUsed) return RGBQUAD{};
    return palette[index];
}

void CRaster::SetPaletteIndex(uint32_t index, uint8_t r, uint8_t g, uint8_t b, uint8_t a) {
    RGBQUAD* palette = GetPalette();
    if (!palette || index >= header.biClrUsed) return;
    palette[index].rgbRed = r;
    palette[index].rgbGreen = g;
    palette[index].rgbBlue = b;
    palette[index].rgbReserved = a;
}

void CRaster::SetPaletteIndex(uint32_t index, RGBQUAD color) {
    SetPaletteIndex(index, color.rgbRed, color.rgbGreen, color.rgbBlue, color.rgbReserved);
}

void CRaster::SetPaletteIndex(uint32_t index, COLORREF color) {
    SetPaletteIndex(index, GetRValue(color), GetGValue(color), GetBValue(color), 0);
}

void CRaster::SetPalette(const RGBQUAD* colors, uint32_t count) {
    RGBQUAD* palette = GetPalette();
    if (!palette || !colors) return;
    std::memcpy(palette, colors, std::min(count, header.biClrUsed) * sizeof(RGBQUAD));
}

void CRaster::SetPalette(uint32_t count, const uint8_t* red, const uint8_t* green,
                         const uint8_t* blue) {
    if (!GetPalette() || !red || !green || !blue) return;
    const uint32_t n = std::min(count, header.biClrUsed);
    for (uint32_t i = 0; i < n; ++i) SetPaletteIndex(i, red[i], green[i], blue[i], 0);
}

void CRaster::SetGrayPalette() {
    if (!GetPalette()) return;
    const uint32_t step = 255 / (header.biClrUsed - 1);
    for (uint32_t i = 0; i < header.biClrUsed; ++i) {
        const auto v = static_cast<uint8_t>(i * step);
        SetPaletteIndex(i, v, v, v, 0);
    }
}

bool CRaster::IsGrayScale() const {
    const RGBQUAD* palette = GetPalette();
    if (!palette) return false;
    for (uint32_t i = 0; i < header.biClrUsed; ++i) {
        if (palette[i].rgbRed != i || palette[i].rgbGreen != i || palette[i].rgbBlue != i)
            return false;
    }
    return true;
}

RGBQUAD CRaster::GetTransColor() const {
    if (header.biClrUsed && info.backgroundIndex >= 0)
        return GetPaletteColor(static_cast<uint32_t>(info.backgroundIndex));
    return info.backgroundColor;
}

// --- alpha and selection planes ---

bool CRaster::AlphaCreate() {
    if (!dib) return false;
    std::free(alpha);
    alpha = static_cast<uint8_t*>(std::calloc(PlaneSize(), 1));
    return alpha != nullptr;
}

void CRaster::AlphaDelete() {
    std::free(alpha);
    alpha = nullptr;
}

void CRaster::AlphaSet(uint8_t value) {
    if (alpha) std::memset(alpha, value, PlaneSize());
}

void CRaster::AlphaSet(int32_t x, int32_t y, uint8_t value) {
    if (alpha && IsInside(x, y)) alpha[static_cast<size_t>(y) * GetWidth() + x] = value;
}

uint8_t CRaster::AlphaGet(int32_t x, int32_t y) const {
    if (!alpha || !IsInside(x, y)) return 0;
    return alpha[static_cast<size_t>(y) * GetWidth() + x];
}

// Duplicates a plane of the source when both images have the same size.
static bool CopyPlane(uint8_t*& plane, const uint8_t* source, size_t size, bool sameSize) {
    if (!source || !sameSize) return false;
    if (!plane) plane = static_cast<uint8_t*>(std::malloc(size));
    if (!plane) return false;
    std::memcpy(plane, source, size);
    return true;
}

bool CRaster::AlphaCopy(const CRaster& src) {
    if (&src == this || !dib) return false;
    const bool sameSize = src.GetWidth() == GetWidth() && src.GetHeight() == GetHeight();
    if (!CopyPlane(alpha, src.alpha, PlaneSize(), sameSize)) return false;
    info.alphaMax = src.info.alphaMax;
    return true;
}

bool CRaster::SelectionCopy(const CRaster& src) {
    if (&src == this || !dib) return false;
    const bool sameSize = src.GetWidth() == GetWidth() && src.GetHeight() == GetHeight();
    if (!CopyPlane(selection, src.selection, PlaneSize(), sameSize)) return false;
    info.selectionBox = src.info.selectionBox;
    return true;
}

void CRaster::SelectionDelete() {
    std::free(selection);
    selection = nullptr;
    info.selectionBox = RECT{};
}

// --- bit-field conversion ---

void CRaster::Bitfield2RGB(const uint8_t* source, uint32_t redMask, uint32_t greenMask,
                           uint32_t blueMask, uint8_t bpp) {
    if (!dib || !source || header.biBitCount != 24 || (bpp != 16 && bpp != 32)) return;
    const size_t sourceRow = BitfieldRowBytes(GetWidth(), bpp);
    for (uint32_t y = GetHeight(); y-- > 0;)
        Bitfield2RGBRow(source + y * sourceRow, GetBits(y), GetWidth(), redMask, greenMask,
                        blueMask, bpp);
}
