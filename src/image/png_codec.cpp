// PNG files through libpng with read, write and flush callbacks on the image streams.
// Palette, grey and colour images; an alpha channel goes into the alpha plane and back out.

#include "image/codecs.h"
#include "image/dib_types.h"
#include "image/png_idat.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <csetjmp>
#include <cstring>
#include <memory>
#include <vector>

#include <libdeflate.h>
#include <png.h>

namespace {

constexpr uint32_t kRowsBetweenEscapeChecks = 16;

class ImageDataSource;

struct PngContext {
    CByteStream* stream = nullptr;
    ImageDataSource* source = nullptr;  // reading
    char message[256] = {};
};

// The file as libpng reads it, with the image data inflated ahead by libdeflate (several times as
// fast as zlib's inflate, and on two cores where the data has a flush point to cut at): the IDAT
// chunks are read whole, their checksums checked, and libpng is handed the same pixels as stored
// (uncompressed) deflate blocks, which its inflate only copies. libpng still reads every chunk,
// header and row, and undoes the filters. Image data that libdeflate does not take (damaged, longer
// than the picture) goes to libpng as it stands, so that libpng decides about it as always. Every
// chunk's CRC that matters is checked here: the critical chunks' (libpng is told to skip those),
// the others by libpng.
class ImageDataSource {
  public:
    ImageDataSource(CByteStream& stream, png_structp png) : stream(stream), png(png) {}
    ImageDataSource(const ImageDataSource&) = delete;
    ImageDataSource& operator=(const ImageDataSource&) = delete;

    // The next `size` bytes for libpng; false with the reason in `error`.
    bool Read(uint8_t* out, size_t size) {
        while (size > 0) {
            // What is ready: the pending bytes, then the run of inflated data, then the tail.
            const uint8_t* from = nullptr;
            size_t available = 0;
            if (position < pending.size()) {
                from = pending.data() + position;
                available = pending.size() - position;
            } else if (position < pending.size() + directSize) {
                from = direct + (position - pending.size());
                available = pending.size() + directSize - position;
            } else if (position < pending.size() + directSize + tail.size()) {
                from = tail.data() + (position - pending.size() - directSize);
                available = pending.size() + directSize + tail.size() - position;
            } else {
                if (!Refill()) return false;
                continue;
            }
            const size_t n = std::min(size, available);
            std::memcpy(out, from, n);
            position += n;
            out += n;
            size -= n;
        }
        return true;
    }

    // False when the image data read cannot fill `filtered` bytes of filtered rows: deflate
    // makes at most 1032 bytes of one, so a picture needing more than that is refused before it is
    // allocated.
    bool CanFill(uint64_t filtered) const {
        if (!imageRead || !sized) return true;
        return filtered <= imageBytes * kMostInflation + 1024;
    }

    const char* error = "Read Error";

  private:
    static constexpr uint64_t kMostInflation = 1032;
    static constexpr size_t kPassStep = 64 * 1024;
    static constexpr size_t kStoredBlock = 65535;
    // Above this, the image data is left to libpng's own inflate, row by row, to spare memory.
    static constexpr uint64_t kMostInflated = uint64_t{1} << 30;

    bool Take(uint8_t* out, size_t size) { return stream.Read(out, 1, size) == size; }

    // Whether the stream still holds `size` bytes; a stream of unknown length may.
    bool Holds(uint64_t size) {
        const int64_t here = stream.Tell(), end = stream.Size();
        if (here < 0 || end < 0) return true;
        sized = true;
        return end >= here && uint64_t(end - here) >= size;
    }

