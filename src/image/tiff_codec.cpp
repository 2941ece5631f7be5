// TIFF files through libtiff, opened on the image stream itself (TIFFClientOpen): page `frame`
// is read; one or several pages are written, named "Page 1", "Page 2", ...

#include "image/codecs.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include <tiffio.h>

namespace {

constexpr uint32_t kRowsPerChunk = 64;

// The stream as libtiff sees it: offsets count from where the TIFF data starts. The position and
// length are kept here, so that libtiff's many seeks to where the stream already is cost nothing.
// With `memory` set, the data goes into that vector instead (grown geometrically) and the stream
// is unused.
struct TiffStream {
    CByteStream* stream = nullptr;
    int64_t base = 0;
    int64_t position = 0;
    int64_t size = 0;
    std::vector<uint8_t>* memory = nullptr;
    char message[256] = {};
};

TiffStream& Of(thandle_t handle) {
    return *static_cast<TiffStream*>(handle);
}

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t size) {
    TiffStream& s = Of(handle);
    if (size <= 0 || s.position >= s.size) return 0;
    size_t count = static_cast<size_t>(std::min<int64_t>(size, s.size - s.position));
    if (s.memory)
        std::memcpy(buffer, s.memory->data() + s.position, count);
    else
        count = s.stream->Read(buffer, 1, count);
    s.position += static_cast<int64_t>(count);
    return static_cast<tmsize_t>(count);
}

tmsize_t WriteProc(thandle_t handle, void* buffer, tmsize_t size) {
    TiffStream& s = Of(handle);
    if (size <= 0) return 0;
    size_t count = static_cast<size_t>(size);
    if (s.memory) {
        const size_t end = static_cast<size_t>(s.position) + count;
        try {
            if (end > s.memory->size()) s.memory->resize(end);
        } catch (const std::bad_alloc&) {
            return 0;  // libtiff reports the short write
        }
        std::memcpy(s.memory->data() + s.position, buffer, count);
    } else {
        count = s.stream->Write(buffer, 1, count);
    }
    s.position += static_cast<int64_t>(count);
    s.size = std::max(s.size, s.position);
    return static_cast<tmsize_t>(count);
}

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
    TiffStream& s = Of(handle);
    const int64_t from = whence == SEEK_CUR ? s.position : whence == SEEK_END ? s.size : 0;
    const int64_t target = from + static_cast<int64_t>(offset);
    if (target < 0) return static_cast<toff_t>(-1);
    if (!s.memory && target != s.position && !s.stream->Seek(s.base + target, SEEK_SET))
        return static_cast<toff_t>(-1);
    s.position = target;
    return static_cast<toff_t>(target);
}

int CloseProc(thandle_t) {
    return 0;  // the stream belongs to the caller
}

toff_t SizeProc(thandle_t handle) {
    return static_cast<toff_t>(Of(handle).size);
}

int MapProc(thandle_t, void**, toff_t*) {
    return 0;
}
void UnmapProc(thandle_t, void*, toff_t) {}

int OnError(TIFF*, void* user, const char* module, const char* format, va_list args) {
    auto* s = static_cast<TiffStream*>(user);
    char text[200];
    std::vsnprintf(text, sizeof text, format, args);
    std::snprintf(s->message, sizeof s->message, "%s%s%s", module ? module : "", module ? ": " : "",
                  text);
    return 1;
}

int OnWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

TiffHandle OpenTiff(TiffStream& s, const char* mode) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, OnError, &s);
    TIFFOpenOptionsSetWarningHandlerExtR(options, OnWarning, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, static_cast<tmsize_t>(kMaxRasterBlock));
    if (!s.memory) {
        s.base = std::max<int64_t>(s.stream->Tell(), 0);
        s.size = std::max<int64_t>(s.stream->Size() - s.base, 0);
    }
    TIFF* tif = TIFFClientOpenExt("stream", mode, &s, ReadProc, WriteProc, SeekProc, CloseProc,
                                  SizeProc, MapProc, UnmapProc, options);
    TIFFOpenOptionsFree(options);
    return TiffHandle(tif);
}

