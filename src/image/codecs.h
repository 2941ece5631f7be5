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
bool DecodeGif(CRaster& image, CByteStream& stream);
bool EncodeGif(CRaster& image, CByteStream& stream);
bool EncodeGifFrames(CRaster& report, CByteStream& stream, CRaster** images, int32_t count);
bool DecodeIco(CRaster& image, CByteStream& stream);
bool EncodeIco(CRaster& image, CByteStream& stream);
bool DecodeTga(CRaster& image, CByteStream& stream);
bool EncodeTga(CRaster& image, CByteStream& stream);
bool DecodePcx(CRaster& image, CByteStream& stream);
bool EncodePcx(CRaster& image, CByteStream& stream);
bool DecodeWbmp(CRaster& image, CByteStream& stream);
bool EncodeWbmp(CRaster& image, CByteStream& stream);
// Metafiles are drawn by a player that needs a painter, so it lives with the Qt bridge
// (src/image/qt/metafile/), which installs it here when linked in. Without one, reading a
// metafile fails with "WMF codec not available".
void SetMetafileDecoder(DecodeFunction decoder);
bool DecodeWmf(CRaster& image, CByteStream& stream);

inline constexpr ImageCodec kImageCodecs[] = {
    {kTypeBmp, DecodeBmp, EncodeBmp, nullptr},
    {kTypeJpeg, DecodeJpeg, EncodeJpeg, nullptr},
    {kTypePng, DecodePng, EncodePng, nullptr},
    {kTypeTiff, DecodeTiff, EncodeTiff, EncodeTiffFrames},
    {kTypeGif, DecodeGif, EncodeGif, EncodeGifFrames},
    {kTypeIco, DecodeIco, EncodeIco, nullptr},
    {kTypeTga, DecodeTga, EncodeTga, nullptr},
    {kTypePcx, DecodePcx, EncodePcx, nullptr},
    {kTypeWbmp, DecodeWbmp, EncodeWbmp, nullptr},
    {kTypeWmf, DecodeWmf, EncodeWmf, nullptr},
};

// The codec line of a type id, or null.
const ImageCodec* FindImageCodec(uint32_t type);
// "BMP", "GIF", ... for the known type ids; "image" otherwise.
const char* ImageFormatName(uint32_t type);