    bool Refill() {
        pending.clear();
        tail.clear();
        direct = nullptr;
        directSize = 0;
        position = 0;
        if (!serving && (!inflated.empty() || !compressed.empty())) {  // all handed on
            inflated.clear();
            std::vector<uint8_t>().swap(compressed);
        }
        if (!started) {  // the signature
            started = true;
            pending.resize(8);
            return Take(pending.data(), 8);
        }
        if (passRemaining > 0) {  // the rest of a chunk that goes through as it is
            pending.resize(std::min<uint64_t>(passRemaining, kPassStep));
            passRemaining -= pending.size();
            return Take(pending.data(), pending.size());
        }
        if (serving) return NextImageChunk();
        uint8_t header[8];
        if (heldHeader) {
            std::memcpy(header, held, 8);
            heldHeader = false;
        } else if (!Take(header, 8)) {
            return false;
        }
        const uint32_t length = be::Load32(header);
        const bool critical = !(header[4] & 0x20);
        // A chunk longer than what is left of the file is cut short: no room is made for it,
        // nor is it handed on for libpng to make room for.
        if (length <= 0x7fffffff && !Holds(uint64_t{length} + 4)) return false;
        if (std::memcmp(header + 4, "IDAT", 4) == 0 && !imageRead && length <= 0x7fffffff) {
            imageRead = true;
            return ReadImageData(header);
        }
        pending.assign(header, header + 8);
        if (!critical || length > 0x7fffffff) {  // libpng checks these itself
            passRemaining = uint64_t{length} + 4;
            return true;
        }
        pending.resize(8 + size_t{length} + 4);
        if (!Take(pending.data() + 8, size_t{length} + 4)) return false;
        if (!CrcMatches(pending.data() + 4, length)) return Fail("CRC error");
        if (std::memcmp(header + 4, "IHDR", 4) == 0 && length == 13) {
            const uint8_t* data = pending.data() + 8;
            const uint64_t width = be::Load32(data), height = be::Load32(data + 4);
            const unsigned depth = data[8], colorType = data[9], interlace = data[12];
            const unsigned channels = colorType == 2   ? 3
                                      : colorType == 4 ? 2
                                      : colorType == 6 ? 4
                                                       : 1;
            const uint64_t line = 1 + (width * channels * depth + 7) / 8;
            if (interlace == 0 && depth <= 16 && height > 0 && height <= kMostInflated / line)
                expected = height * line;
        }
        return true;
    }

    // `bytes` starts with the chunk type, followed by `length` bytes of data and the CRC.
    static bool CrcMatches(const uint8_t* bytes, uint32_t length) {
        return libdeflate_crc32(0, bytes, size_t{length} + 4) == be::Load32(bytes + 4 + length);
    }

    bool Fail(const char* reason) {
        error = reason;
        return false;
    }

    // Reads the run of IDAT chunks that begins with `header`, and inflates it when it can.
    bool ReadImageData(const uint8_t* header) {
        uint8_t current[8];
        std::memcpy(current, header, 8);
        const uint32_t typeCrc = libdeflate_crc32(0, "IDAT", 4);
        const int64_t here = stream.Tell(), end = stream.Size();
        if (here >= 0 && end > here && end - here <= int64_t{1} << 31)
            compressed.reserve(static_cast<size_t>(end - here));  // the data cannot be more
        for (;;) {
            const uint32_t length = be::Load32(current);
            if (!Holds(uint64_t{length} + 4)) return false;
            const size_t start = compressed.size();
            compressed.resize(start + length);
            uint8_t crc[4];
            if (!Take(compressed.data() + start, length) || !Take(crc, 4)) return false;
            if (libdeflate_crc32(typeCrc, compressed.data() + start, length) != be::Load32(crc))
                return Fail("CRC error");
            if (!Take(current, 8)) return false;
            if (std::memcmp(current + 4, "IDAT", 4) != 0 || be::Load32(current) > 0x7fffffff) break;
        }
        std::memcpy(held, current, 8);
        heldHeader = true;
        imageBytes = compressed.size();
        if (expected > 0 && expected <= kMostInflated &&
            expected <= imageBytes * kMostInflation + 1024) {
            if (pngidat::Inflate(compressed.data(), compressed.size(), expected, inflated)) {
                adler = be::Load32(compressed.data() + compressed.size() - 4);
                std::vector<uint8_t>().swap(compressed);
                for (const pngidat::Inflated& run : inflated) total += run.size;
                // The checksum was checked against the data by Inflate().
                png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
                stored = true;
            }
        }
        serving = true;
        return NextImageChunk();
    }