int32_t ResolutionToDpi(float resolution, uint16_t unit) {
    if (resolution <= 0 || resolution > 1e6f) return 0;
    return static_cast<int32_t>((unit == RESUNIT_CENTIMETER ? resolution * 2.54f : resolution) +
                                0.5f);
}

// --- reading ---

struct PageLayout {
    uint32_t width = 0, height = 0;
    uint16_t bps = 1, spp = 1, photometric = 0, planar = PLANARCONFIG_CONTIG;
    uint16_t extraCount = 0;
    bool direct = false;  // rows read as they are stored (see ReadLayout)
};

PageLayout ReadLayout(TIFF* tif) {
    PageLayout p;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &p.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &p.height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &p.bps);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &p.spp);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &p.planar);
    uint16_t* extraTypes = nullptr;
    TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &p.extraCount, &extraTypes);
    if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &p.photometric))
        p.photometric = p.spp >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    const bool strips = !TIFFIsTiled(tif) && p.planar == PLANARCONFIG_CONTIG;
    const bool indexed =
        p.spp == 1 && (p.bps == 1 || p.bps == 4 || p.bps == 8) &&
        (p.photometric == PHOTOMETRIC_PALETTE || p.photometric == PHOTOMETRIC_MINISBLACK ||
         p.photometric == PHOTOMETRIC_MINISWHITE);
    const bool rgb = p.photometric == PHOTOMETRIC_RGB && p.bps == 8 &&
                     (p.spp == 3 || (p.spp == 4 && p.extraCount == 1));
    p.direct = strips && (indexed || rgb);
    return p;
}

const char* ReadPalette(TIFF* tif, const PageLayout& p, CRaster& image) {
    if (p.photometric == PHOTOMETRIC_PALETTE) {
        uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
        if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue))
            return "Corrupted TIFF file!";
        for (uint32_t i = 0; i < (1u << p.bps); ++i)
            image.SetPaletteIndex(i, red[i] >> 8, green[i] >> 8, blue[i] >> 8);
        return nullptr;
    }
    image.SetGrayPalette();
    if (p.photometric == PHOTOMETRIC_MINISWHITE) {
        const uint32_t n = image.GetNumColors();
        for (uint32_t i = 0; i < n; ++i) {
            const uint8_t v = static_cast<uint8_t>(255 - image.GetPaletteColor(i).rgbRed);
            image.SetPaletteIndex(i, v, v, v);
        }
    }
    return nullptr;
}

// Red and blue change places in a row of 3-byte pixels.
void SwapRedBlue(const uint8_t* in, uint8_t* out, uint32_t width) {
    for (uint32_t x = 0; x < width; ++x, in += 3, out += 3) {
        const uint8_t red = in[0];
        out[1] = in[1];
        out[0] = in[2];
        out[2] = red;
    }
}

const char* ReadDirectRows(TIFF* tif, const PageLayout& p, CRaster& image) {
    const bool rgb = p.photometric == PHOTOMETRIC_RGB;
    const bool rgba = rgb && p.spp == 4;
    const size_t lineSize = static_cast<size_t>(TIFFScanlineSize(tif));
    // Rows of one byte per sample land in the image row itself, except RGBA (wider).
    if (!rgba && lineSize > image.GetEffWidth()) return "Corrupted TIFF file!";
    std::vector<uint8_t> line(rgba ? lineSize : 0);
    if (rgba && !image.AlphaCreate()) return "No space for raster buffer";
    for (uint32_t y = 0; y < p.height; ++y) {
        if (y % kRowsPerChunk == 0 && image.GetEscape()) return "Cancelled";
        const uint32_t row = p.height - 1 - y;
        uint8_t* out = image.GetBits(row);
        if (TIFFReadScanline(tif, rgba ? line.data() : out, y, 0) < 0)
            return "Corrupted TIFF file!";
        if (!rgb) continue;
        if (!rgba) {
            SwapRedBlue(out, out, p.width);
            continue;
        }
        uint8_t* alpha = image.AlphaGetBits() + static_cast<size_t>(row) * p.width;
        for (uint32_t x = 0; x < p.width; ++x) {
            const uint8_t* in = line.data() + static_cast<size_t>(x) * 4;
            out[3 * x] = in[2];
            out[3 * x + 1] = in[1];
            out[3 * x + 2] = in[0];
            alpha[x] = in[3];
        }
    }
    return nullptr;
}

