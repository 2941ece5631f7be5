// Icon files: any icon of a file (bitmap entries of 1, 4, 8, 24 or 32 bits with their AND masks,
// or PNG entries), and one icon written per file.

#include "image/codecs.h"

#include <cstring>
#include <vector>

#include "image/format_bytes.h"
#include "image/memory_stream.h"

namespace {

constexpr const char* kErrNotIcon = "Not an ICO";
constexpr const char* kErrCorrupted = "corrupted ICO";
constexpr const char* kErrNoIcon = "Error: icon not present in ICO file";
constexpr const char* kErrMemory = "Can't allocate memory";
constexpr const char* kErrCancelled = "Cancelled";
constexpr const char* kErrCantSave = "Can't save this image as icon";
constexpr const char* kErrWrite = "Write Error in ICO file";

constexpr uint32_t kEntrySize = 16;
constexpr uint32_t kDirectorySize = 6;
constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

uint32_t RowBytes(uint32_t width, uint32_t bpp) {
    return static_cast<uint32_t>(((static_cast<uint64_t>(width) * bpp + 31) / 32) * 4);
}

bool MaskBit(const uint8_t* maskRow, uint32_t x) {
    return (maskRow[x >> 3] >> (7 - (x & 7))) & 1;
}

// A PNG entry, read by the PNG codec.
const char* DecodePngEntry(const uint8_t* data, size_t size, CRaster& image) {
    std::vector<uint8_t> copy(data, data + size);
    CMemoryStream stream(copy.data(), copy.size());
    if (!DecodePng(image, stream)) return image.GetLastError()[0] ? nullptr : kErrCorrupted;
    image.SetType(kTypeIco);
    return nullptr;
}

// A bitmap entry: header with the doubled height, colour table, colour rows, AND mask.
const char* DecodeBitmapEntry(const uint8_t* data, size_t size, CRaster& image) {
    ByteReader in(data, size);
    const uint32_t headerSize = in.U32();
    const int32_t width = in.S32();
    const int32_t doubled = in.S32();
    in.U16();  // planes
    const uint32_t bpp = in.U16();
    const uint32_t compression = in.U32();
    in.Skip(12);
    uint32_t colors = in.U32();
    if (in.Failed() || headerSize < kInfoHeaderSize || headerSize > size) return kErrCorrupted;
    if (width <= 0 || doubled <= 1 || compression != BI_RGB) return kErrCorrupted;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) return kErrCorrupted;
    const uint32_t w = static_cast<uint32_t>(width), h = static_cast<uint32_t>(doubled) / 2;
    if (bpp <= 8 && (colors == 0 || colors > (1u << bpp))) colors = 1u << bpp;
    if (bpp > 8) colors = 0;
    in.Seek(headerSize);
    const size_t tableAt = in.Position();
    if (!in.Skip(static_cast<size_t>(colors) * 4)) return kErrCorrupted;
    const uint32_t colorStride = RowBytes(w, bpp), maskStride = RowBytes(w, 1);
    const uint64_t colorBytes = static_cast<uint64_t>(colorStride) * h;
    if (colorBytes > in.Left()) return kErrCorrupted;
    const uint8_t* pixels = in.Here();
    // Old icons sometimes stop before their mask: then nothing is transparent.
    const uint64_t maskBytes = static_cast<uint64_t>(maskStride) * h;
    const uint8_t* mask = in.Left() - colorBytes >= maskBytes ? pixels + colorBytes : nullptr;

    if (!image.Create(w, h, bpp > 8 ? 24 : bpp, kTypeIco)) return kErrMemory;
    for (uint32_t i = 0; i < colors; ++i) {
        const uint8_t* p = data + tableAt + 4 * i;
        image.SetPaletteIndex(i, p[2], p[1], p[0]);
    }
    bool anyAlpha = false, anyMasked = false;
    std::vector<uint8_t> alpha(static_cast<size_t>(w) * h, 255);
    for (uint32_t y = 0; y < h; ++y) {
        if (y % 64 == 0 && image.GetEscape()) return kErrCancelled;
        const uint8_t* in32 = pixels + static_cast<size_t>(y) * colorStride;
        uint8_t* row = image.GetBits(y);
        uint8_t* a = &alpha[static_cast<size_t>(y) * w];
        if (bpp == 32) {
            for (uint32_t x = 0; x < w; ++x) {
                std::memcpy(row + 3 * x, in32 + 4 * x, 3);
                a[x] = in32[4 * x + 3];
                anyAlpha |= a[x] != 0;
            }
        } else {
            std::memcpy(row, in32, std::min(colorStride, image.GetEffWidth()));
        }
        if (mask) {
            const uint8_t* m = mask + static_cast<size_t>(y) * maskStride;
            for (uint32_t x = 0; x < w; ++x) {
                if (MaskBit(m, x)) {
                    anyMasked = true;
                    if (bpp != 32) a[x] = 0;
                }
            }
        }
    }
    if (bpp == 32 && !anyAlpha) {
        // An all-zero alpha channel means the icon only has its mask.
        std::fill(alpha.begin(), alpha.end(), 255);
        anyAlpha = false;
        if (mask) {
            for (uint32_t y = 0; y < h; ++y)
                for (uint32_t x = 0; x < w; ++x)
                    if (MaskBit(mask + static_cast<size_t>(y) * maskStride, x))
                        alpha[static_cast<size_t>(y) * w + x] = 0;
        }
    }
    if ((bpp == 32 && (anyAlpha || anyMasked)) || (bpp != 32 && anyMasked)) {
        if (!image.AlphaCreate()) return kErrMemory;
        std::memcpy(image.AlphaGetBits(), alpha.data(), alpha.size());
    }
    return nullptr;
}

