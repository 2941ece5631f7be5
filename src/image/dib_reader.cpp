#include "image/dib_reader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "image/bitfield_row.h"

namespace {

constexpr const char* kErrInfo = "Error reading BMP info";
constexpr const char* kErrMemory = "Can't allocate memory";
constexpr const char* kErrNotSupported = "compression type not supported";
constexpr const char* kErrUnknown = "unknown compression";
constexpr const char* kErrCancelled = "Cancelled";
constexpr const char* kErrCorrupted = "corrupted BMP";

constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kLargestHeaderSize = 124;  // version 5 header
constexpr uint32_t BI_JPEG = 4;
constexpr uint32_t BI_PNG = 5;
constexpr uint32_t BI_ALPHABITFIELDS = 6;
constexpr uint64_t kRlePixelsPerByte = 4096;

struct DibLayout {
    BITMAPINFOHEADER h;
    bool core = false;
    bool topDown = false;
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t masks[3] = {0, 0, 0};  // red, green, blue
    uint32_t colors = 0;            // colour-table entries stored in the file
};

bool ReadBytes(CByteStream& stream, void* buffer, size_t size) {
    return size == 0 || stream.Read(buffer, size, 1) == 1;
}

// Header, masks and the checks that need nothing else; the stream ends after the masks.
const char* ReadLayout(CByteStream& stream, DibLayout& d) {
    uint8_t raw[kLargestHeaderSize] = {};
    if (!ReadBytes(stream, raw, 4)) return kErrInfo;
    const uint32_t size = le::Load32(raw);
    if (size == kCoreHeaderSize) {
        if (!ReadBytes(stream, raw + 4, 8)) return kErrInfo;
        d.core = true;
        d.h.biSize = size;
        d.h.biWidth = le::Load16(raw + 4);
        d.h.biHeight = le::Load16(raw + 6);
        d.h.biPlanes = le::Load16(raw + 8);
        d.h.biBitCount = le::Load16(raw + 10);
    } else {
        if (size < kInfoHeaderSize || size > kLargestHeaderSize) return kErrInfo;
        if (!ReadBytes(stream, raw + 4, size - 4)) return kErrInfo;
        d.h = LoadInfoHeader(raw);
    }
    const uint32_t bpp = d.h.biBitCount;
    const uint32_t compression = d.h.biCompression;
    if (d.h.biWidth <= 0 || d.h.biHeight == 0 || d.h.biHeight == INT32_MIN) return kErrInfo;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return kErrInfo;
    d.width = static_cast<uint32_t>(d.h.biWidth);
    d.topDown = d.h.biHeight < 0;
    d.height = static_cast<uint32_t>(d.topDown ? -d.h.biHeight : d.h.biHeight);

    if (compression == BI_JPEG || compression == BI_PNG) return kErrNotSupported;
    if (compression > BI_ALPHABITFIELDS) return kErrUnknown;
    const bool rle = compression == BI_RLE8 || compression == BI_RLE4;
    const bool fields = compression == BI_BITFIELDS || compression == BI_ALPHABITFIELDS;
    if ((compression == BI_RLE8 && bpp != 8) || (compression == BI_RLE4 && bpp != 4) ||
        (fields && bpp != 16 && bpp != 32))
        return kErrNotSupported;
    if (rle && d.topDown) return kErrInfo;

    if (fields) {
        // Masks follow a 40-byte header; larger headers hold them at the same place.
        if (size == kInfoHeaderSize) {
            const size_t count = compression == BI_ALPHABITFIELDS ? 16 : 12;
            if (!ReadBytes(stream, raw + kInfoHeaderSize, count)) return kErrInfo;
        }
        for (int i = 0; i < 3; ++i) d.masks[i] = le::Load32(raw + kInfoHeaderSize + 4 * i);
    } else if (bpp == 16) {
        d.masks[0] = 0x7C00;  // 5-5-5
        d.masks[1] = 0x03E0;
        d.masks[2] = 0x001F;
    }
    if (bpp <= 8) {
        const uint32_t most = 1u << bpp;
        d.colors = d.core || d.h.biClrUsed == 0 ? most : std::min(d.h.biClrUsed, most);
    }
    return nullptr;
}

bool ReadPalette(CRaster& image, CByteStream& stream, const DibLayout& d, int64_t room) {
    const size_t entrySize = d.core ? 3 : 4;
    uint32_t count = d.colors;
    if (room >= 0) count = static_cast<uint32_t>(std::min<int64_t>(count, room / entrySize));
    std::vector<uint8_t> raw(count * entrySize);
    if (!ReadBytes(stream, raw.data(), raw.size())) return false;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* p = raw.data() + i * entrySize;
        image.SetPaletteIndex(i, p[2], p[1], p[0], d.core ? 0 : p[3]);
    }
    return true;
}

