// The image operations on a 6000 × 4000 picture: 24 bits for every operation, 8 and 4 bits for
// the depth changes and the palette work. A plain copy of the pixels is the yardstick for the
// operations that only move pixels.

#include <benchmark/benchmark.h>

#include <cstring>
#include <functional>
#include <optional>
#include <random>
#include <vector>

#include "image/octree_palette.h"
#include "image/raster.h"

namespace {

constexpr uint32_t kWidth = 6000, kHeight = 4000;

// Smooth gradients, a few shapes and some noise: many colours, as in a photograph.
const CRaster& Picture24() {
    static const CRaster picture = [] {
        CRaster image(kWidth, kHeight, 24);
        std::mt19937 rng(42);
        for (uint32_t y = 0; y < kHeight; ++y) {
            uint8_t* p = image.GetBits(y);
            for (uint32_t x = 0; x < kWidth; ++x, p += 3) {
                const uint32_t noise = rng();
                const bool disc = (x - 2000) * (x - 2000) + (y - 1800) * (y - 1800) < 900000;
                p[0] = static_cast<uint8_t>(x * 200 / kWidth + (noise & 15));
                p[1] = static_cast<uint8_t>(disc ? 220 - y / 40
                                                 : y * 180 / kHeight + ((noise >> 4) & 15));
                p[2] =
                    static_cast<uint8_t>((x + y) * 255 / (kWidth + kHeight) + ((noise >> 8) & 7));
            }
        }
        return image;
    }();
    return picture;
}

// The picture reduced to the standard palettes, or (32) with a half-transparent alpha plane.
const CRaster& Picture(uint32_t bpp) {
    static const CRaster eight = [] {
        CRaster image(Picture24());
        image.DecreaseBpp(8, false, nullptr);
        return image;
    }();
    static const CRaster four = [] {
        CRaster image(Picture24());
        image.DecreaseBpp(4, false, nullptr);
        return image;
    }();
    static const CRaster withAlpha = [] {
        CRaster image(Picture24());
        image.AlphaCreate();
        image.AlphaSet(128);
        return image;
    }();
    return bpp == 8 ? eight : bpp == 4 ? four : bpp == 32 ? withAlpha : Picture24();
}

// Times `op` on a fresh copy of the picture each iteration (copying and freeing not timed).
void Run(benchmark::State& state, uint32_t bpp, const std::function<void(CRaster&)>& op) {
    const CRaster& source = Picture(bpp);
    std::optional<CRaster> work;
    for (auto _ : state) {
        state.PauseTiming();
        work.emplace(source);
        state.ResumeTiming();
        op(*work);
        benchmark::DoNotOptimize(work->GetDIB());
        state.PauseTiming();
        work.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * source.GetSize());
}

void PlainCopy(benchmark::State& state) {
    const CRaster& source = Picture24();
    std::vector<uint8_t> target(source.GetSize());
    for (auto _ : state) {
        std::memcpy(target.data(), source.GetDIB(), source.GetSize());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * source.GetSize());
}

// A copy of the image object: a fresh block and the pixels copied into it.
void CopyImage(benchmark::State& state) {
    const CRaster& source = Picture24();
    std::optional<CRaster> copy;
    for (auto _ : state) {
        copy.emplace(source);
        benchmark::DoNotOptimize(copy->GetDIB());
        state.PauseTiming();
        copy.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * source.GetSize());
}

void Register(const char* name, uint32_t bpp, std::function<void(CRaster&)> op) {
    benchmark::RegisterBenchmark(name, [bpp, op](benchmark::State& s) { Run(s, bpp, op); })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
}

// The editor's optimal palette: an octree of 16 or 256 colours at 7 bits.
void DecreaseOptimal(CRaster& image, uint32_t bits, bool diffuse) {
    std::vector<RGBQUAD> palette(bits == 4 ? 16 : 256);
    OctreePalette octree(static_cast<uint32_t>(palette.size()), 7);
    octree.AddImageColors(image.GetDIB(), image.GetSize());
    octree.WritePalette(palette.data());
    image.DecreaseBpp(bits, diffuse, palette.data());
}

const bool registered = [] {
    benchmark::RegisterBenchmark("PlainCopy/24", PlainCopy)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("CopyImage/24", CopyImage)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    Register("GrayScale/24", 24, [](CRaster& i) { i.GrayScale(); });
    Register("Mirror/24", 24, [](CRaster& i) { i.Mirror(); });
    Register("RotateLeft/24", 24, [](CRaster& i) { i.RotateLeft(); });
    Register("RotateRight/24", 24, [](CRaster& i) { i.RotateRight(); });
    Register("ResampleArea/24/3000x2000", 24, [](CRaster& i) { i.Resample(3000, 2000); });
    Register("ResampleArea/24/1500x1000", 24, [](CRaster& i) { i.Resample(1500, 1000); });
    Register("ResampleBilinear/24/7000x4500", 24, [](CRaster& i) { i.Resample(7000, 4500); });
    Register("ResampleBilinear/24/3000x5000", 24, [](CRaster& i) { i.Resample(3000, 5000); });
    Register("ResampleFast/24/3000x2000", 24, [](CRaster& i) { i.Resample(3000, 2000, true); });
    Register("Crop/24/4000x3000", 24, [](CRaster& i) { i.Crop(1000, 500, 5000, 3500); });
    Register("Light/24", 24, [](CRaster& i) { i.Light(20, 100); });
    Register("AlphaStrip/24", 32, [](CRaster& i) { i.AlphaStrip(); });
    Register("DecreaseBpp/24to8", 24, [](CRaster& i) { i.DecreaseBpp(8, false, nullptr); });
    Register("DecreaseBpp/24to8/diffuse", 24, [](CRaster& i) { i.DecreaseBpp(8, true, nullptr); });
    Register("DecreaseBpp/24to4", 24, [](CRaster& i) { i.DecreaseBpp(4, false, nullptr); });
    Register("DecreaseBpp/24to4/diffuse", 24, [](CRaster& i) { i.DecreaseBpp(4, true, nullptr); });
    Register("DecreaseBpp/24to1/diffuse", 24, [](CRaster& i) { i.DecreaseBpp(1, true, nullptr); });
    Register("OctreePalette/24/256", 24, [](CRaster& i) {
        RGBQUAD palette[256] = {};
        OctreePalette octree(256, 7);
        octree.AddImageColors(i.GetDIB(), i.GetSize());
        octree.WritePalette(palette);
        benchmark::DoNotOptimize(palette);
    });
    Register("DecreaseOptimal/24to8", 24, [](CRaster& i) { DecreaseOptimal(i, 8, false); });
    Register("DecreaseOptimal/24to8/diffuse", 24, [](CRaster& i) { DecreaseOptimal(i, 8, true); });
    Register("DecreaseOptimal/24to4/diffuse", 24, [](CRaster& i) { DecreaseOptimal(i, 4, true); });

    Register("GrayScale/8", 8, [](CRaster& i) { i.GrayScale(); });
    Register("IncreaseBpp/8to24", 8, [](CRaster& i) { i.IncreaseBpp(24); });
    Register("DecreaseBpp/8to4", 8, [](CRaster& i) { i.DecreaseBpp(4, false, nullptr); });
    Register("DecreaseBpp/8to4/diffuse", 8, [](CRaster& i) { i.DecreaseBpp(4, true, nullptr); });
    Register("DecreaseBpp/8to1/diffuse", 8, [](CRaster& i) { i.DecreaseBpp(1, true, nullptr); });
    Register("ResampleBilinear/8/3000x2000", 8, [](CRaster& i) { i.Resample(3000, 2000); });
    Register("RotateLeft/8", 8, [](CRaster& i) { i.RotateLeft(); });
    Register("Mirror/8", 8, [](CRaster& i) { i.Mirror(); });
    Register("OctreePalette/8/16", 8, [](CRaster& i) {
        RGBQUAD palette[16] = {};
        OctreePalette octree(16, 7);
        octree.AddImageColors(i.GetDIB(), i.GetSize());
        octree.WritePalette(palette);
        benchmark::DoNotOptimize(palette);
    });

    Register("GrayScale/4", 4, [](CRaster& i) { i.GrayScale(); });
    Register("IncreaseBpp/4to8", 4, [](CRaster& i) { i.IncreaseBpp(8); });
    Register("IncreaseBpp/4to24", 4, [](CRaster& i) { i.IncreaseBpp(24); });
    Register("DecreaseBpp/4to1", 4, [](CRaster& i) { i.DecreaseBpp(1, false, nullptr); });
    Register("DecreaseBpp/4to1/diffuse", 4, [](CRaster& i) { i.DecreaseBpp(1, true, nullptr); });
    Register("RotateRight/4", 4, [](CRaster& i) { i.RotateRight(); });
    Register("Mirror/4", 4, [](CRaster& i) { i.Mirror(); });
    return true;
}();

}  // namespace

BENCHMARK_MAIN();