    // One IDAT chunk for libpng: a stored block of the inflated data (the first after the zlib
    // header, the last followed by the checksum), or a piece of the data as the file had it.
    bool NextImageChunk() {
        pending.assign(8, 0);
        std::memcpy(pending.data() + 4, "IDAT", 4);
        bool last = false;
        if (stored) {
            if (served == 0) pending.insert(pending.end(), {0x78, 0x01});
            while (piece < inflated.size() && offset == inflated[piece].size) {
                ++piece;
                offset = 0;
            }
            const uint8_t* from =
                piece < inflated.size() ? inflated[piece].bytes.get() + offset : nullptr;
            const size_t n = from ? std::min(kStoredBlock, inflated[piece].size - offset) : 0;
            last = served + n == total;
            pending.insert(pending.end(), {uint8_t(last ? 1 : 0), uint8_t(n), uint8_t(n >> 8),
                                           uint8_t(~n), uint8_t(~n >> 8)});
            direct = from;  // handed on from where it lies
            directSize = n;
            served += n;
            offset += n;
            if (last) {
                tail.resize(4);
                be::Store32(tail.data(), adler);
            }
        } else {
            const size_t n = std::min(kPassStep, compressed.size() - served);
            direct = compressed.data() + served;
            directSize = n;
            served += n;
            last = served == compressed.size();
        }
        const size_t length = pending.size() - 8 + directSize + tail.size();
        be::Store32(pending.data(), static_cast<uint32_t>(length));
        uint32_t crc = libdeflate_crc32(0, pending.data() + 4, pending.size() - 4);
        if (directSize) crc = libdeflate_crc32(crc, direct, directSize);
        crc = libdeflate_crc32(crc, tail.data(), tail.size());
        tail.resize(tail.size() + 4);
        be::Store32(tail.data() + tail.size() - 4, crc);
        if (last) serving = false;  // the data goes at the next refill
        return true;
    }