// Rows read at once between two looks at the escape flag.
constexpr uint32_t kRowsPerChunk = 64;

const char* ReadRows(CRaster& image, CByteStream& stream, const DibLayout& d) {
    const uint32_t bpp = d.h.biBitCount;
    const uint32_t height = d.height;
    if (bpp <= 8 || bpp == 24) {
        const size_t rowBytes = image.GetEffWidth();
        for (uint32_t y = 0; y < height; y += kRowsPerChunk) {
            if (image.GetEscape()) return kErrCancelled;
            const uint32_t rows = std::min(kRowsPerChunk, height - y);
            if (!d.topDown) {
                if (!ReadBytes(stream, image.GetBits(y), rowBytes * rows)) return kErrCorrupted;
                continue;
            }
            for (uint32_t i = 0; i < rows; ++i) {
                if (!ReadBytes(stream, image.GetBits(height - 1 - (y + i)), rowBytes))
                    return kErrCorrupted;
            }
        }
        return nullptr;
    }
    // 16 and 32 bits: one source row at a time into the 24-bit rows.
    std::vector<uint8_t> row(BitfieldRowBytes(d.width, static_cast<int>(bpp)));
    const bool plain32 =
        bpp == 32 && (d.h.biCompression == BI_RGB ||
                      (d.masks[0] == 0xFF0000 && d.masks[1] == 0xFF00 && d.masks[2] == 0xFF));
    for (uint32_t i = 0; i < height; ++i) {
        if (i % kRowsPerChunk == 0 && image.GetEscape()) return kErrCancelled;
        if (!ReadBytes(stream, row.data(), row.size())) return kErrCorrupted;
        uint8_t* out = image.GetBits(d.topDown ? height - 1 - i : i);
        if (bpp == 16 || plain32) {
            Bitfield2RGBRow(row.data(), out, d.width, d.masks[0], d.masks[1], d.masks[2],
                            static_cast<int>(bpp));
            continue;
        }
        // 32 bits with other masks: each channel's top 8 bits.
        for (uint32_t x = 0; x < d.width; ++x) {
            const uint32_t v = le::Load32(row.data() + 4 * x);
            for (int c = 0; c < 3; ++c) {
                const uint32_t mask = d.masks[c];
                const int top = mask ? 31 - std::countl_zero(mask) : 0;
                out[3 * x + 2 - c] = ShiftTo8(v & mask, top - 7);
            }
        }
    }
    return nullptr;
}

// The rest of the stream (the compressed rows), at most `limit` bytes.
std::vector<uint8_t> ReadRest(CByteStream& stream, uint64_t limit) {
    std::vector<uint8_t> data;
    uint8_t chunk[65536];
    while (data.size() < limit) {
        const size_t got = stream.Read(chunk, 1, sizeof chunk);
        if (got == 0) break;
        data.insert(data.end(), chunk, chunk + std::min<uint64_t>(got, limit - data.size()));
    }
    return data;
}

