// Targa files: colour-mapped, true-colour and grey images, run-length encoded or not; written as
// 8-bit colour-mapped or 24-bit true colour (32 bits with an alpha plane), uncompressed.

#include "image/codecs.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "image/format_bytes.h"

namespace {

constexpr const char* kErrNotTga = "Not a TGA";
constexpr const char* kErrCreate = "TGA Create failed";
constexpr const char* kErrType = "Unknown TGA image type";
constexpr const char* kErrCorrupted = "corrupted TGA";
constexpr const char* kErrDepth = "Bit depth must be 8 or 24";
constexpr const char* kErrCancelled = "Cancelled";
constexpr const char* kErrWrite = "Write Error in TGA file";

constexpr uint32_t kHeaderSize = 18;

struct TgaHeader {
    uint8_t idLength = 0, mapType = 0, imageType = 0;
    uint16_t mapFirst = 0, mapLength = 0;
    uint8_t mapEntrySize = 0;
    uint16_t width = 0, height = 0;
    uint8_t depth = 0, descriptor = 0;
};

// One 15/16/24/32-bit colour (colour-map entry or pixel) as blue, green, red, alpha.
void UnpackColor(const uint8_t* p, uint32_t bytes, uint8_t out[4]) {
    if (bytes >= 3) {
        out[0] = p[0];
        out[1] = p[1];
        out[2] = p[2];
        out[3] = bytes == 4 ? p[3] : 255;
        return;
    }
    const uint16_t w = static_cast<uint16_t>(p[0] | (p[1] << 8));
    const auto five = [](uint32_t v) { return static_cast<uint8_t>((v << 3) | (v >> 2)); };
    out[0] = five(w & 0x1F);
    out[1] = five((w >> 5) & 0x1F);
    out[2] = five((w >> 10) & 0x1F);
    out[3] = 255;
}

// Delivers the file's pixel records row by row; run-length packets may cross rows.
class PixelSource {
  public:
    PixelSource(ByteReader& in, bool rle, uint32_t pixelBytes)
        : in(in), rle(rle), pixelBytes(pixelBytes) {}

    // Fills `count` records; false when the data ends first.
    bool Next(uint8_t* out, size_t count) {
        if (!rle) return in.Bytes(out, count * pixelBytes);
        while (count > 0) {
            if (left == 0) {
                const uint8_t packet = in.U8();
                if (in.Failed()) return false;
                left = (packet & 0x7F) + 1u;
                repeat = (packet & 0x80) != 0;
                if (repeat && !in.Bytes(value, pixelBytes)) return false;
            }
            const size_t n = std::min<size_t>(left, count);
            if (repeat) {
                for (size_t i = 0; i < n; ++i) std::memcpy(out + i * pixelBytes, value, pixelBytes);
            } else if (!in.Bytes(out, n * pixelBytes)) {
                return false;
            }
            out += n * pixelBytes;
            count -= n;
            left -= static_cast<uint32_t>(n);
        }
        return true;
    }

  private:
    ByteReader& in;
    const bool rle;
    const uint32_t pixelBytes;
    uint32_t left = 0;
    bool repeat = false;
    uint8_t value[4] = {};
};

// Whether the data left can hold that many pixels at all (a packet of 1 + n bytes gives at most
// 128 pixels), so a tiny file cannot make us allocate a huge image.
bool CanHold(size_t bytesLeft, bool rle, uint32_t pixelBytes, uint64_t pixels) {
    if (!rle) return pixels * pixelBytes <= bytesLeft;
    return pixels <= static_cast<uint64_t>(bytesLeft) / (1 + pixelBytes) * 128 + 128;
}

}  // namespace

