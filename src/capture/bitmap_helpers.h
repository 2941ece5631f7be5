#pragma once

#include <QImage>
#include <QRegion>

#include <cstdint>
#include <string>
#include <vector>

// Bitmaps are QImages; a screen-compatible bitmap is Format_RGB32. Packed device-independent
// blocks (40-byte header, colour table, bottom-up rows padded to 4 bytes) are byte vectors.

// Compression values of the packed block's header.
inline constexpr int kCompressionNone = 0;
inline constexpr int kCompressionBitFields = 3;

// The bitmap as a packed block at its own depth (1, 8, 24 or 32 bits per pixel). Bit-field
// compression is refused (empty result), as is a null bitmap.
std::vector<uint8_t> BitmapToDib(const QImage& bitmap, int compression = kCompressionNone);

// A bitmap made from a packed block; null for a block too short for what its header describes.
QImage DibToBitmap(const uint8_t* dib, size_t size);
inline QImage DibToBitmap(const std::vector<uint8_t>& dib) {
    return DibToBitmap(dib.data(), dib.size());
}

// Writes a ".bmp" file: the 14-byte file header, then the block. False when there is no block
// or the file cannot be written.
bool WriteDibFile(const std::string& path, const std::vector<uint8_t>& dib);

// Area-averaging reduction to width x height (meant for w <= W and h <= H).
QImage ResizeBitmap(const QImage& bitmap, int width, int height);

// The window shape of a skin: every pixel outside the tolerance box around `colour` (black: all
// three channels at most 16). A null bitmap gives an empty region.
QRegion BitmapToRegion(const QImage& bitmap, QRgb colour = 0, bool collectOpaque = false);
