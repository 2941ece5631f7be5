// Decoding and encoding the GIF, ICO, TGA, PCX and WBMP formats in memory, and playing a
// metafile, reported in MB/s of pixel data.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "image/raster.h"

namespace {

constexpr uint32_t kWidth = 3000;
constexpr uint32_t kHeight = 2000;

// A picture with smooth areas and some grain, at 24 bits and reduced to 8-bit and 1-bit.
CRaster MakePicture(uint32_t width, uint32_t height, uint32_t bpp) {
    CRaster image(width, height, bpp);
    if (bpp == 8)
        for (uint32_t i = 0; i < 256; ++i)
            image.SetPaletteIndex(i, (i >> 5) * 36, ((i >> 2) & 7) * 36, (i & 3) * 85);
    if (bpp == 1) image.SetPaletteIndex(1, 255, 255, 255);
    uint32_t seed = 99;
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* row = image.GetBits(y);
        for (uint32_t x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int grain = static_cast<int>(seed >> 30);
            const uint8_t r = static_cast<uint8_t>(128 + 100 * std::sin(x * 0.004) + grain);
            const uint8_t g = static_cast<uint8_t>((x / 50 + y / 40) % 7 * 36);
            const uint8_t b = static_cast<uint8_t>(y * 255 / height);
            if (bpp == 24) {
                row[3 * x] = b;
                row[3 * x + 1] = g;
                row[3 * x + 2] = r;
            } else if (bpp == 8) {
                row[x] = static_cast<uint8_t>((r >> 5) << 5 | (g >> 5) << 2 | b >> 6);
            } else if ((r + g) & 64) {
                row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
            }
        }
    }
    return image;
}

const CRaster& Picture(uint32_t bpp, bool small = false) {
    static CRaster pictures[2][25];
    CRaster& p = pictures[small][bpp];
    if (!p.IsValid()) p = small ? MakePicture(255, 255, bpp) : MakePicture(kWidth, kHeight, bpp);
    return p;
}

std::vector<uint8_t> EncodeToMemory(const CRaster& picture, uint32_t type) {
    CRaster image(picture);
    uint8_t* buffer = nullptr;
    int32_t size = 0;
    if (!image.Encode(buffer, size, type)) return {};
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    std::memcpy(bytes.data(), buffer, bytes.size());
    std::free(buffer);
    return bytes;
}

int64_t PixelBytes(const CRaster& image) {
    return int64_t{image.GetWidth()} * image.GetHeight() *
           std::max<uint32_t>(1, image.GetBpp() / 8);
}

void Decode(benchmark::State& state, uint32_t type, uint32_t bpp, bool small) {
    const CRaster& picture = Picture(bpp, small);
    std::vector<uint8_t> file = EncodeToMemory(picture, type);
    if (file.empty()) {
        state.SkipWithError("encoding failed");
        return;
    }
    for (auto _ : state) {
        CRaster image;
        if (!image.Decode(file.data(), static_cast<uint32_t>(file.size()), type)) {
            state.SkipWithError(image.GetLastError());
            break;
        }
        benchmark::DoNotOptimize(image.GetBits());
    }
    state.SetBytesProcessed(state.iterations() * PixelBytes(picture));
}

void Encode(benchmark::State& state, uint32_t type, uint32_t bpp, bool small) {
    CRaster picture(Picture(bpp, small));
    for (auto _ : state) {
        uint8_t* buffer = nullptr;
        int32_t size = 0;
        if (!picture.Encode(buffer, size, type)) {
            state.SkipWithError(picture.GetLastError());
            break;
        }
        std::free(buffer);
    }
    state.SetBytesProcessed(state.iterations() * PixelBytes(picture));
}

// A placeable WMF of 1000 x 1000 units at one inch with many filled shapes, lines and text.
std::vector<uint8_t> Metafile() {
    std::vector<uint8_t> records;
    auto add = [&](uint16_t function, std::vector<int16_t> words) {
        const uint32_t size = 3 + static_cast<uint32_t>(words.size());
        for (int i = 0; i < 4; ++i) records.push_back(static_cast<uint8_t>(size >> (8 * i)));
        records.push_back(static_cast<uint8_t>(function));
        records.push_back(static_cast<uint8_t>(function >> 8));
        for (int16_t w : words) {
            records.push_back(static_cast<uint8_t>(w));
            records.push_back(static_cast<uint8_t>(static_cast<uint16_t>(w) >> 8));
        }
    };
    add(0x020C, {1000, 1000});
    for (int i = 0; i < 400; ++i) {
        const int16_t x = static_cast<int16_t>((i * 37) % 900),
                      y = static_cast<int16_t>((i * 53) % 900);
        add(0x02FC, {0, static_cast<int16_t>(i * 997), static_cast<int16_t>(i % 255), 0});
        add(0x012D, {0});
        add(i % 2 ? 0x041B : 0x0418,
            {static_cast<int16_t>(y + 100), static_cast<int16_t>(x + 100), y, x});
        add(0x01F0, {0});
        add(0x0214, {y, x});
        add(0x0213, {static_cast<int16_t>(999 - y), static_cast<int16_t>(999 - x)});
    }
    std::vector<uint8_t> file;
    const uint16_t words[10] = {0xCDD7, 0x9AC6, 0, 0, 0, 1000, 1000, 1000 / 10, 0, 0};
    uint16_t check = 0;
    for (uint16_t w : words) {
        file.push_back(static_cast<uint8_t>(w));
        file.push_back(static_cast<uint8_t>(w >> 8));
        check ^= w;
    }
    file.push_back(static_cast<uint8_t>(check));
    file.push_back(static_cast<uint8_t>(check >> 8));
    const uint8_t header[18] = {1, 0, 9, 0, 0, 3, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0};
    file.insert(file.end(), header, header + sizeof header);
    file.insert(file.end(), records.begin(), records.end());
    file.insert(file.end(), {3, 0, 0, 0, 0, 0});
    return file;
}

void DecodeMetafile(benchmark::State& state) {
    std::vector<uint8_t> file = Metafile();
    int64_t pixels = 0;
    for (auto _ : state) {
        CRaster image;
        if (!image.Decode(file.data(), static_cast<uint32_t>(file.size()), kTypeWmf)) {
            state.SkipWithError(image.GetLastError());
            break;
        }
        pixels = int64_t{image.GetWidth()} * image.GetHeight() * 3;
    }
    state.SetBytesProcessed(state.iterations() * pixels);
}

}  // namespace

BENCHMARK_CAPTURE(Decode, Gif8, kTypeGif, 8, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Encode, Gif8, kTypeGif, 8, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, Gif24Tiles, kTypeGif, 24, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Encode, Gif24Tiles, kTypeGif, 24, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, Ico24, kTypeIco, 24, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Encode, Ico24, kTypeIco, 24, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Decode, Tga8, kTypeTga, 8, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, Tga24, kTypeTga, 24, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Encode, Tga24, kTypeTga, 24, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, Pcx8, kTypePcx, 8, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, Pcx24, kTypePcx, 24, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Encode, Pcx24, kTypePcx, 24, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, Wbmp, kTypeWbmp, 1, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Encode, Wbmp, kTypeWbmp, 1, false)->Unit(benchmark::kMillisecond);
BENCHMARK(DecodeMetafile)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