bool DecodeTga(CRaster& image, CByteStream& stream) {
    const std::vector<uint8_t> bytes = ReadRest(stream);
    ByteReader in(bytes);
    TgaHeader h;
    h.idLength = in.U8();
    h.mapType = in.U8();
    h.imageType = in.U8();
    h.mapFirst = in.U16();
    h.mapLength = in.U16();
    h.mapEntrySize = in.U8();
    in.Skip(4);  // origin
    h.width = in.U16();
    h.height = in.U16();
    h.depth = in.U8();
    h.descriptor = in.U8();
    if (in.Failed() || h.mapType > 1) {
        image.SetLastError(kErrNotTga);
        return false;
    }
    const uint32_t kind = h.imageType & ~8u;  // 1 mapped, 2 true colour, 3 grey
    const bool rle = (h.imageType & 8) != 0;
    if (kind < 1 || kind > 3 || (h.imageType & ~11u)) {
        image.SetLastError(kErrType);
        return false;
    }
    const bool depthOk = kind == 1 ? h.depth == 8 && h.mapType == 1
                         : kind == 2
                             ? h.depth == 15 || h.depth == 16 || h.depth == 24 || h.depth == 32
                             : h.depth == 8 || h.depth == 16;
    const uint32_t entryBytes = (h.mapEntrySize + 7) / 8;
    if (!depthOk || h.width == 0 || h.height == 0 ||
        (h.mapType == 1 && (entryBytes < 2 || entryBytes > 4))) {
        image.SetLastError(kErrNotTga);
        return false;
    }
    in.Skip(h.idLength);
    const size_t mapAt = in.Position();
    if (h.mapType == 1 && !in.Skip(static_cast<size_t>(h.mapLength) * entryBytes)) {
        image.SetLastError(kErrCorrupted);
        return false;
    }
    const uint32_t width = h.width, height = h.height;
    const uint32_t pixelBytes = (h.depth + 7) / 8;
    if (!CanHold(in.Left(), rle, pixelBytes, static_cast<uint64_t>(width) * height)) {
        image.SetLastError(kErrCorrupted);
        return false;
    }
    if (!image.Create(width, height, kind == 2 ? 24 : 8, kTypeTga)) {
        image.SetLastError(kErrCreate);
        return false;
    }
    const bool alpha =
        (kind == 2 && h.depth == 32 && (h.descriptor & 0x0F) != 0) || (kind == 3 && h.depth == 16);
    if (kind == 1) {
        for (uint32_t i = 0; i < h.mapLength; ++i) {
            if (h.mapFirst + i >= 256) break;
            uint8_t c[4];
            UnpackColor(&bytes[mapAt + i * entryBytes], entryBytes, c);
            image.SetPaletteIndex(h.mapFirst + i, c[2], c[1], c[0]);
        }
    } else if (kind == 3) {
        image.SetGrayPalette();
    }
    if (alpha && !image.AlphaCreate()) {
        image.Destroy();
        image.SetLastError(kErrCreate);
        return false;
    }
    const bool topDown = (h.descriptor & 0x20) != 0, rightToLeft = (h.descriptor & 0x10) != 0;
    uint8_t* alphaPlane = image.AlphaGetBits();
    PixelSource source(in, rle, pixelBytes);
    std::vector<uint8_t> records(static_cast<size_t>(width) * pixelBytes);
    for (uint32_t y = 0; y < height; ++y) {
        const char* error = y % 64 == 0 && image.GetEscape()     ? kErrCancelled
                            : source.Next(records.data(), width) ? nullptr
                                                                 : kErrCorrupted;
        if (error) {
            image.Destroy();
            image.SetLastError(error);
            return false;
        }
        const uint32_t row = topDown ? height - 1 - y : y;  // bottom-up image row
        uint8_t* out = image.GetBits(row);
        uint8_t* a = alphaPlane ? alphaPlane + static_cast<size_t>(row) * width : nullptr;
        if (!rightToLeft && !a && (pixelBytes == 1 || (kind == 2 && pixelBytes == 3))) {
            std::memcpy(out, records.data(), static_cast<size_t>(width) * pixelBytes);
            continue;  // rows as they are
        }
        for (uint32_t i = 0; i < width; ++i) {
            const uint32_t x = rightToLeft ? width - 1 - i : i;
            const uint8_t* p = &records[static_cast<size_t>(i) * pixelBytes];
            if (kind == 2) {
                uint8_t c[4];
                UnpackColor(p, pixelBytes, c);
                std::memcpy(out + 3 * x, c, 3);
                if (a) a[x] = c[3];
            } else {
                out[x] = p[0];
                if (a) a[x] = p[1];
            }
        }
    }
    return true;
}

bool EncodeTga(CRaster& image, CByteStream& stream) {
    const uint32_t bpp = image.GetBpp();
    if (bpp != 8 && bpp != 24) {
        image.SetLastError(kErrDepth);
        return false;
    }
    const uint32_t width = image.GetWidth(), height = image.GetHeight();
    if (width > 0xFFFF || height > 0xFFFF) {
        image.SetLastError(kErrCreate);
        return false;
    }
    const bool mapped = bpp == 8;
    const bool alpha = !mapped && image.AlphaIsValid();
    ByteWriter out;
    out.U8(0);               // no image id
    out.U8(mapped ? 1 : 0);  // colour map type
    out.U8(mapped ? 1 : 2);  // image type
    out.U16(0);              // first entry
    out.U16(mapped ? 256 : 0);
    out.U8(mapped ? 24 : 0);  // entry size
    out.U16(0);
    out.U16(0);
    out.U16(static_cast<uint16_t>(width));
    out.U16(static_cast<uint16_t>(height));
    out.U8(mapped ? 8 : alpha ? 32 : 24);
    out.U8(alpha ? 8 : 0);  // bottom-up rows; alpha bits
    if (mapped) {
        for (uint32_t i = 0; i < 256; ++i) {
            const RGBQUAD c = image.GetPaletteColor(i);
            out.U8(c.rgbBlue);
            out.U8(c.rgbGreen);
            out.U8(c.rgbRed);
        }
    }
    const uint32_t pixelBytes = mapped ? 1 : alpha ? 4 : 3;
    out.bytes.reserve(out.bytes.size() + static_cast<size_t>(width) * height * pixelBytes);
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row = image.GetBits(y);
        if (!alpha) {
            out.Bytes(row, static_cast<size_t>(width) * pixelBytes);
            continue;
        }
        const uint8_t* a = image.AlphaGetBits() + static_cast<size_t>(y) * width;
        for (uint32_t x = 0; x < width; ++x) {
            out.Bytes(row + 3 * x, 3);
            out.U8(a[x]);
        }
    }
    if (!out.FlushTo(stream)) {
        image.SetLastError(kErrWrite);
        return false;
    }
    return true;
}