// The rows read at once: whole strips or tiles, so that libtiff decodes each of them once (a band
// that ends inside a strip makes it decode that strip again for the next band, over and over for
// an image stored as one long strip).
uint32_t BandRows(TIFF* tif, const PageLayout& p) {
    uint32_t unit = 0;
    if (TIFFIsTiled(tif)) {
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &unit);
    } else {
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &unit);
    }
    unit = std::min(unit, p.height);
    if (unit == 0) return kRowsPerChunk;
    const uint64_t rows = (uint64_t{kRowsPerChunk} + unit - 1) / unit * unit;
    if (rows * p.width * 4 > kMaxRasterBlock) return kRowsPerChunk;
    return static_cast<uint32_t>(std::min<uint64_t>(rows, p.height));
}

// Any other layout goes through libtiff's RGBA reader, a band of rows at a time.
const char* ReadRgbaRows(TIFF* tif, const PageLayout& p, CRaster& image) {
    char message[1024] = {};
    TIFFRGBAImage reader;
    if (!TIFFRGBAImageOK(tif, message) || !TIFFRGBAImageBegin(&reader, tif, 0, message))
        return "Corrupted TIFF file!";
    reader.req_orientation = ORIENTATION_TOPLEFT;
    const bool alpha = p.extraCount > 0 || reader.alpha != 0;
    const char* error = nullptr;
    const uint32_t bandRows = BandRows(tif, p);
    std::unique_ptr<uint32_t[]> band(new (std::nothrow)
                                         uint32_t[static_cast<size_t>(p.width) * bandRows]);
    if (!band || (alpha && !image.AlphaCreate())) error = "No space for raster buffer";
    for (uint32_t top = 0; !error && top < p.height; top += bandRows) {
        if (image.GetEscape()) {
            error = "Cancelled";
            break;
        }
        const uint32_t rows = std::min(bandRows, p.height - top);
        reader.row_offset = static_cast<int>(top);
        if (!TIFFRGBAImageGet(&reader, band.get(), p.width, rows)) {
            error = "Corrupted TIFF file!";
            break;
        }
        for (uint32_t i = 0; i < rows; ++i) {
            const uint32_t row = p.height - 1 - (top + i);
            const uint32_t* in = band.get() + static_cast<size_t>(i) * p.width;
            uint8_t* out = image.GetBits(row);
            uint8_t* a =
                alpha ? image.AlphaGetBits() + static_cast<size_t>(row) * p.width : nullptr;
            for (uint32_t x = 0; x < p.width; ++x) {
                out[3 * x] = static_cast<uint8_t>(TIFFGetB(in[x]));
                out[3 * x + 1] = static_cast<uint8_t>(TIFFGetG(in[x]));
                out[3 * x + 2] = static_cast<uint8_t>(TIFFGetR(in[x]));
                if (a) a[x] = static_cast<uint8_t>(TIFFGetA(in[x]));
            }
        }
    }
    TIFFRGBAImageEnd(&reader);
    return error;
}

// The most bytes of samples one byte of a strip or tile can give, by compression: runs of 128
// for two bytes, deflate's 1032, LZW codes of nine bits or more for strings of up to 4096 bytes;
// the rest (fax, JPEG, newer ones) get a wide bound.
uint64_t MostExpansion(uint16_t compression) {
    switch (compression) {
        case COMPRESSION_NONE:
            return 1;
        case COMPRESSION_PACKBITS:
            return 64;
        case COMPRESSION_ADOBE_DEFLATE:
        case COMPRESSION_DEFLATE:
            return 1032;
        case COMPRESSION_LZW:
            return 4096;
        default:
            return uint64_t{1} << 16;
    }
}

