// BMP files: a 14-byte file header, then a device-independent bitmap.

#include "image/codecs.h"

#include "image/dib_reader.h"

bool DecodeBmp(CRaster& image, CByteStream& stream) {
    const int64_t start = stream.Tell();
    uint8_t fileHeader[kFileHeaderSize];
    if (stream.Read(fileHeader, sizeof fileHeader, 1) != 1 || fileHeader[0] != 'B' ||
        fileHeader[1] != 'M') {
        image.SetLastError("Not a BMP");
        return false;
    }
    const uint32_t bitsOffset = le::Load32(fileHeader + 10);
    return ReadDib(image, stream, bitsOffset ? start + bitsOffset : -1, kTypeBmp);
}

bool EncodeBmp(CRaster& image, CByteStream& stream) {
    uint8_t fileHeader[kFileHeaderSize] = {'B', 'M'};
    le::Store32(fileHeader + 2, image.GetSize() + kFileHeaderSize);
    le::Store32(fileHeader + 10,
                kFileHeaderSize + image.GetHeader().biSize + image.GetPaletteSize());
    if (stream.Write(fileHeader, sizeof fileHeader, 1) != 1 ||
        stream.Write(image.GetDIB(), image.GetSize(), 1) != 1) {
        image.SetLastError("Can't write BMP");
        return false;
    }
    return true;
}