// RLE8 and RLE4: runs, end of line, end of bitmap, delta moves and absolute runs; pixels that
// fall outside the image are dropped. 8-bit runs go straight into the rows.
const char* ExpandRle(CRaster& image, const std::vector<uint8_t>& data, bool rle4) {
    const int64_t width = image.GetWidth();
    const int64_t height = image.GetHeight();
    const bool writable = image.GetNumColors() != 0;
    int64_t x = 0;
    int64_t y = 0;
    size_t p = 0;
    auto put = [&](uint8_t index) {
        if (x < width && y < height)
            image.SetPixelIndex(static_cast<int32_t>(x), static_cast<int32_t>(y), index);
        ++x;
    };
    // The part [x, x + count) of the current row that lies inside the image, or null.
    auto span = [&](int64_t count, int64_t& inside) -> uint8_t* {
        inside = std::min(count, width - x);
        if (!writable || y >= height || inside <= 0) return nullptr;
        return image.GetBits(static_cast<uint32_t>(y)) + x;
    };
    while (y < height) {
        if (p + 2 > data.size()) return kErrCorrupted;
        const uint8_t count = data[p];
        const uint8_t value = data[p + 1];
        p += 2;
        if (count > 0) {
            if (!rle4) {
                int64_t inside = 0;
                if (uint8_t* out = span(count, inside)) std::memset(out, value, inside);
                x = std::max(x, std::min<int64_t>(x + count, width));
                continue;
            }
            for (uint32_t i = 0; i < count && x < width; ++i)
                put((i & 1) ? (value & 0x0F) : (value >> 4));
            continue;
        }
        if (value == 0) {  // end of line
            x = 0;
            ++y;
            if (image.GetEscape()) return kErrCancelled;
        } else if (value == 1) {  // end of bitmap
            break;
        } else if (value == 2) {  // delta
            if (p + 2 > data.size()) return kErrCorrupted;
            x += data[p];
            y += data[p + 1];
            p += 2;
        } else {  // absolute run of `value` pixels, padded to a 16-bit boundary
            const size_t bytes = rle4 ? (value + 1u) / 2 : value;
            if (p + bytes > data.size()) return kErrCorrupted;
            if (!rle4) {
                int64_t inside = 0;
                if (uint8_t* out = span(value, inside)) std::memcpy(out, &data[p], inside);
                x += value;
            } else {
                for (uint32_t i = 0; i < value; ++i) {
                    const uint8_t b = data[p + i / 2];
                    put((i & 1) ? (b & 0x0F) : (b >> 4));
                }
            }
            p += bytes + (bytes & 1);
        }
    }
    return nullptr;
}

int32_t PelsPerMeterToDpi(int32_t ppm) {
    return static_cast<int32_t>(std::floor(ppm * 0.0254 + 0.5));
}

}  // namespace

bool ReadDib(CRaster& image, CByteStream& stream, int64_t bitsOffset, uint32_t type) {
    DibLayout d;
    if (const char* error = ReadLayout(stream, d)) {
        image.SetLastError(error);
        return false;
    }
    const int64_t paletteStart = stream.Tell();
    const int64_t streamSize = stream.Size();
    if (bitsOffset >= 0 && bitsOffset < paletteStart) bitsOffset = -1;
    const int64_t room = bitsOffset >= 0 ? bitsOffset - paletteStart : -1;
    const bool rle = d.h.biCompression == BI_RLE8 || d.h.biCompression == BI_RLE4;

    // Refuse before allocating when the file cannot hold the rows it announces. Run-length
    // rows are bounded by what their codes can cover: a run paints at most 255 pixels for two
    // bytes; moves and an early end leave pixels unpainted, which no real bitmap does for more
    // than a few thousand pixels a byte.
    if (streamSize >= 0) {
        const uint64_t sourceRow = ((uint64_t{d.width} * d.h.biBitCount + 31) / 32) * 4;
        const int64_t start =
            bitsOffset >= 0 ? bitsOffset : paletteStart + d.colors * (d.core ? 3 : 4);
        const uint64_t left = static_cast<uint64_t>(std::max<int64_t>(streamSize - start, 0));
        if (rle ? uint64_t{d.width} * d.height > (left + 2) * kRlePixelsPerByte
                : left < sourceRow * d.height) {
            image.SetLastError(kErrCorrupted);
            return false;
        }
    }
    if (!image.Create(d.width, d.height, d.h.biBitCount, type)) {
        image.SetLastError(kErrMemory);
        return false;
    }
    if (d.h.biXPelsPerMeter > 0) image.SetXDPI(PelsPerMeterToDpi(d.h.biXPelsPerMeter));
    if (d.h.biYPelsPerMeter > 0) image.SetYDPI(PelsPerMeterToDpi(d.h.biYPelsPerMeter));
    if (d.h.biBitCount <= 8 && !ReadPalette(image, stream, d, room)) {
        image.SetLastError(kErrInfo);
        image.Destroy();
        return false;
    }
    if (bitsOffset >= 0 && !stream.Seek(bitsOffset, SEEK_SET)) {
        image.SetLastError(kErrCorrupted);
        image.Destroy();
        return false;
    }
    const char* error =
        rle ? ExpandRle(image, ReadRest(stream, kMaxRasterBlock), d.h.biCompression == BI_RLE4)
            : ReadRows(image, stream, d);
    if (error) {
        image.SetLastError(error);
        image.Destroy();
        return false;
    }
    return true;
}