    CByteStream& stream;
    png_structp png;
    std::vector<uint8_t> pending, tail;  // bytes ready for libpng, around the direct run
    const uint8_t* direct = nullptr;
    size_t directSize = 0;
    size_t position = 0;  // in pending, direct and tail together
    bool started = false;
    uint64_t passRemaining = 0;
    uint64_t expected = 0;  // bytes of filtered rows the header announces, 0: unknown
    bool imageRead = false, serving = false, stored = false;
    bool sized = false;       // the stream's length is known
    uint64_t imageBytes = 0;  // compressed image data in the file
    std::vector<uint8_t> compressed;
    std::vector<pngidat::Inflated> inflated;
    size_t total = 0, served = 0;  // inflated bytes in all, handed on
    size_t piece = 0, offset = 0;  // where the next stored block starts
    uint32_t adler = 1;
    uint8_t held[8] = {};  // the chunk header after the image data
    bool heldHeader = false;
};

void OnError(png_structp png, png_const_charp text) {
    auto* context = static_cast<PngContext*>(png_get_error_ptr(png));
    std::snprintf(context->message, sizeof context->message, "%s", text);
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void ReadData(png_structp png, png_bytep data, size_t length) {
    auto* context = static_cast<PngContext*>(png_get_io_ptr(png));
    if (!context->source->Read(data, length)) png_error(png, context->source->error);
}

void WriteData(png_structp png, png_bytep data, size_t length) {
    auto* context = static_cast<PngContext*>(png_get_io_ptr(png));
    if (context->stream->Write(data, 1, length) != length) png_error(png, "Write Error");
}

void FlushData(png_structp png) {
    auto* context = static_cast<PngContext*>(png_get_io_ptr(png));
    if (!context->stream->Flush()) png_error(png, "Flush Error");
}

int32_t PelsPerMeterToDpi(png_uint_32 ppm) {
    return static_cast<int32_t>(std::floor(ppm * 0.0254 + 0.5));
}

// What the reader does with the file's pixels after libpng's transformations.
struct ReadPlan {
    uint32_t width = 0, height = 0;
    int colorType = 0;
    int depth = 0;       // depth of the image created (1, 4, 8 or 24)
    int channels = 1;    // samples per pixel delivered by libpng
    bool alpha = false;  // last sample is alpha
    bool interlaced = false;
};

// Chooses the transformations and the image depth; runs before the image exists.
ReadPlan PlanRead(png_structp png, png_infop info) {
    ReadPlan plan;
    int bitDepth = 0, interlace = 0;
    png_get_IHDR(png, info, &plan.width, &plan.height, &bitDepth, &plan.colorType, &interlace,
                 nullptr, nullptr);
    plan.interlaced = interlace != PNG_INTERLACE_NONE;
    if (bitDepth == 16) png_set_strip_16(png);
    switch (plan.colorType) {
        case PNG_COLOR_TYPE_PALETTE:
        case PNG_COLOR_TYPE_GRAY:
            if (bitDepth == 2) {
                png_set_packing(png);  // 2-bit samples widened to one byte each
                plan.depth = 8;
            } else {
                plan.depth = bitDepth > 8 ? 8 : bitDepth;
            }
            break;
        case PNG_COLOR_TYPE_GRAY_ALPHA:
            plan.depth = 8;
            plan.channels = 2;
            plan.alpha = true;
            break;
        case PNG_COLOR_TYPE_RGB:
            plan.depth = 24;
            plan.channels = 3;
            png_set_bgr(png);
            break;
        default:  // RGB with alpha
            plan.depth = 24;
            plan.channels = 4;
            plan.alpha = true;
            png_set_bgr(png);
            break;
    }
    if (plan.interlaced) png_set_interlace_handling(png);
    png_read_update_info(png, info);
    return plan;
}

// Palette, grey levels and the transparent colour or per-entry alpha of palette images.
void ReadColours(png_structp png, png_infop info, const ReadPlan& plan, int fileDepth,
                 CRaster& image, std::vector<uint8_t>& entryAlpha) {
    if (plan.colorType == PNG_COLOR_TYPE_PALETTE) {
        png_colorp palette = nullptr;
        int count = 0;
        png_get_PLTE(png, info, &palette, &count);
        for (int i = 0; i < count; ++i)
            image.SetPaletteIndex(i, palette[i].red, palette[i].green, palette[i].blue);
        png_bytep trans = nullptr;
        int transCount = 0;
        if (png_get_tRNS(png, info, &trans, &transCount, nullptr) && transCount > 0) {
            // One fully transparent entry is the transparent index; anything else needs the
            // alpha plane.
            int transparent = -1, partial = 0;
            for (int i = 0; i < transCount; ++i) {
                if (trans[i] == 0 && transparent < 0)
                    transparent = i;
                else if (trans[i] != 255)
                    ++partial;
            }
            if (partial == 0 && transparent >= 0) {
                image.SetTransIndex(transparent);
            } else {
                entryAlpha.assign(256, 255);
                std::memcpy(entryAlpha.data(), trans, std::min(transCount, 256));
            }
        }
        return;
    }
    if (plan.depth <= 8) {
        if (fileDepth == 2) {  // four levels in a 256-entry table
            for (int i = 0; i < 4; ++i) image.SetPaletteIndex(i, i * 85, i * 85, i * 85);
        } else {
            image.SetGrayPalette();
        }
    }
    png_color_16p transColor = nullptr;
    if (png_get_tRNS(png, info, nullptr, nullptr, &transColor) && transColor) {
        if (plan.colorType == PNG_COLOR_TYPE_GRAY) {
            const int shift = fileDepth == 16 ? 8 : 0;
            image.SetTransIndex(std::min(transColor->gray >> shift, 255));
        } else if (plan.colorType == PNG_COLOR_TYPE_RGB) {
            const int shift = fileDepth == 16 ? 8 : 0;
            RGBQUAD c;
            c.rgbRed = static_cast<uint8_t>(transColor->red >> shift);
            c.rgbGreen = static_cast<uint8_t>(transColor->green >> shift);
            c.rgbBlue = static_cast<uint8_t>(transColor->blue >> shift);
            image.SetBackgroundColor(c);
            image.SetTransIndex(0);
        }
    }
}

// Moves one delivered row into the image row and the alpha plane.
void SplitRow(const uint8_t* in, const ReadPlan& plan, uint8_t* out, uint8_t* alphaRow) {
    if (plan.channels == 2) {
        for (uint32_t x = 0; x < plan.width; ++x) {
            out[x] = in[2 * x];
            alphaRow[x] = in[2 * x + 1];
        }
    } else {
        for (uint32_t x = 0; x < plan.width; ++x) {
            out[3 * x] = in[4 * x];
            out[3 * x + 1] = in[4 * x + 1];
            out[3 * x + 2] = in[4 * x + 2];
            alphaRow[x] = in[4 * x + 3];
        }
    }
}

struct PngReader {
    png_structp png = nullptr;
    png_infop info = nullptr;
    PngContext context;
    std::vector<uint8_t> rows;  // delivered rows kept for interlaced files with alpha
    std::vector<uint8_t> entryAlpha;
    ~PngReader() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

// Runs under libpng's setjmp; holds no object with a destructor.
const char* ReadImage(PngReader& r, CRaster& image) {
    png_structp png = r.png;
    png_infop info = r.info;
    png_read_info(png, info);
    const int fileDepth = png_get_bit_depth(png, info);
    const ReadPlan plan = PlanRead(png, info);
    // The pixels' bytes as stored, without the filter bytes (a lower bound for either layout).
    const unsigned samples = plan.colorType == PNG_COLOR_TYPE_RGB          ? 3
                             : plan.colorType == PNG_COLOR_TYPE_RGB_ALPHA  ? 4
                             : plan.colorType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                                                                           : 1;
    const uint64_t stored =
        uint64_t{plan.height} * uint64_t{plan.width} * samples * unsigned(fileDepth) / 8;
    if (!r.context.source->CanFill(stored)) return "Not enough image data";
    if (!image.Create(plan.width, plan.height, plan.depth, kTypePng))
        return "Can't allocate memory";
    ReadColours(png, info, plan, fileDepth, image, r.entryAlpha);
    png_uint_32 xppm = 0, yppm = 0;
    int unit = 0;
    if (png_get_pHYs(png, info, &xppm, &yppm, &unit) && unit == PNG_RESOLUTION_METER) {
        image.SetXDPI(PelsPerMeterToDpi(xppm));
        image.SetYDPI(PelsPerMeterToDpi(yppm));
    }
    if ((plan.alpha || !r.entryAlpha.empty()) && !image.AlphaCreate())
        return "Can't allocate memory";

    const uint32_t height = plan.height;
    const size_t rowBytes = png_get_rowbytes(png, info);
    const int passes = plan.interlaced ? png_set_interlace_handling(png) : 1;
    if (plan.alpha) r.rows.resize(rowBytes * (plan.interlaced ? height : 1));
    for (int pass = 0; pass < passes; ++pass) {
        for (uint32_t y = 0; y < height; ++y) {
            if (y % kRowsBetweenEscapeChecks == 0 && image.GetEscape()) return "Cancelled";
            const uint32_t row = height - 1 - y;
            uint8_t* target = plan.alpha ? r.rows.data() + (plan.interlaced ? rowBytes * y : 0)
                                         : image.GetBits(row);
            png_read_row(png, target, nullptr);
            if (plan.alpha && pass == passes - 1)
                SplitRow(target, plan, image.GetBits(row),
                         image.AlphaGetBits() + static_cast<size_t>(row) * plan.width);
        }
    }
    png_read_end(png, nullptr);
    if (!r.entryAlpha.empty()) {  // per-entry alpha of palette images into the plane
        for (uint32_t y = 0; y < height; ++y)
            for (uint32_t x = 0; x < plan.width; ++x)
                image.AlphaSet(x, y, r.entryAlpha[image.GetPixelIndex(x, y)]);
    }
    return nullptr;
}

// --- writing ---

struct PngWriter {
    png_structp png = nullptr;
    png_infop info = nullptr;
    PngContext context;
    std::vector<std::vector<uint8_t>> pieces;  // the compressed image data
    std::vector<png_color> palette;
    std::vector<png_byte> trans;
    ~PngWriter() { png_destroy_write_struct(&png, info ? &info : nullptr); }
};

// libdeflate's level for the image data, chosen by measurement on screenshots (windows, text,
// flat desktops, photos) and photographs: the fastest level whose files stay within 3% of zlib's
// level 6 with the same filters. It deflates those about three times as fast as zlib's level 4.
constexpr int kCompressionLevel = 4;

// Filters and compresses the rows on every core into the pieces of the IDAT data. Runs outside
// libpng's calls, so nothing here is skipped by its error jump.
bool CompressRows(CRaster& image, int colorType, int depth,
                  std::vector<std::vector<uint8_t>>& pieces) {
    const uint32_t width = image.GetWidth(), height = image.GetHeight();
    pngidat::Layout layout;
    layout.height = height;
    layout.level = kCompressionLevel;
    pngidat::RowSource source;
    if (colorType == PNG_COLOR_TYPE_RGB) {
        layout.rowBytes = size_t{width} * 3;
        layout.pixelBytes = 3;
        source = [&image, width, height](uint32_t y, uint8_t* out) {
            const uint8_t* in = image.GetBits(height - 1 - y);
            for (uint32_t x = 0; x < width; ++x, in += 3, out += 3) {
                out[0] = in[2];
                out[1] = in[1];
                out[2] = in[0];
            }
        };
    } else if (colorType == PNG_COLOR_TYPE_RGB_ALPHA) {
        layout.rowBytes = size_t{width} * 4;
        layout.pixelBytes = 4;
        const bool direct = image.GetBpp() == 24;
        source = [&image, width, height, direct](uint32_t y, uint8_t* out) {
            const uint32_t row = height - 1 - y;
            const uint8_t* in = image.GetBits(row);
            const uint8_t* a = image.AlphaGetBits() + static_cast<size_t>(row) * width;
            for (uint32_t x = 0; x < width; ++x, out += 4) {
                const RGBQUAD c = direct ? RGBQUAD{in[3 * x], in[3 * x + 1], in[3 * x + 2], 0}
                                         : image.GetPixelColor(x, row);
                out[0] = c.rgbRed;
                out[1] = c.rgbGreen;
                out[2] = c.rgbBlue;
                out[3] = a[x];
            }
        };
    } else {  // palette rows are stored as the file stores them
        layout.rowBytes = (size_t{width} * depth + 7) / 8;
        const size_t bytes = layout.rowBytes;
        source = [&image, height, bytes](uint32_t y, uint8_t* out) {
            std::memcpy(out, image.GetBits(height - 1 - y), bytes);
        };
    }
    // libpng filters every row of 8-bit colour and none of palette images; so do we.
    layout.adaptive = colorType != PNG_COLOR_TYPE_PALETTE;
    return pngidat::Compress(layout, source, pieces);
}

void WriteImage(PngWriter& w, CRaster& image) {
    png_structp png = w.png;
    png_infop info = w.info;
    const uint32_t width = image.GetWidth(), height = image.GetHeight();
    const bool direct = image.GetBpp() == 24;
    const bool alpha = image.AlphaIsValid();
    // A palette image with an alpha plane is written as colour with alpha, so no alpha is lost.
    const bool rgba = alpha;
    int colorType = PNG_COLOR_TYPE_PALETTE;
    int depth = static_cast<int>(image.GetBpp());
    if (rgba) {
        colorType = PNG_COLOR_TYPE_RGB_ALPHA;
        depth = 8;
    } else if (direct) {
        colorType = PNG_COLOR_TYPE_RGB;
        depth = 8;
    }
    png_set_IHDR(png, info, width, height, depth, colorType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (colorType == PNG_COLOR_TYPE_PALETTE) {
        const uint32_t count = image.GetNumColors();
        w.palette.resize(count);
        for (uint32_t i = 0; i < count; ++i) {
            const RGBQUAD c = image.GetPaletteColor(i);
            w.palette[i] = png_color{c.rgbRed, c.rgbGreen, c.rgbBlue};
        }
        png_set_PLTE(png, info, w.palette.data(), static_cast<int>(count));
        const int32_t index = image.GetTransIndex();
        if (image.IsAlphaPaletteEnabled()) {
            w.trans.resize(count);
            for (uint32_t i = 0; i < count; ++i) w.trans[i] = image.GetPaletteColor(i).rgbReserved;
        } else if (index >= 0 && static_cast<uint32_t>(index) < count) {
            w.trans.assign(index + 1, 255);
            w.trans[index] = 0;
        }
        if (!w.trans.empty())
            png_set_tRNS(png, info, w.trans.data(), static_cast<int>(w.trans.size()), nullptr);
    } else if (colorType == PNG_COLOR_TYPE_RGB && image.GetTransIndex() >= 0) {
        const RGBQUAD c = image.GetBackgroundColor();
        png_color_16 color{};
        color.red = c.rgbRed;
        color.green = c.rgbGreen;
        color.blue = c.rgbBlue;
        png_set_tRNS(png, info, nullptr, 0, &color);
    }
    const auto ppm = [](int32_t dpi) {
        return static_cast<png_uint_32>(std::max(0.0, std::floor(dpi * 39.37007874015748 + 0.5)));
    };
    png_set_pHYs(png, info, ppm(image.GetXDPI()), ppm(image.GetYDPI()), PNG_RESOLUTION_METER);
    png_write_info(png, info);
    if (!CompressRows(image, colorType, depth, w.pieces)) png_error(png, "Write Error");
    for (const std::vector<uint8_t>& piece : w.pieces)
        png_write_chunk(png, reinterpret_cast<png_const_bytep>("IDAT"), piece.data(), piece.size());
    // libpng's own end refuses a file whose image data it did not write; the end chunk is empty.
    png_write_chunk(png, reinterpret_cast<png_const_bytep>("IEND"), nullptr, 0);
    png_write_flush(png);
}

}  // namespace

bool DecodePng(CRaster& image, CByteStream& stream) {
    auto r = std::make_unique<PngReader>();
    r->context.stream = &stream;
    r->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &r->context, OnError, OnWarning);
    if (!r->png) {
        image.SetLastError("Failed to create PNG structure");
        return false;
    }
    r->info = png_create_info_struct(r->png);
    if (!r->info) {
        image.SetLastError("Failed to initialize PNG info structure");
        return false;
    }
    ImageDataSource source(stream, r->png);
    r->context.source = &source;
    // The critical chunks' CRCs are checked by the source (which alone sees the file's IDATs).
    png_set_crc_action(r->png, PNG_CRC_QUIET_USE, PNG_CRC_DEFAULT);
    png_set_read_fn(r->png, &r->context, ReadData);
    const char* error = nullptr;
    if (setjmp(png_jmpbuf(r->png))) {
        error = r->context.message;
    } else {
        error = ReadImage(*r, image);
    }
    if (error) {
        image.SetLastError(error);
        image.Destroy();
        return false;
    }
    return true;
}

bool EncodePng(CRaster& image, CByteStream& stream) {
    auto w = std::make_unique<PngWriter>();
    w->context.stream = &stream;
    w->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &w->context, OnError, OnWarning);
    if (!w->png) {
        image.SetLastError("Failed to create PNG structure");
        return false;
    }
    w->info = png_create_info_struct(w->png);
    if (!w->info) {
        image.SetLastError("Failed to initialize PNG info structure");
        return false;
    }
    png_set_write_fn(w->png, &w->context, WriteData, FlushData);
    if (setjmp(png_jmpbuf(w->png))) {
        image.SetLastError(w->context.message);
        return false;
    }
    WriteImage(*w, image);
    return true;
}
