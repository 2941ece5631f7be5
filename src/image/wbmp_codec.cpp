// Wireless bitmaps of type 0: black and white, one bit a pixel, rows from the top, 1 = white.

#include "image/codecs.h"

#include <vector>

#include "image/format_bytes.h"

namespace {

constexpr const char* kErrNotWbmp = "Not a WBMP";
constexpr const char* kErrType = "Unsupported WBMP type";
constexpr const char* kErrCorrupted = "Corrupted WBMP";
constexpr const char* kErrCreate = "WBMP Create failed";
constexpr const char* kErrCantSave = "Can't save this image as WBMP";
constexpr const char* kErrWrite = "Write Error in WBMP file";

// A multi-byte integer: 7 bits a byte, high bit set on every byte but the last. False for one
// that runs off the file or beyond 32 bits.
bool ReadNumber(ByteReader& in, uint32_t& value) {
    value = 0;
    for (int i = 0; i < 5; ++i) {
        const uint8_t b = in.U8();
        if (in.Failed() || (value >> 25) != 0) return false;
        value = (value << 7) | (b & 0x7F);
        if (!(b & 0x80)) return true;
    }
    return false;
}

void WriteNumber(ByteWriter& out, uint32_t value) {
    uint8_t groups[5];
    int n = 0;
    do {
        groups[n++] = static_cast<uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value);
    while (n-- > 0) out.U8(static_cast<uint8_t>(groups[n] | (n ? 0x80 : 0)));
}

bool IsLight(RGBQUAD c) {
    return c.rgbRed + c.rgbGreen + c.rgbBlue >= 384;
}

}  // namespace

bool DecodeWbmp(CRaster& image, CByteStream& stream) {
    const std::vector<uint8_t> bytes = ReadRest(stream);
    ByteReader in(bytes);
    uint32_t type = 0, width = 0, height = 0;
    if (!ReadNumber(in, type)) {
        image.SetLastError(kErrNotWbmp);
        return false;
    }
    if (type != 0) {
        image.SetLastError(kErrType);
        return false;
    }
    const uint8_t fixedHeader = in.U8();
    if (in.Failed() || (fixedHeader & 0x9F) != 0 || !ReadNumber(in, width) ||
        !ReadNumber(in, height)) {
        image.SetLastError(kErrNotWbmp);
        return false;
    }
    const size_t rowBytes = (static_cast<size_t>(width) + 7) / 8;
    if (width == 0 || height == 0 || rowBytes * height > in.Left()) {
        image.SetLastError(kErrCorrupted);
        return false;
    }
    if (!image.Create(width, height, 1, kTypeWbmp)) {
        image.SetLastError(kErrCreate);
        return false;
    }
    image.SetPaletteIndex(0, 0, 0, 0);
    image.SetPaletteIndex(1, 255, 255, 255);
    for (uint32_t y = 0; y < height; ++y) in.Bytes(image.GetBits(height - 1 - y), rowBytes);
    return true;
}

bool EncodeWbmp(CRaster& image, CByteStream& stream) {
    if (image.GetBpp() != 1) {
        image.SetLastError(kErrCantSave);
        return false;
    }
    const uint32_t width = image.GetWidth(), height = image.GetHeight();
    const size_t rowBytes = (static_cast<size_t>(width) + 7) / 8;
    // Bit 1 is white: rows are copied as they are, or inverted when index 0 is the light one.
    const bool invert = IsLight(image.GetPaletteColor(0)) && !IsLight(image.GetPaletteColor(1));
    const bool flat = IsLight(image.GetPaletteColor(0)) == IsLight(image.GetPaletteColor(1));
    ByteWriter out;
    WriteNumber(out, 0);
    out.U8(0);
    WriteNumber(out, width);
    WriteNumber(out, height);
    out.bytes.reserve(out.bytes.size() + rowBytes * height);
    const uint8_t tailMask = static_cast<uint8_t>(width % 8 ? 0xFF00 >> (width % 8) : 0xFF);
    for (uint32_t y = height; y-- > 0;) {
        const uint8_t* row = image.GetBits(y);
        for (size_t i = 0; i < rowBytes; ++i) {
            uint8_t b = flat ? (IsLight(image.GetPaletteColor(0)) ? 0xFF : 0x00)
                             : static_cast<uint8_t>(invert ? ~row[i] : row[i]);
            if (i + 1 == rowBytes) b &= tailMask;
            out.U8(b);
        }
    }
    if (!out.FlushTo(stream)) {
        image.SetLastError(kErrWrite);
        return false;
    }
    return true;
}
