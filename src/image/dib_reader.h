#pragma once

// Reading of a device-independent bitmap (info or core header, masks, colour table, rows) from a
// stream, shared by BMP files and clipboard blocks.

#include <cstdint>

#include "image/byte_stream.h"
#include "image/raster.h"

// Reads the bitmap that starts at the stream's position into `image` (created with `type`).
// `bitsOffset` is the stream position of the pixel rows, or -1 when they follow the colour
// table. Uncompressed 1/4/8/24-bit rows are kept; 16- and 32-bit rows become 24-bit; RLE4 and
// RLE8 are expanded. On failure sets the image's lastError and returns false.
bool ReadDib(CRaster& image, CByteStream& stream, int64_t bitsOffset, uint32_t type);