// The mask bit of one pixel: transparent by the alpha plane, the alpha palette or the colour key.
bool IsTransparent(const CRaster& image, int32_t x, int32_t y) {
    if (image.AlphaIsValid() && image.AlphaGet(x, y) == 0) return true;
    if (image.GetBpp() <= 8) {
        const uint8_t index = image.GetPixelIndex(x, y);
        if (image.IsAlphaPaletteEnabled() && image.GetPaletteColor(index).rgbReserved == 0)
            return true;
        return image.GetTransIndex() >= 0 && index == image.GetTransIndex();
    }
    if (image.GetTransIndex() < 0) return false;
    const RGBQUAD c = image.GetPixelColor(x, y), key = image.GetTransColor();
    return c.rgbRed == key.rgbRed && c.rgbGreen == key.rgbGreen && c.rgbBlue == key.rgbBlue;
}

}  // namespace

bool DecodeIco(CRaster& image, CByteStream& stream) {
    const std::vector<uint8_t> bytes = ReadRest(stream);
    ByteReader in(bytes);
    const uint16_t reserved = in.U16(), type = in.U16(), count = in.U16();
    if (in.Failed() || reserved != 0 || (type != 1 && type != 2) || count == 0) {
        image.SetLastError(kErrNotIcon);
        return false;
    }
    image.SetFrameCount(count);
    const int32_t frame = image.GetFrame();
    if (frame < 0 || frame >= count) {
        image.SetLastError(kErrNoIcon);
        return false;
    }
    in.Seek(kDirectorySize + static_cast<size_t>(frame) * kEntrySize + 8);
    const uint32_t size = in.U32(), offset = in.U32();
    if (in.Failed() || offset > bytes.size() || size > bytes.size() - offset || size < 8) {
        image.SetLastError(kErrCorrupted);
        return false;
    }
    const uint8_t* data = bytes.data() + offset;
    const bool png = std::memcmp(data, kPngSignature, sizeof kPngSignature) == 0;
    const char* error =
        png ? DecodePngEntry(data, size, image) : DecodeBitmapEntry(data, size, image);
    if (error || !image.IsValid()) {
        image.Destroy();
        if (error) image.SetLastError(error);
        return false;
    }
    image.SetFrameCount(count);
    return true;
}

bool EncodeIco(CRaster& image, CByteStream& stream) {
    const uint32_t width = image.GetWidth(), height = image.GetHeight();
    if (width >= 256 || height >= 256 || width == 0 || height == 0) {
        image.SetLastError(kErrCantSave);
        return false;
    }
    const bool alpha32 = image.GetBpp() == 24 && image.AlphaIsValid();
    const uint32_t bpp = alpha32 ? 32 : image.GetBpp();
    const uint32_t colorStride = RowBytes(width, bpp), maskStride = RowBytes(width, 1);
    const uint32_t palette = image.GetPaletteSize();
    const uint32_t dataSize = kInfoHeaderSize + palette + (colorStride + maskStride) * height;

    ByteWriter out;
    out.U16(0);
    out.U16(1);
    out.U16(1);
    out.U8(static_cast<uint8_t>(width));
    out.U8(static_cast<uint8_t>(height));
    out.U8(static_cast<uint8_t>(image.GetNumColors()));
    out.U8(0);
    out.U16(0);  // planes
    out.U16(static_cast<uint16_t>(bpp));
    out.U32(dataSize);
    out.U32(kDirectorySize + kEntrySize);

    BITMAPINFOHEADER h;
    h.biSize = kInfoHeaderSize;
    h.biWidth = static_cast<int32_t>(width);
    h.biHeight = static_cast<int32_t>(height * 2);
    h.biPlanes = 1;
    h.biBitCount = static_cast<uint16_t>(bpp);
    h.biSizeImage = (colorStride + maskStride) * height;
    h.biClrUsed = image.GetNumColors();
    uint8_t header[kInfoHeaderSize];
    StoreInfoHeader(header, h);
    out.Bytes(header, sizeof header);
    if (palette) out.Bytes(image.GetPalette(), palette);
    if (alpha32) {
        std::vector<uint8_t> row(colorStride, 0);
        for (uint32_t y = 0; y < height; ++y) {
            const uint8_t* in = image.GetBits(y);
            for (uint32_t x = 0; x < width; ++x) {
                std::memcpy(&row[4 * x], in + 3 * x, 3);
                row[4 * x + 3] = image.AlphaGet(static_cast<int32_t>(x), static_cast<int32_t>(y));
            }
            out.Bytes(row.data(), row.size());
        }
    } else {
        out.Bytes(image.GetBits(), static_cast<size_t>(image.GetEffWidth()) * height);
    }
    std::vector<uint8_t> mask(maskStride, 0);
    for (uint32_t y = 0; y < height; ++y) {
        std::fill(mask.begin(), mask.end(), 0);
        for (uint32_t x = 0; x < width; ++x)
            if (IsTransparent(image, static_cast<int32_t>(x), static_cast<int32_t>(y)))
                mask[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
        out.Bytes(mask.data(), mask.size());
    }
    if (!out.FlushTo(stream)) {
        image.SetLastError(kErrWrite);
        return false;
    }
    return true;
}