// Whether the page's strips or tiles, as far as they lie in the file, can fill its samples: a
// page whose header claims a huge picture, or whose strips claim more bytes than the file has,
// is refused before its picture is allocated.
bool DataCanFill(TIFF* tif, const PageLayout& p, uint64_t fileSize) {
    const uint64_t needed = uint64_t{p.width} * p.height * p.spp * p.bps / 8;
    uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    const uint64_t perByte = MostExpansion(compression);
    const uint32_t count = TIFFIsTiled(tif) ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
    // Each strip in the file has its own offset and count, so there are no more than its bytes.
    const uint64_t listed = std::min<uint64_t>(count, fileSize);
    uint64_t held = 0;
    for (uint32_t i = 0; i < listed && held * perByte < needed; ++i) {
        const uint64_t offset = TIFFGetStrileOffset(tif, i);
        const uint64_t bytes = TIFFGetStrileByteCount(tif, i);
        if (offset < fileSize) held += std::min(bytes, fileSize - offset);
    }
    return held * perByte + 1024 >= needed;
}

const char* ReadPage(TIFF* tif, CRaster& image, uint64_t fileSize) {
    const PageLayout p = ReadLayout(tif);
    if (p.width == 0 || p.height == 0) return "Corrupted TIFF file!";
    if (!DataCanFill(tif, p, fileSize)) return "Corrupted TIFF file!";
    if (!image.Create(p.width, p.height, p.direct && p.photometric != PHOTOMETRIC_RGB ? p.bps : 24,
                      kTypeTiff))
        return "No space for raster buffer";
    float xres = 0, yres = 0;
    uint16_t unit = RESUNIT_INCH;
    TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
    if (TIFFGetField(tif, TIFFTAG_XRESOLUTION, &xres) && ResolutionToDpi(xres, unit))
        image.SetXDPI(ResolutionToDpi(xres, unit));
    if (TIFFGetField(tif, TIFFTAG_YRESOLUTION, &yres) && ResolutionToDpi(yres, unit))
        image.SetYDPI(ResolutionToDpi(yres, unit));
    if (!p.direct) return ReadRgbaRows(tif, p, image);
    if (p.photometric != PHOTOMETRIC_RGB) {
        if (const char* error = ReadPalette(tif, p, image)) return error;
    }
    return ReadDirectRows(tif, p, image);
}

// --- writing ---

// Palette entry i is the i-th step of an even grey ramp (black to white).
bool HasGreyRamp(const CRaster& image) {
    const uint32_t n = image.GetNumColors();
    if (n < 2) return false;
    const uint32_t step = 255 / (n - 1);
    for (uint32_t i = 0; i < n; ++i) {
        const RGBQUAD c = image.GetPaletteColor(i);
        if (c.rgbRed != i * step || c.rgbGreen != i * step || c.rgbBlue != i * step) return false;
    }
    return true;
}

