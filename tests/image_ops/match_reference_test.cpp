// The fast operations against the straightforward ones, byte for byte, on random images of
// every depth and odd sizes (one big enough to be split across threads).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "image/octree_palette.h"
#include "image/palette_lookup.h"
#include "image/raster_ops_internal.h"
#include "op_images.h"
#include "reference_ops.h"

namespace {

struct Shape {
    uint32_t width, height;
};
const Shape kShapes[] = {{1, 1}, {3, 5}, {7, 2}, {13, 9}, {33, 17}, {65, 3}, {2, 67}, {130, 71}};

// Every operation that splits its rows across threads does so here even on small images, in
// three uneven bands.
class SplitEverything : public ::testing::Environment {
  public:
    void SetUp() override { rasterops::SetParallelism(3, 1); }
    void TearDown() override { rasterops::SetParallelism(0, 1u << 18); }
};
const auto* const kSplit = ::testing::AddGlobalTestEnvironment(new SplitEverything);

// Every shape at the test's depth, alternating alpha plane and transparency.
std::vector<CRaster> Images(uint32_t bpp) {
    std::vector<CRaster> images;
    uint32_t seed = bpp * 1000;
    for (const Shape& s : kShapes) {
        ImageOptions options;
        options.alpha = seed % 2 == 0;
        options.transparent = seed % 3 == 0;
        images.push_back(RandomImage(s.width, s.height, bpp, ++seed, options));
    }
    return images;
}

std::string Describe(const CRaster& image) {
    return std::to_string(image.GetWidth()) + "x" + std::to_string(image.GetHeight()) + "x" +
           std::to_string(image.GetBpp()) + (image.AlphaIsValid() ? " alpha" : "") +
           (image.GetTransIndex() >= 0 ? " transparent" : "");
}

class MatchReference : public ::testing::TestWithParam<uint32_t> {};

TEST_P(MatchReference, GrayScaleMirrorAndTurns) {
    for (const CRaster& image : Images(GetParam())) {
        SCOPED_TRACE(Describe(image));
        CRaster grey(image);
        ASSERT_TRUE(grey.GrayScale());
        EXPECT_TRUE(SameImage(grey, reference::GrayScale(image)));
        const CRaster expectedMirror = reference::Mirror(image);
        const CRaster expectedLeft = reference::RotateLeft(image);
        const CRaster expectedRight = reference::RotateRight(image);
        for (bool vector : {true, false}) {
            rasterops::EnableVectorCode(vector);
            CRaster mirrored(image), left(image), right(image);
            ASSERT_TRUE(mirrored.Mirror());
            EXPECT_TRUE(SameImage(mirrored, expectedMirror)) << vector;
            ASSERT_TRUE(left.RotateLeft());
            EXPECT_TRUE(SameImage(left, expectedLeft)) << vector;
            ASSERT_TRUE(right.RotateRight());
            EXPECT_TRUE(SameImage(right, expectedRight)) << vector;
        }
        rasterops::EnableVectorCode(true);
        CRaster right(image);
        ASSERT_TRUE(right.RotateRight());

        // With a destination the image itself stays as it was.
        CRaster source(image), turned;
        ASSERT_TRUE(source.RotateRight(&turned));
        EXPECT_TRUE(SameImage(source, image));
        EXPECT_TRUE(SameImage(turned, right));
    }
}

TEST_P(MatchReference, Resample) {
    for (const CRaster& image : Images(GetParam())) {
        SCOPED_TRACE(Describe(image));
        const uint32_t w = image.GetWidth(), h = image.GetHeight();
        const Shape targets[] = {{w / 2 + 1, h / 3 + 1},
                                 {2 * w + 1, h + 3},
                                 {w * 3 / 2 + 1, h},
                                 {1, 1},
                                 {w * 2 / 3 + 1, h * 3 / 5 + 1},
                                 {w + 7, h / 2 + 1},
                                 {std::max(1u, w - 1), std::max(1u, h - 1)}};
        for (const Shape& t : targets) {
            for (bool fast : {false, true}) {
                SCOPED_TRACE(std::to_string(t.width) + "x" + std::to_string(t.height) +
                             (fast ? " fast" : ""));
                CRaster resampled(image);
                ASSERT_TRUE(resampled.Resample(t.width, t.height, fast));
                EXPECT_TRUE(
                    SameImage(resampled, reference::Resample(image, t.width, t.height, fast)));
            }
        }
    }
}

TEST_P(MatchReference, DepthChanges) {
    const uint32_t bpp = GetParam();
    for (const CRaster& image : Images(bpp)) {
        SCOPED_TRACE(Describe(image));
        for (uint32_t bits : {4u, 8u, 24u}) {
            if (bits <= bpp) continue;
            SCOPED_TRACE("increase to " + std::to_string(bits));
            CRaster increased(image);
            ASSERT_TRUE(increased.IncreaseBpp(bits));
            EXPECT_TRUE(SameImage(increased, reference::IncreaseBpp(image, bits)));
        }
        // A given palette of random colours, and the standard ones.
        RGBQUAD given[256];
        std::mt19937 rng(bpp);
        for (RGBQUAD& c : given)
            c.rgbRed = rng() & 0xFF, c.rgbGreen = rng() & 0xFF, c.rgbBlue = rng() & 0xFF;
        for (uint32_t bits : {1u, 4u, 8u}) {
            if (bits >= bpp) continue;
            for (bool diffusion : {false, true}) {
                for (const RGBQUAD* palette :
                     {static_cast<const RGBQUAD*>(nullptr), static_cast<const RGBQUAD*>(given)}) {
                    SCOPED_TRACE("decrease to " + std::to_string(bits) +
                                 (diffusion ? " diffused" : "") + (palette ? " given" : ""));
                    CRaster decreased(image);
                    ASSERT_TRUE(decreased.DecreaseBpp(bits, diffusion, palette));
                    EXPECT_TRUE(SameImage(decreased,
                                          reference::DecreaseBpp(image, bits, diffusion, palette)));
                }
            }
        }
    }
}

TEST_P(MatchReference, CropLightAndAlphaStrip) {
    for (const CRaster& image : Images(GetParam())) {
        SCOPED_TRACE(Describe(image));
        const int32_t w = image.GetWidth(), h = image.GetHeight();
        const int32_t rects[][4] = {{0, 0, w, h},         {1, 1, w - 1, h},
                                    {w, h, w / 3, h / 2}, {-5, -5, w / 2 + 1, h + 9},
                                    {w / 4, 0, w - 1, 1}, {w - 1, h - 1, w + 3, h + 3}};
        for (const auto& r : rects) {
            SCOPED_TRACE("crop " + std::to_string(r[0]) + "," + std::to_string(r[1]) + "," +
                         std::to_string(r[2]) + "," + std::to_string(r[3]));
            CRaster cropped(image);
            const CRaster expected = reference::Crop(image, r[0], r[1], r[2], r[3]);
            EXPECT_EQ(cropped.Crop(r[0], r[1], r[2], r[3]), expected.IsValid());
            EXPECT_TRUE(SameImage(expected.IsValid() ? cropped : image,
                                  expected.IsValid() ? expected : cropped));
        }
        const int32_t lights[][2] = {{20, 100}, {-20, 100}, {13, 150}, {-70, 37}, {300, 0}};
        for (const auto& l : lights) {
            CRaster lit(image);
            ASSERT_TRUE(lit.Light(l[0], l[1]));
            EXPECT_TRUE(SameImage(lit, reference::Light(image, l[0], l[1]))) << l[0] << "," << l[1];
        }
        for (bool alphaPalette : {false, true}) {
            CRaster source(image);
            source.AlphaPaletteEnable(alphaPalette);
            source.SetAlphaMax(200);
            CRaster stripped(source);
            ASSERT_TRUE(stripped.AlphaStrip());
            EXPECT_TRUE(SameImage(stripped, reference::AlphaStrip(source)));
        }
    }
}

TEST_P(MatchReference, OctreePalette) {
    for (const CRaster& image : Images(GetParam())) {
        SCOPED_TRACE(Describe(image));
        for (uint32_t colors : {16u, 256u}) {
            for (uint32_t bits : {7u, 4u}) {
                RGBQUAD built[256] = {}, expected[256] = {};
                OctreePalette octree(colors, bits);
                ASSERT_TRUE(octree.AddImageColors(image.GetDIB(), image.GetSize()));
                octree.WritePalette(built);
                reference::OctreePalette(image, colors, bits, expected);
                EXPECT_EQ(0, std::memcmp(built, expected, sizeof built)) << colors << " " << bits;
                EXPECT_LE(octree.GetLeafCount(), colors);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryDepth, MatchReference, ::testing::Values(1u, 4u, 8u, 24u),
                         [](const auto& info) { return std::to_string(info.param) + "bit"; });

TEST(MatchReferenceSmooth, DiffusionAndOptimalPaletteOnAPhotoLikeImage) {
    const CRaster image = SmoothImage(301, 203, 5);
    for (uint32_t bits : {1u, 4u, 8u}) {
        RGBQUAD palette[256] = {};
        OctreePalette octree(bits == 4 ? 16 : 256, 7);
        ASSERT_TRUE(octree.AddImageColors(image.GetDIB(), image.GetSize()));
        octree.WritePalette(palette);
        for (bool diffusion : {false, true}) {
            CRaster decreased(image);
            ASSERT_TRUE(decreased.DecreaseBpp(bits, diffusion, bits == 1 ? nullptr : palette));
            EXPECT_TRUE(SameImage(decreased, reference::DecreaseBpp(image, bits, diffusion,
                                                                    bits == 1 ? nullptr : palette)))
                << bits << (diffusion ? " diffused" : "");
        }
    }
    CRaster shrunk(image);
    ASSERT_TRUE(shrunk.Resample(97, 61, false));
    EXPECT_TRUE(SameImage(shrunk, reference::Resample(image, 97, 61, false)));
}

TEST(PaletteLookup, AnswersAsTheNearestIndexSearch) {
    std::mt19937 rng(11);
    for (uint32_t bpp : {1u, 4u, 8u}) {
        for (int round = 0; round < 3; ++round) {
            CRaster image = RandomImage(1, 1, bpp, rng());
            if (round == 2 && bpp == 8) image.SetStdPalette();
            PaletteLookup lookup(image.GetPalette(), image.GetNumColors());
            for (int k = 0; k < 20000; ++k) {
                RGBQUAD c;
                c.rgbRed = rng() & 0xFF, c.rgbGreen = rng() & 0xFF, c.rgbBlue = rng() & 0xFF;
                if (k % 4 == 0) {  // near or on an entry, where ties and exact matches lie
                    c = image.GetPaletteColor(rng() % image.GetNumColors());
                    c.rgbRed = static_cast<uint8_t>(c.rgbRed + (rng() % 3) - 1);
                }
                ASSERT_EQ(lookup.Nearest(c), image.GetNearestIndex(c))
                    << bpp << ": " << int(c.rgbRed) << "," << int(c.rgbGreen) << ","
                    << int(c.rgbBlue);
            }
        }
    }
}

}  // namespace
