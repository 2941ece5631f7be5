// PCX files: run-length encoded images of up to 4 planes (1-bit, 16-colour planar, 8-bit with
// the 256-colour table at the end, 24-bit as three planes, a fourth plane as alpha).

#include "image/codecs.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "image/format_bytes.h"
#include "image/raster_ops_internal.h"

namespace {

constexpr const char* kErrRead = "Can't read PCX image";
constexpr const char* kErrNotPcx = "Error: Not a PCX file";
constexpr const char* kErrEncoding = "PCX file has unknown encoding scheme";
constexpr const char* kErrPlanes = "Can't handle image with more than 4 planes";
constexpr const char* kErrCorrupted = "corrupted PCX";
constexpr const char* kErrRunPastEnd = "repeat count spans end of image";
constexpr const char* kErrColorMap = "bad color map signature";
constexpr const char* kErrHeader = "cannot write PCX header";
constexpr const char* kErrBits = "Can't handle more than 1 bit per pixel";
constexpr const char* kErrPacked = "Can't handle packed pixels with more than 1 plane.";
constexpr const char* kErrCancelled = "Cancelled";

constexpr uint32_t kHeaderSize = 128;
constexpr uint32_t kPaletteAt = 16;  // 16-colour table inside the header
constexpr uint8_t kColorMapMark = 0x0C;

struct PcxHeader {
    uint8_t manufacturer = 0, version = 0, encoding = 0, bitsPerPixel = 0;
    uint16_t xMin = 0, yMin = 0, xMax = 0, yMax = 0, hDpi = 0, vDpi = 0;
    uint8_t planes = 0;
    uint16_t bytesPerLine = 0;
};

// Expands the encoded data one scan line (all planes) at a time; a run may continue into the
// next line but not past the last one.
class LineDecoder {
  public:
    LineDecoder(ByteReader& in, bool encoded) : in(in), encoded(encoded) {}

    const char* Next(uint8_t* out, size_t length, bool lastLine) {
        if (!encoded) return in.Bytes(out, length) ? nullptr : kErrCorrupted;
        size_t done = 0;
        while (done < length) {
            if (runLeft == 0) {
                const uint8_t c = in.U8();
                if (in.Failed()) return kErrCorrupted;
                if ((c & 0xC0) == 0xC0) {
                    runLeft = c & 0x3F;
                    runValue = in.U8();
                    if (in.Failed()) return kErrCorrupted;
                    if (runLeft == 0) continue;
                } else {
                    runLeft = 1;
                    runValue = c;
                }
            }
            const size_t n = std::min<size_t>(runLeft, length - done);
            std::memset(out + done, runValue, n);
            done += n;
            runLeft -= static_cast<uint32_t>(n);
        }
        if (lastLine && runLeft) return kErrRunPastEnd;
        return nullptr;
    }