const char* WritePage(TIFF* tif, CRaster& image, int32_t page, int32_t pages) {
    const uint32_t width = image.GetWidth(), height = image.GetHeight();
    const bool direct = image.GetBpp() == 24;
    const bool alpha = direct && image.AlphaIsValid();
    const uint16_t spp = direct ? (alpha ? 4 : 3) : 1;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, direct ? 8 : image.GetBpp());
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, spp);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<float>(image.GetXDPI()));
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<float>(image.GetYDPI()));
    char name[32];
    std::snprintf(name, sizeof name, "Page %d", page + 1);
    TIFFSetField(tif, TIFFTAG_PAGENAME, name);
    if (pages > 1) {
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(tif, TIFFTAG_PAGENUMBER, static_cast<uint16_t>(page),
                     static_cast<uint16_t>(pages));
    }
    if (alpha) {
        const uint16_t extra[1] = {EXTRASAMPLE_UNASSALPHA};
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
    }
    if (direct) {
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    } else if (HasGreyRamp(image)) {
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    } else {
        const uint32_t n = image.GetNumColors();
        std::unique_ptr<uint16_t[]> map(new (std::nothrow) uint16_t[3 * n]);
        if (!map) return "Unable to allocate TIFF palette";
        for (uint32_t i = 0; i < n; ++i) {
            const RGBQUAD c = image.GetPaletteColor(i);
            map[i] = static_cast<uint16_t>(c.rgbRed * 257);
            map[n + i] = static_cast<uint16_t>(c.rgbGreen * 257);
            map[2 * n + i] = static_cast<uint16_t>(c.rgbBlue * 257);
        }
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
        TIFFSetField(tif, TIFFTAG_COLORMAP, map.get(), map.get() + n, map.get() + 2 * n);
    }

    std::vector<uint8_t> line(direct ? static_cast<size_t>(width) * spp : image.GetEffWidth());
    for (uint32_t y = 0; y < height; ++y) {
        const uint32_t row = height - 1 - y;
        const uint8_t* in = image.GetBits(row);
        if (alpha) {
            const uint8_t* a = image.AlphaGetBits() + static_cast<size_t>(row) * width;
            for (uint32_t x = 0; x < width; ++x) {
                uint8_t* out = line.data() + static_cast<size_t>(x) * 4;
                out[0] = in[3 * x + 2];
                out[1] = in[3 * x + 1];
                out[2] = in[3 * x];
                out[3] = a[x];
            }
        } else if (direct) {
            SwapRedBlue(in, line.data(), width);
        } else {
            std::copy(in, in + image.GetEffWidth(), line.begin());
        }
        if (TIFFWriteScanline(tif, line.data(), y, 0) < 0) return "Error saving TIFF file";
    }
    if (!TIFFWriteDirectory(tif)) return "Error saving TIFF directory";
    return nullptr;
}

}  // namespace

bool DecodeTiff(CRaster& image, CByteStream& stream) {
    TiffStream s;
    s.stream = &stream;
    TiffHandle tif = OpenTiff(s, "rm");
    if (!tif) {
        image.SetLastError("Error encountered while opening TIFF file");
        return false;
    }
    const int32_t count = static_cast<int32_t>(TIFFNumberOfDirectories(tif.get()));
    image.SetFrameCount(count);
    const int32_t frame = image.GetFrame();
    if (frame < 0 || frame >= count) {
        image.SetLastError("Error: page not present in TIFF file");
        return false;
    }
    const char* error = TIFFSetDirectory(tif.get(), static_cast<tdir_t>(frame))
                            ? ReadPage(tif.get(), image, static_cast<uint64_t>(s.size))
                            : "Corrupted TIFF file!";
    if (error) {
        image.SetLastError(error);
        image.Destroy();
        return false;
    }
    return true;
}

bool EncodeTiffFrames(CRaster& report, CByteStream& stream, CRaster** images, int32_t count) {
    if (!images || count < 1) {
        report.SetLastError("multipage TIFF, no images!");
        return false;
    }
    for (int32_t i = 0; i < count; ++i) {
        if (!images[i] || !images[i]->IsValid()) {
            report.SetLastError("Bad image pointer");
            return false;
        }
    }
    // Linking a further page makes libtiff read back what it wrote, which a stream opened for
    // writing only cannot do: several pages are put together in memory first.
    std::vector<uint8_t> pagesInMemory;
    TiffStream s;
    s.stream = &stream;
    if (count > 1) s.memory = &pagesInMemory;
    TiffHandle tif = OpenTiff(s, "w");
    if (!tif) {
        report.SetLastError("initialization fail");
        return false;
    }
    for (int32_t i = 0; i < count; ++i) {
        if (const char* error = WritePage(tif.get(), *images[i], i, count)) {
            report.SetLastError(error);
            return false;
        }
    }
    tif.reset();
    const bool written = s.memory ? stream.Write(pagesInMemory.data(), 1, pagesInMemory.size()) ==
                                        pagesInMemory.size()
                                  : stream.Error() == 0;
    if (!written) report.SetLastError("Error saving TIFF file");
    return written;
}

bool EncodeTiff(CRaster& image, CByteStream& stream) {
    CRaster* pages[] = {&image};
    return EncodeTiffFrames(image, stream, pages, 1);
}
