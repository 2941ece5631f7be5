#pragma once

// Straightforward versions of the image operations: per-pixel accessors and the arithmetic as
// the operations are described, no tables, no threads. The fast operations must give the
// same bytes.

#include <cstdint>

#include "image/raster.h"

namespace reference {

CRaster GrayScale(const CRaster& src);
CRaster Mirror(const CRaster& src);
CRaster RotateLeft(const CRaster& src);
CRaster RotateRight(const CRaster& src);
CRaster Resample(const CRaster& src, uint32_t newWidth, uint32_t newHeight, bool fast);
CRaster IncreaseBpp(const CRaster& src, uint32_t bits);
CRaster DecreaseBpp(const CRaster& src, uint32_t bits, bool diffusion, const RGBQUAD* palette);
CRaster Crop(const CRaster& src, int32_t left, int32_t top, int32_t right, int32_t bottom);
CRaster Light(const CRaster& src, int32_t brightness, int32_t contrast);
CRaster AlphaStrip(const CRaster& src);
// The palette an octree of the given size builds from the image, by a plain tree walk per pixel.
void OctreePalette(const CRaster& src, uint32_t maxColors, uint32_t colorBits, RGBQUAD* out);

}  // namespace reference
