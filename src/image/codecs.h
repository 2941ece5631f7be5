#pragma once

// The image formats behind CRaster::Decode and CRaster::Encode.
//
// Each format lives in its own file (<format>_codec.cpp) and defines plain functions:
//   Decode: `image` is a fresh, empty image of the format's type whose frame and escape are the
//           caller's; on success it holds the picture (and frameCount for multi-image files), on
//           failure its lastError says why. The dispatcher moves a success into the caller's image.
//   Encode: `image` is a ghost of the caller's image; on failure set its lastError.
//   EncodeFrames: several images into one file (only where the format has pages or frames).
// A format plugs in with its file, its declarations below and its line in kImageCodecs.
// A type id without a line, or with a null slot, fails with "<format> codec not available".

#include <cstdint>

#include "image/byte_stream.h"
#include "image/raster.h"

using DecodeFunction = bool (*)(CRaster& image, CByteStream& stream);
using EncodeFunction = bool (*)(CRaster& image, CByteStream& stream);
using EncodeFramesFunction = bool (*)(CRaster& report, CByteStream& stream, CRaster** images,
                                      int32_t count);

struct ImageCodec {
    uint32_t type;
    DecodeFunction decode;
    EncodeFunction encode;
    EncodeFramesFunction encodeFrames;  // null: one image per file
};

bool DecodeBmp(CRaster& image, CByteStream& stream);
bool EncodeBmp(CRaster& image, CByteStream& stream);
bool DecodeJpeg(CRaster& image, CByteStream& stream);
bool EncodeJpeg(CRaster& image, CByteStream& stream);
bool DecodePng(CRaster& image, CByteStream& stream);
bool EncodePng(CRaster& image, CByteStream& stream);
bool DecodeTiff(CRaster& image, CByteStream& stream);
bool EncodeTiff(CRaster& image, CByteStream& stream);
bool EncodeTiffFrames(CRaster& report, CByteStream& stream, CRaster** images, int32_t count);
// Metafiles are read only; this refuses every save with "Save WMF not supported".
bool EncodeWmf(CRaster& image, CByteStream& stream);

inline constexpr ImageCodec kImageCodecs[] = {
    {kTypeBmp, DecodeBmp, EncodeBmp, nullptr},
    {kTypeJpeg, DecodeJpeg, EncodeJpeg, nullptr},
    {kTypePng, DecodePng, EncodePng, nullptr},
    {kTypeTiff, DecodeTiff, EncodeTiff, EncodeTiffFrames},
    {kTypeWmf, nullptr, EncodeWmf, nullptr},
};

// The codec line of a type id, or null.
const ImageCodec* FindImageCodec(uint32_t type);
// "BMP", "GIF", ... for the known type ids; "image" otherwise.
const char* ImageFormatName(uint32_t type);