  private:
    ByteReader& in;
    bool encoded;
    uint32_t runLeft = 0;
    uint8_t runValue = 0;
};

const char* CheckLayout(const PcxHeader& h, uint32_t& depth) {
    if (h.planes > 4) return kErrPlanes;
    if (h.planes == 0) return kErrCorrupted;
    const uint32_t bits = h.bitsPerPixel;
    if (h.planes == 1) {
        if (bits != 1 && bits != 2 && bits != 4 && bits != 8) return kErrCorrupted;
        depth = bits == 1 ? 1 : bits == 8 ? 8 : 4;
        return nullptr;
    }
    if (bits == 8) {
        if (h.planes == 2) return kErrPacked;
        depth = 24;
        return nullptr;
    }
    if (bits != 1) return kErrBits;
    depth = 4;  // 2 to 4 bit planes
    return nullptr;
}

// One decoded scan line (planes one after another) into a bottom-up image row.
void StoreLine(const PcxHeader& h, const uint8_t* line, uint32_t width, uint8_t* row,
               uint8_t* alphaRow) {
    const uint32_t bpl = h.bytesPerLine;
    if (h.planes == 1) {
        if (h.bitsPerPixel == 2) {  // four pixels a byte, widened to 4 bits
            for (uint32_t x = 0; x < width; ++x) {
                const uint8_t v = (line[x >> 2] >> (6 - 2 * (x & 3))) & 3;
                row[x >> 1] |= static_cast<uint8_t>(v << ((x & 1) ? 0 : 4));
            }
        } else {
            std::memcpy(row, line, (width * h.bitsPerPixel + 7) / 8);
        }
        return;
    }
    if (h.bitsPerPixel == 8) {
        for (uint32_t x = 0; x < width; ++x) {
            row[3 * x] = line[2 * bpl + x];
            row[3 * x + 1] = line[bpl + x];
            row[3 * x + 2] = line[x];
            if (alphaRow) alphaRow[x] = line[3 * bpl + x];
        }
        return;
    }
    for (uint32_t x = 0; x < width; ++x) {  // bit planes: plane p gives bit p of the index
        uint8_t v = 0;
        for (uint32_t p = 0; p < h.planes; ++p)
            v |= static_cast<uint8_t>(((line[p * bpl + (x >> 3)] >> (7 - (x & 7))) & 1) << p);
        row[x >> 1] |= static_cast<uint8_t>(v << ((x & 1) ? 0 : 4));
    }
}

void SetPalette(uint32_t depth, const std::vector<uint8_t>& bytes, CRaster& image) {
    if (depth == 1) {
        // Most writers leave the header table empty for black and white images.
        const uint8_t* p = &bytes[kPaletteAt];
        const bool empty = std::all_of(p, p + 6, [](uint8_t b) { return b == 0; });
        image.SetPaletteIndex(0, empty ? 0 : p[0], empty ? 0 : p[1], empty ? 0 : p[2]);
        image.SetPaletteIndex(1, empty ? 255 : p[3], empty ? 255 : p[4], empty ? 255 : p[5]);
    } else if (depth == 4) {
        for (uint32_t i = 0; i < 16; ++i) {
            const uint8_t* p = &bytes[kPaletteAt + 3 * i];
            image.SetPaletteIndex(i, p[0], p[1], p[2]);
        }
    } else if (depth == 8) {
        const uint8_t* p = &bytes[bytes.size() - 768];
        for (uint32_t i = 0; i < 256; ++i, p += 3) image.SetPaletteIndex(i, p[0], p[1], p[2]);
    }
}

// --- writing ---

// One plane line run-length encoded: runs of up to 63, bytes of 0xC0 and above always as runs.
// Writes at most 2 x length bytes at `out` and returns the end.
uint8_t* EncodeLine(const uint8_t* in, size_t length, uint8_t* out) {
    size_t i = 0;
    while (i < length) {
        const uint8_t v = in[i];
        size_t run = 1;
        while (i + run < length && in[i + run] == v && run < 63) ++run;
        if (run > 1 || v >= 0xC0) *out++ = static_cast<uint8_t>(0xC0 | run);
        *out++ = v;
        i += run;
    }
    return out;
}

// The planes of one bottom-up image row, each padded to `bpl` bytes.
void SplitRow(const CRaster& image, uint32_t y, uint32_t bpl, std::vector<uint8_t>& line) {
    std::fill(line.begin(), line.end(), 0);
    const uint32_t width = image.GetWidth();
    const uint8_t* row = image.GetBits(y);
    switch (image.GetBpp()) {
        case 1:
        case 8:
            std::memcpy(line.data(), row, (width * image.GetBpp() + 7) / 8);
            break;
        case 4:
            for (uint32_t x = 0; x < width; ++x) {
                const uint8_t v = (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F;
                for (uint32_t p = 0; p < 4; ++p)
                    if ((v >> p) & 1)
                        line[p * bpl + (x >> 3)] |= static_cast<uint8_t>(0x80 >> (x & 7));
            }
            break;
        default:
            for (uint32_t x = 0; x < width; ++x) {
                line[x] = row[3 * x + 2];
                line[bpl + x] = row[3 * x + 1];
                line[2 * bpl + x] = row[3 * x];
            }
    }
}

}  // namespace

bool DecodePcx(CRaster& image, CByteStream& stream) {
    const std::vector<uint8_t> bytes = ReadRest(stream);
    if (bytes.size() < kHeaderSize) {
        image.SetLastError(kErrRead);
        return false;
    }
    ByteReader in(bytes);
    PcxHeader h;
    h.manufacturer = in.U8();
    h.version = in.U8();
    h.encoding = in.U8();
    h.bitsPerPixel = in.U8();
    h.xMin = in.U16();
    h.yMin = in.U16();
    h.xMax = in.U16();
    h.yMax = in.U16();
    h.hDpi = in.U16();
    h.vDpi = in.U16();
    in.Seek(65);
    h.planes = in.U8();
    h.bytesPerLine = in.U16();
    if (h.manufacturer != 10) {
        image.SetLastError(kErrNotPcx);
        return false;
    }
    if (h.encoding > 1) {
        image.SetLastError(kErrEncoding);
        return false;
    }
    uint32_t depth = 0;
    if (const char* error = CheckLayout(h, depth)) {
        image.SetLastError(error);
        return false;
    }
    if (h.xMax < h.xMin || h.yMax < h.yMin) {
        image.SetLastError(kErrCorrupted);
        return false;
    }
    const uint32_t width = h.xMax - h.xMin + 1u, height = h.yMax - h.yMin + 1u;
    const size_t lineBytes = static_cast<size_t>(h.planes) * h.bytesPerLine;
    if (h.bytesPerLine < (width * h.bitsPerPixel + 7) / 8) {
        image.SetLastError(kErrCorrupted);
        return false;
    }
    // The 256-colour table sits in the last 769 bytes, after the pixel data.
    size_t dataEnd = bytes.size();
    if (depth == 8) {
        if (bytes.size() < kHeaderSize + 769 || bytes[bytes.size() - 769] != kColorMapMark) {
            image.SetLastError(kErrColorMap);
            return false;
        }
        dataEnd -= 769;
    }
    // A run gives at most 63 bytes for 2 bytes of data: refuse sizes the data cannot fill before
    // allocating anything.
    const uint64_t needed = static_cast<uint64_t>(lineBytes) * height;
    const uint64_t dataBytes = dataEnd - kHeaderSize;
    if (needed > (h.encoding ? dataBytes * 63 : dataBytes)) {
        image.SetLastError(kErrCorrupted);
        return false;
    }
    if (!image.Create(width, height, depth, kTypePcx) ||
        (h.planes == 4 && depth == 24 && !image.AlphaCreate())) {
        image.Destroy();
        image.SetLastError(kErrRead);
        return false;
    }
    SetPalette(depth, bytes, image);
    image.SetXDPI(h.hDpi);
    image.SetYDPI(h.vDpi);
    ByteReader data(bytes.data(), dataEnd);
    data.Seek(kHeaderSize);
    LineDecoder decoder(data, h.encoding == 1);
    std::vector<uint8_t> line(lineBytes);
    for (uint32_t y = 0; y < height; ++y) {
        const char* error = y % 64 == 0 && image.GetEscape()
                                ? kErrCancelled
                                : decoder.Next(line.data(), line.size(), y + 1 == height);
        if (error) {
            image.Destroy();
            image.SetLastError(error);
            return false;
        }
        const uint32_t row = height - 1 - y;
        uint8_t* alphaRow = image.AlphaIsValid()
                                ? image.AlphaGetBits() + static_cast<size_t>(row) * width
                                : nullptr;
        StoreLine(h, line.data(), width, image.GetBits(row), alphaRow);
    }
    return true;
}

bool EncodePcx(CRaster& image, CByteStream& stream) {
    const uint32_t width = image.GetWidth(), height = image.GetHeight();
    const uint32_t bpp = image.GetBpp();
    if (width > 0x10000 || height > 0x10000) {
        image.SetLastError(kErrHeader);
        return false;
    }
    const uint8_t bitsPerPixel = bpp == 4 ? 1 : bpp == 24 ? 8 : static_cast<uint8_t>(bpp);
    const uint8_t planes = bpp == 4 ? 4 : bpp == 24 ? 3 : 1;
    uint32_t bpl = (width * bitsPerPixel + 7) / 8;
    bpl += bpl & 1;  // lines are an even number of bytes
    if (bpl > 0xFFFF) {
        image.SetLastError(kErrHeader);
        return false;
    }

    ByteWriter out;
    out.U8(10);
    out.U8(5);  // version 3.0 with a 256-colour table where needed
    out.U8(1);  // run-length encoded
    out.U8(bitsPerPixel);
    out.U16(0);
    out.U16(0);
    out.U16(static_cast<uint16_t>(width - 1));
    out.U16(static_cast<uint16_t>(height - 1));
    out.U16(static_cast<uint16_t>(std::clamp(image.GetXDPI(), 0, 0xFFFF)));
    out.U16(static_cast<uint16_t>(std::clamp(image.GetYDPI(), 0, 0xFFFF)));
    uint8_t table[48] = {};
    for (uint32_t i = 0; i < std::min<uint32_t>(16, image.GetNumColors()); ++i) {
        const RGBQUAD c = image.GetPaletteColor(i);
        table[3 * i] = c.rgbRed;
        table[3 * i + 1] = c.rgbGreen;
        table[3 * i + 2] = c.rgbBlue;
    }
    out.Bytes(table, sizeof table);
    out.U8(0);
    out.U8(planes);
    out.U16(static_cast<uint16_t>(bpl));
    out.U16(bpp == 8 && image.IsGrayScale() ? 2 : 1);  // palette interpretation
    out.bytes.resize(kHeaderSize, 0);

    // Rows are coded independently, so bands of rows are coded on every core, then written in
    // order after the header.
    struct Band {
        std::unique_ptr<uint8_t[]> bytes;  // room for the worst case, filled only as far as used
        size_t size = 0;
    };
    const size_t lineBytes = static_cast<size_t>(planes) * bpl;
    const uint32_t bandRows = std::max<uint32_t>(1, static_cast<uint32_t>((1u << 20) / lineBytes));
    const uint32_t bands = (height + bandRows - 1) / bandRows;
    std::vector<Band> coded(bands);
    rasterops::ParallelRows(
        bands, uint64_t{bandRows} * lineBytes, [&](uint32_t begin, uint32_t end) {
            std::vector<uint8_t> line(lineBytes);
            for (uint32_t b = begin; b < end; ++b) {
                const uint32_t first = b * bandRows, last = std::min(height, first + bandRows);
                Band& band = coded[b];
                band.bytes.reset(new (std::nothrow) uint8_t[2 * lineBytes * (last - first)]);
                if (!band.bytes) continue;
                uint8_t* out = band.bytes.get();
                for (uint32_t i = first; i < last; ++i) {  // from the top row down
                    SplitRow(image, height - 1 - i, bpl, line);
                    for (uint32_t p = 0; p < planes; ++p)
                        out = EncodeLine(&line[p * bpl], bpl, out);
                }
                band.size = static_cast<size_t>(out - band.bytes.get());
            }
        });
    bool encodedAll = true;
    for (const Band& band : coded) encodedAll = encodedAll && band.bytes;
    if (!encodedAll) {
        image.SetLastError("Can't allocate memory");
        return false;
    }
    ByteWriter chunk;
    if (bpp == 8) {
        chunk.U8(kColorMapMark);
        for (uint32_t i = 0; i < 256; ++i) {
            const RGBQUAD c = image.GetPaletteColor(i);
            chunk.U8(c.rgbRed);
            chunk.U8(c.rgbGreen);
            chunk.U8(c.rgbBlue);
        }
    }
    if (!out.FlushTo(stream)) {
        image.SetLastError(kErrHeader);
        return false;
    }
    bool written = true;
    for (const Band& band : coded)
        written = written && stream.Write(band.bytes.get(), 1, band.size) == band.size;
    if (!written || !chunk.FlushTo(stream)) {
        image.SetLastError("Write Error in PCX file");
        return false;
    }
    return true;
}
