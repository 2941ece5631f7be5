// Decoding and encoding a 6000 x 4000 24-bit picture in each format, reported in MB/s of pixel
// data: decoding from a file in memory, encoding into a file on memory-backed /dev/shm. The Lib*
// cases do the same work with the libraries alone (decoding into a freshly allocated buffer, as
// every decoder must, rows in the same order), so the difference is the cost of our glue. Memcpy is
// the floor for BMP: allocate and copy the packed block.

#include <benchmark/benchmark.h>
#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "image/raster.h"

namespace {

constexpr uint32_t kWidth = 6000;
constexpr uint32_t kHeight = 4000;
constexpr int64_t kPixelBytes = int64_t{kWidth} * kHeight * 3;

// A photograph-like picture: smooth shapes with a little grain.
const CRaster& Picture() {
    static const CRaster picture = [] {
        CRaster image(kWidth, kHeight, 24);
        uint32_t seed = 12345;
        for (uint32_t y = 0; y < kHeight; ++y) {
            uint8_t* row = image.GetBits(y);
            for (uint32_t x = 0; x < kWidth; ++x) {
                seed = seed * 1664525u + 1013904223u;
                const int grain = static_cast<int>(seed >> 29);
                row[3 * x] = static_cast<uint8_t>(128 + 100 * std::sin(x * 0.003) + grain);
                row[3 * x + 1] = static_cast<uint8_t>(128 + 90 * std::cos(y * 0.004 + x * 0.001));
                row[3 * x + 2] = static_cast<uint8_t>((x / 40 + y / 30) % 200 + grain);
            }
        }
        return image;
    }();
    return picture;
}

std::vector<uint8_t> EncodedPicture(uint32_t type) {
    CRaster image(Picture());
    uint8_t* buffer = nullptr;
    int32_t size = 0;
    if (!image.Encode(buffer, size, type)) return {};
    std::vector<uint8_t> bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

const std::vector<uint8_t>& Encoded(uint32_t type) {
    static std::vector<uint8_t> files[kTypeCount];
    if (files[type].empty()) files[type] = EncodedPicture(type);
    return files[type];
}

void Decode(benchmark::State& state, uint32_t type) {
    std::vector<uint8_t> file = Encoded(type);
    for (auto _ : state) {
        CRaster image;
        if (!image.Decode(file.data(), static_cast<uint32_t>(file.size()), type))
            state.SkipWithError(image.GetLastError());
        benchmark::DoNotOptimize(image.GetBits());
    }
    state.SetBytesProcessed(state.iterations() * kPixelBytes);
    state.counters["file_MB"] = static_cast<double>(file.size()) / 1e6;
}

std::string ShmPath(const char* name) {
    return std::string("/dev/shm/quillet-bench-") + name;
}

// Encoding into a file opened as the Lib* cases open theirs (Save adds writing beside the target
// and renaming it over on success).
void Encode(benchmark::State& state, uint32_t type) {
    CRaster image(Picture());
    const std::string path = ShmPath("out");
    for (auto _ : state) {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (!image.Encode(file, type)) state.SkipWithError(image.GetLastError());
        if (file) std::fclose(file);
    }
    std::remove(path.c_str());
    state.SetBytesProcessed(state.iterations() * kPixelBytes);
}

// A fresh output buffer per decoding, as a program using the library alone would allocate.
std::unique_ptr<uint8_t[]> FreshPixels() {
    return std::unique_ptr<uint8_t[]>(new uint8_t[kPixelBytes]);
}

// --- the libraries on their own ---

void LibJpegDecode(benchmark::State& state) {
    const std::vector<uint8_t>& file = Encoded(kTypeJpeg);
    for (auto _ : state) {
        const auto pixels = FreshPixels();
        jpeg_decompress_struct cinfo;
        jpeg_error_mgr err;
        cinfo.err = jpeg_std_error(&err);
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, file.data(), file.size());
        jpeg_read_header(&cinfo, TRUE);
        cinfo.out_color_space = JCS_EXT_BGR;
        jpeg_start_decompress(&cinfo);
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW row = pixels.get() + size_t{cinfo.output_scanline} * kWidth * 3;
            jpeg_read_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_decompress(&cinfo);
        jpeg_destroy_decompress(&cinfo);
        benchmark::DoNotOptimize(pixels.get());
    }
    state.SetBytesProcessed(state.iterations() * kPixelBytes);
}

void LibJpegEncode(benchmark::State& state) {
    const CRaster& picture = Picture();
    for (auto _ : state) {
        jpeg_compress_struct cinfo;
        jpeg_error_mgr err;
        cinfo.err = jpeg_std_error(&err);
        jpeg_create_compress(&cinfo);
        std::FILE* out = std::fopen(ShmPath("lib.jpg").c_str(), "wb");
        jpeg_stdio_dest(&cinfo, out);
        cinfo.image_width = kWidth;
        cinfo.image_height = kHeight;
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_EXT_BGR;
        jpeg_set_defaults(&cinfo);
        jpeg_set_quality(&cinfo, 75, TRUE);
        jpeg_start_compress(&cinfo, TRUE);
        while (cinfo.next_scanline < kHeight) {
            JSAMPROW row = picture.GetBits(kHeight - 1 - cinfo.next_scanline);
            jpeg_write_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_compress(&cinfo);
        jpeg_destroy_compress(&cinfo);
        std::fclose(out);
    }
    std::remove(ShmPath("lib.jpg").c_str());
    state.SetBytesProcessed(state.iterations() * kPixelBytes);
}

struct MemoryFile {
    const uint8_t* data;
    size_t size, position;
};

void LibPngDecode(benchmark::State& state) {
    const std::vector<uint8_t>& file = Encoded(kTypePng);
    for (auto _ : state) {
        const auto pixels = FreshPixels();
        MemoryFile in{file.data(), file.size(), 0};
        png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        png_set_read_fn(png, &in, [](png_structp p, png_bytep data, size_t length) {
            auto* m = static_cast<MemoryFile*>(png_get_io_ptr(p));
            std::memcpy(data, m->data + m->position, length);
            m->position += length;
        });
        png_read_info(png, info);
        png_set_bgr(png);
        for (uint32_t y = 0; y < kHeight; ++y)
            png_read_row(png, pixels.get() + size_t{y} * kWidth * 3, nullptr);
        png_read_end(png, nullptr);
        png_destroy_read_struct(&png, &info, nullptr);
        benchmark::DoNotOptimize(pixels.get());
    }
    state.SetBytesProcessed(state.iterations() * kPixelBytes);
}

void LibPngEncode(benchmark::State& state) {
    const CRaster& picture = Picture();
    for (auto _ : state) {
        std::FILE* out = std::fopen(ShmPath("lib.png").c_str(), "wb");
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        png_init_io(png, out);
        png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        png_set_bgr(png);
        for (uint32_t y = 0; y < kHeight; ++y) png_write_row(png, picture.GetBits(kHeight - 1 - y));
        png_write_end(png, info);
        png_destroy_write_struct(&png, &info);
        std::fclose(out);
    }
    std::remove(ShmPath("lib.png").c_str());
    state.SetBytesProcessed(state.iterations() * kPixelBytes);
}

// libtiff reads no memory files of its own: it decodes a file in /dev/shm.
void WriteShm(const char* name, const std::vector<uint8_t>& bytes) {
    std::FILE* f = std::fopen(ShmPath(name).c_str(), "wb");
    if (!f) return;
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

void LibTiffDecode(benchmark::State& state) {
    WriteShm("lin.tif", Encoded(kTypeTiff));
    for (auto _ : state) {
        const auto pixels = FreshPixels();
        TIFF* tif = TIFFOpen(ShmPath("lin.tif").c_str(), "rm");
        if (!tif) {
            state.SkipWithError("open");
            break;
        }
        for (uint32_t y = 0; y < kHeight; ++y)
            TIFFReadScanline(tif, pixels.get() + size_t{y} * kWidth * 3, y, 0);
        TIFFClose(tif);
        benchmark::DoNotOptimize(pixels.get());
    }
    std::remove(ShmPath("lin.tif").c_str());
    state.SetBytesProcessed(state.iterations() * kPixelBytes);
}

void LibTiffEncode(benchmark::State& state) {
    const CRaster& picture = Picture();
    std::vector<uint8_t> line(size_t{kWidth} * 3);
    for (auto _ : state) {
        TIFF* tif = TIFFOpen(ShmPath("lout.tif").c_str(), "w");
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kWidth);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kHeight);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
        for (uint32_t y = 0; y < kHeight; ++y) {
            const uint8_t* in = picture.GetBits(kHeight - 1 - y);
            for (uint32_t x = 0; x < kWidth; ++x) {
                line[3 * x] = in[3 * x + 2];
                line[3 * x + 1] = in[3 * x + 1];
                line[3 * x + 2] = in[3 * x];
            }
            TIFFWriteScanline(tif, line.data(), y, 0);
        }
        TIFFClose(tif);
    }
    std::remove(ShmPath("lout.tif").c_str());
    state.SetBytesProcessed(state.iterations() * kPixelBytes);
}

void Memcpy(benchmark::State& state) {
    const CRaster& picture = Picture();
    for (auto _ : state) {
        auto* copy = static_cast<uint8_t*>(std::malloc(picture.GetSize()));
        std::memcpy(copy, picture.GetDIB(), picture.GetSize());
        benchmark::DoNotOptimize(copy);
        std::free(copy);
    }
    state.SetBytesProcessed(state.iterations() * kPixelBytes);
}

}  // namespace

BENCHMARK(Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, Bmp, kTypeBmp)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Encode, Bmp, kTypeBmp)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, Jpeg, kTypeJpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(LibJpegDecode)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Encode, Jpeg, kTypeJpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(LibJpegEncode)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, Png, kTypePng)->Unit(benchmark::kMillisecond);
BENCHMARK(LibPngDecode)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Encode, Png, kTypePng)->Unit(benchmark::kMillisecond);
BENCHMARK(LibPngEncode)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, Tiff, kTypeTiff)->Unit(benchmark::kMillisecond);
BENCHMARK(LibTiffDecode)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Encode, Tiff, kTypeTiff)->Unit(benchmark::kMillisecond);
BENCHMARK(LibTiffEncode)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
