// Exact values and boundaries of the image operations.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "image/octree_palette.h"
#include "op_images.h"

namespace {

RGBQUAD Rgb(uint8_t r, uint8_t g, uint8_t b) {
    RGBQUAD c;
    c.rgbRed = r, c.rgbGreen = g, c.rgbBlue = b;
    return c;
}

CRaster Filled(uint32_t width, uint32_t height, RGBQUAD color) {
    CRaster image(width, height, 24);
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* p = image.GetBits(y);
        for (uint32_t x = 0; x < width; ++x, p += 3)
            p[0] = color.rgbBlue, p[1] = color.rgbGreen, p[2] = color.rgbRed;
    }
    return image;
}

TEST(EmptyImage, EveryOperationRefuses) {
    CRaster image;
    RGBQUAD palette[256] = {};
    OctreePalette octree(16, 7);
    EXPECT_FALSE(image.GrayScale());
    EXPECT_FALSE(image.Mirror());
    EXPECT_FALSE(image.RotateLeft());
    EXPECT_FALSE(image.RotateRight());
    EXPECT_FALSE(image.Resample(10, 10));
    EXPECT_FALSE(image.IncreaseBpp(24));
    EXPECT_FALSE(image.DecreaseBpp(8, true, palette));
    EXPECT_FALSE(image.Crop(0, 0, 5, 5));
    EXPECT_FALSE(image.Light(20, 100));
    EXPECT_FALSE(image.AlphaStrip());
    EXPECT_FALSE(image.SetStdPalette());
    EXPECT_FALSE(octree.AddImageColors(image.GetDIB(), image.GetSize()));
    EXPECT_FALSE(image.IsValid());
}

TEST(GrayScale, WeighsRedGreenAndBlue) {
    CRaster image(3, 1, 24);
    image.SetPixelColor(0, 0, Rgb(255, 0, 0));
    image.SetPixelColor(1, 0, Rgb(0, 255, 0));
    image.SetPixelColor(2, 0, Rgb(0, 0, 255));
    ASSERT_TRUE(image.GrayScale());
    ASSERT_EQ(image.GetBpp(), 8u);
    EXPECT_TRUE(image.IsGrayScale());
    EXPECT_EQ(image.GetPixelIndex(0, 0), 76);
    EXPECT_EQ(image.GetPixelIndex(1, 0), 150);
    EXPECT_EQ(image.GetPixelIndex(2, 0), 28);
}

TEST(GrayScale, TransparentIndexFollowsItsEntry) {
    CRaster image(4, 2, 4);
    image.SetPaletteIndex(5, 0, 255, 0);
    image.SetTransIndex(5);
    image.SetPixelIndex(1, 1, 5);
    image.AlphaCreate();
    image.AlphaSet(1, 1, 99);
    ASSERT_TRUE(image.GrayScale());
    EXPECT_EQ(image.GetBpp(), 8u);
    EXPECT_EQ(image.GetTransIndex(), 150);
    EXPECT_EQ(image.GetPixelIndex(1, 1), 150);
    EXPECT_FALSE(image.AlphaIsValid()) << "a 4-bit image leaves its alpha plane behind";
}

TEST(Resample, SameSizeLeavesTheBuffersAndZeroSizeRefuses) {
    CRaster image = RandomImage(5, 4, 24, 1);
    const uint8_t* block = image.GetDIB();
    const CRaster before(image);
    EXPECT_TRUE(image.Resample(5, 4, false));
    EXPECT_EQ(image.GetDIB(), block);
    EXPECT_FALSE(image.Resample(0, 4, false));
    EXPECT_FALSE(image.Resample(5, 0, true));
    EXPECT_FALSE(image.Resample(-3, 4, true));
    EXPECT_TRUE(SameImage(image, before));
}

TEST(Resample, HalvingAveragesEachBlock) {
    CRaster image = RandomImage(4, 4, 24, 3);
    CRaster halved(image);
    ASSERT_TRUE(halved.Resample(2, 2, false));
    ASSERT_EQ(halved.GetWidth(), 2u);
    for (int32_t y = 0; y < 2; ++y) {
        for (int32_t x = 0; x < 2; ++x) {
            const uint8_t* out = halved.GetBits(y) + 3 * x;
            for (int j = 0; j < 3; ++j) {
                int sum = 0;
                for (int k = 0; k < 4; ++k)
                    sum += image.GetBits(2 * y + k / 2)[3 * (2 * x + k % 2) + j];
                EXPECT_EQ(out[j], sum / 4) << x << "," << y << " channel " << j;
            }
        }
    }
}

TEST(Resample, LargeReductionsAverageWithoutOverflow) {
    // 400 × 300 source pixels per output pixel: far beyond what 32-bit sums could hold.
    CRaster image = Filled(800, 600, Rgb(250, 128, 3));
    ASSERT_TRUE(image.Resample(2, 2, false));
    for (int32_t y = 0; y < 2; ++y) {
        for (int32_t x = 0; x < 2; ++x) {
            const RGBQUAD c = image.GetPixelColor(x, y);
            EXPECT_NEAR(c.rgbRed, 250, 1);
            EXPECT_NEAR(c.rgbGreen, 128, 1);
            EXPECT_NEAR(c.rgbBlue, 3, 1);
        }
    }
}

TEST(Resample, EscapeStillTransfersThePartialResult) {
    CRaster image = Filled(30, 20, Rgb(9, 9, 9));
    image.SetEscape(1);
    EXPECT_TRUE(image.Resample(60, 40, false));
    EXPECT_EQ(image.GetWidth(), 60u);
    EXPECT_EQ(image.GetPixelColor(10, 10), Rgb(0, 0, 0));  // no row was computed
    EXPECT_NE(image.GetEscape(), 0);
}

TEST(Planes, KeptByMirrorTurnsAndResampleDroppedByCrop) {
    CRaster image(4, 3, 24);
    image.AlphaCreate();
    image.AlphaSet(0, 0, 200);  // bottom-left
    CRaster mirrored(image), left(image), right(image), resampled(image), cropped(image);
    ASSERT_TRUE(mirrored.Mirror());
    EXPECT_EQ(mirrored.AlphaGet(3, 0), 200);
    ASSERT_TRUE(left.RotateLeft());
    EXPECT_EQ(left.AlphaGet(2, 0), 200);  // bottom-left goes to bottom-right
    ASSERT_TRUE(right.RotateRight());
    EXPECT_EQ(right.AlphaGet(0, 3), 200);  // and to top-left the other way
    ASSERT_TRUE(resampled.Resample(8, 6, true));
    EXPECT_EQ(resampled.AlphaGet(1, 1), 200);
    ASSERT_TRUE(cropped.Crop(0, 1, 2, 3));
    EXPECT_FALSE(cropped.AlphaIsValid());
}

TEST(Planes, SelectionKeptOnlyByDepthChanges) {
    SelectableRaster image;
    image.Copy(RandomImage(6, 5, 4, 8));
    image.Select([](uint32_t x, uint32_t) { return x < 3; });
    CRaster increased(image), decreased(image), mirrored(image), cropped(image);
    ASSERT_TRUE(increased.IncreaseBpp(24));
    EXPECT_TRUE(increased.SelectionIsValid());
    ASSERT_TRUE(decreased.DecreaseBpp(1, true, nullptr));
    EXPECT_TRUE(decreased.SelectionIsValid());
    ASSERT_TRUE(mirrored.Mirror());
    EXPECT_FALSE(mirrored.SelectionIsValid());
    ASSERT_TRUE(cropped.Crop(1, 1, 4, 4));
    EXPECT_FALSE(cropped.SelectionIsValid());
}

TEST(Turns, FollowTheDisplayedImage) {
    // Displayed (top row first):  A B C
    //                             D E F
    CRaster image(3, 2, 8);
    const uint8_t top[] = {'A', 'B', 'C'}, bottom[] = {'D', 'E', 'F'};
    std::memcpy(image.GetBits(1), top, 3);
    std::memcpy(image.GetBits(0), bottom, 3);
    CRaster left, right;
    ASSERT_TRUE(image.RotateLeft(&left));
    ASSERT_TRUE(image.RotateRight(&right));
    // Counter-clockwise: C F / B E / A D; clockwise: D A / E B / F C.
    EXPECT_EQ(std::string(reinterpret_cast<char*>(left.GetBits(2)), 2), "CF");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(left.GetBits(0)), 2), "AD");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(right.GetBits(2)), 2), "DA");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(right.GetBits(0)), 2), "FC");
    EXPECT_EQ(image.GetWidth(), 3u);  // the source stays
}

TEST(Crop, SwappedEdgesAndOutsideRectangles) {
    const CRaster image = RandomImage(9, 7, 24, 4);
    CRaster a(image), b(image), outside(image), flat(image);
    ASSERT_TRUE(a.Crop(2, 1, 6, 5));
    ASSERT_TRUE(b.Crop(6, 5, 2, 1));
    EXPECT_TRUE(SameImage(a, b));
    EXPECT_EQ(a.GetWidth(), 4u);
    EXPECT_EQ(a.GetHeight(), 4u);
    // Top-down rows 1..4 are bottom-up rows 2..5.
    EXPECT_EQ(0, std::memcmp(a.GetBits(0), image.GetBits(2) + 6, 12));
    EXPECT_FALSE(outside.Crop(20, 20, 30, 30));
    EXPECT_FALSE(flat.Crop(3, 2, 3, 6));
    EXPECT_TRUE(SameImage(outside, image));
    EXPECT_TRUE(SameImage(flat, image));
}

TEST(Light, ExactValues) {
    CRaster image(3, 1, 24);
    image.SetPixelColor(0, 0, Rgb(250, 0, 128));
    image.SetPixelColor(1, 0, Rgb(1, 127, 255));
    const CRaster before(image);
    ASSERT_TRUE(image.Light(0, 100));
    EXPECT_TRUE(SameImage(image, before));
    ASSERT_TRUE(image.Light(20, 100));
    EXPECT_EQ(image.GetPixelColor(0, 0), Rgb(255, 20, 148));
    EXPECT_EQ(image.GetPixelColor(1, 0), Rgb(21, 147, 255));
    ASSERT_TRUE(image.Light(-20, 100));
    EXPECT_EQ(image.GetPixelColor(0, 0), Rgb(235, 0, 128));
    // Contrast 50 halves the distance to 128, truncating toward zero.
    CRaster contrast(2, 1, 24);
    contrast.SetPixelColor(0, 0, Rgb(0, 255, 129));
    ASSERT_TRUE(contrast.Light(0, 50));
    EXPECT_EQ(contrast.GetPixelColor(0, 0), Rgb(64, 191, 128));
}

TEST(Light, PaletteEntriesAndSelection) {
    CRaster palette(2, 1, 1);
    palette.SetPaletteIndex(1, 100, 240, 0);
    ASSERT_TRUE(palette.Light(20, 100));
    EXPECT_EQ(palette.GetPaletteColor(1), Rgb(120, 255, 20));
    EXPECT_EQ(palette.GetPaletteColor(0), Rgb(20, 20, 20));

    SelectableRaster image;
    image.Copy(Filled(4, 1, Rgb(50, 50, 50)));
    image.Select([](uint32_t x, uint32_t) { return x % 2 == 1; });
    ASSERT_TRUE(image.Light(20, 100));
    EXPECT_EQ(image.GetPixelColor(0, 0), Rgb(50, 50, 50));
    EXPECT_EQ(image.GetPixelColor(1, 0), Rgb(70, 70, 70));
}

TEST(IncreaseBpp, SameDepthAndRefusals) {
    CRaster image = RandomImage(5, 3, 24, 6);
    const uint8_t* block = image.GetDIB();
    EXPECT_TRUE(image.IncreaseBpp(24));
    EXPECT_EQ(image.GetDIB(), block);
    CRaster small = RandomImage(5, 3, 8, 6);
    EXPECT_FALSE(small.IncreaseBpp(4));
    EXPECT_FALSE(small.IncreaseBpp(16));
    EXPECT_FALSE(small.IncreaseBpp(32));
    EXPECT_EQ(small.GetBpp(), 8u);
}

TEST(IncreaseBpp, KeepsTheColoursAndTheTransparentColour) {
    CRaster image = RandomImage(9, 4, 4, 2);
    image.SetTransIndex(3);
    CRaster increased(image);
    ASSERT_TRUE(increased.IncreaseBpp(24));
    EXPECT_TRUE(SamePixelColors(image, increased));
    ASSERT_GE(increased.GetTransIndex(), 0);
    const RGBQUAD trans = increased.GetTransColor();
    EXPECT_EQ(Rgb(trans.rgbRed, trans.rgbGreen, trans.rgbBlue),
              Rgb(image.GetPaletteColor(3).rgbRed, image.GetPaletteColor(3).rgbGreen,
                  image.GetPaletteColor(3).rgbBlue));
}

TEST(DecreaseBpp, RefusesBadDepths) {
    CRaster image = RandomImage(4, 4, 8, 1);
    EXPECT_FALSE(image.DecreaseBpp(24, false, nullptr));
    EXPECT_TRUE(image.DecreaseBpp(8, false, nullptr));
    EXPECT_FALSE(image.DecreaseBpp(2, false, nullptr));
    EXPECT_FALSE(image.DecreaseBpp(0, false, nullptr));
    EXPECT_EQ(image.GetBpp(), 8u);
}

TEST(DecreaseBpp, OneBitIsBlackAndWhite) {
    CRaster image(4, 1, 24);
    image.SetPixelColor(0, 0, Rgb(10, 10, 10));
    image.SetPixelColor(1, 0, Rgb(240, 250, 255));
    image.SetPixelColor(2, 0, Rgb(100, 100, 100));
    image.SetPixelColor(3, 0, Rgb(200, 150, 120));
    ASSERT_TRUE(image.DecreaseBpp(1, false, nullptr));
    EXPECT_EQ(image.GetPaletteColor(0), Rgb(0, 0, 0));
    EXPECT_EQ(image.GetPaletteColor(1), Rgb(255, 255, 255));
    EXPECT_EQ(image.GetPixelIndex(0, 0), 0);
    EXPECT_EQ(image.GetPixelIndex(1, 0), 1);
    EXPECT_EQ(image.GetPixelIndex(2, 0), 0);
    EXPECT_EQ(image.GetPixelIndex(3, 0), 1);
}

TEST(DecreaseBpp, DiffusionMixesMidGreyIntoBlackAndWhite) {
    CRaster plain = Filled(40, 40, Rgb(128, 128, 128)), diffused(plain);
    ASSERT_TRUE(plain.DecreaseBpp(1, false, nullptr));
    ASSERT_TRUE(diffused.DecreaseBpp(1, true, nullptr));
    int whitePlain = 0, whiteDiffused = 0;
    for (int32_t y = 0; y < 40; ++y) {
        for (int32_t x = 0; x < 40; ++x) {
            whitePlain += plain.GetPixelIndex(x, y);
            whiteDiffused += diffused.GetPixelIndex(x, y);
        }
    }
    EXPECT_EQ(whitePlain, 1600);  // 128 lies nearer to white
    EXPECT_GT(whiteDiffused, 400);
    EXPECT_LT(whiteDiffused, 1200);
    // The first pixel's error (128 − 255 = −127) darkens its right neighbour by 7 × 127 / 16.
    EXPECT_EQ(diffused.GetPixelIndex(0, 0), 1);
    EXPECT_EQ(diffused.GetPixelIndex(1, 0), 0);  // 128 − 55 = 73
}

TEST(StdPalette, SixteenAndTwoHundredFiftySixColours) {
    CRaster four(1, 1, 4), eight(1, 1, 8), one(1, 1, 1);
    ASSERT_TRUE(four.SetStdPalette());
    EXPECT_EQ(four.GetPaletteColor(7), Rgb(192, 192, 192));
    EXPECT_EQ(four.GetPaletteColor(8), Rgb(128, 128, 128));
    EXPECT_EQ(four.GetPaletteColor(11), Rgb(255, 255, 0));
    EXPECT_EQ(four.GetPaletteColor(15), Rgb(255, 255, 255));
    EXPECT_FALSE(one.SetStdPalette());

    ASSERT_TRUE(eight.SetStdPalette());
    EXPECT_EQ(eight.GetPaletteColor(8), Rgb(192, 220, 192));
    EXPECT_EQ(eight.GetPaletteColor(9), Rgb(166, 202, 240));
    // Ramp 0, hue (255, 170, 0): tints then shades.
    EXPECT_EQ(eight.GetPaletteColor(10), Rgb(255, 240, 212));
    EXPECT_EQ(eight.GetPaletteColor(15), Rgb(255, 170, 37));
    EXPECT_EQ(eight.GetPaletteColor(16), Rgb(255, 170, 0));
    EXPECT_EQ(eight.GetPaletteColor(21), Rgb(80, 50, 0));
    // Ramp 2, the pure hue (254, 0, 0).
    EXPECT_EQ(eight.GetPaletteColor(34), Rgb(255, 212, 212));
    EXPECT_EQ(eight.GetPaletteColor(40), Rgb(254, 0, 0));
    EXPECT_EQ(eight.GetPaletteColor(41), Rgb(220, 0, 0));
    // Ramp 9, hue (0, 85, 255): middle 85.
    EXPECT_EQ(eight.GetPaletteColor(10 + 12 * 9), Rgb(212, 227, 255));
    EXPECT_EQ(eight.GetPaletteColor(10 + 12 * 9 + 11), Rgb(0, 25, 80));
    const uint8_t hues[18][3] = {
        {255, 170, 0}, {255, 85, 0}, {254, 0, 0}, {255, 0, 85}, {255, 0, 170}, {254, 0, 254},
        {170, 0, 255}, {85, 0, 255}, {0, 0, 254}, {0, 85, 255}, {0, 170, 255}, {0, 254, 254},
        {0, 255, 170}, {0, 255, 85}, {0, 254, 0}, {85, 255, 0}, {170, 255, 0}, {254, 254, 0}};
    for (int k = 0; k < 18; ++k)
        EXPECT_EQ(eight.GetPaletteColor(16 + 12 * k), Rgb(hues[k][0], hues[k][1], hues[k][2])) << k;
    EXPECT_EQ(eight.GetPaletteColor(226), Rgb(242, 242, 242));
    EXPECT_EQ(eight.GetPaletteColor(245), Rgb(14, 14, 14));
    EXPECT_EQ(eight.GetPaletteColor(246), Rgb(255, 251, 240));
    EXPECT_EQ(eight.GetPaletteColor(247), Rgb(160, 160, 164));
    EXPECT_EQ(eight.GetPaletteColor(255), Rgb(255, 255, 255));
}

TEST(AlphaStrip, BlendsOntoTheBackgroundColour) {
    CRaster image(2, 1, 24);
    image.SetPixelColor(0, 0, Rgb(0, 0, 0));
    image.SetPixelColor(1, 0, Rgb(0, 100, 200));
    image.SetBackgroundColor(Rgb(255, 255, 255));
    image.AlphaCreate();
    image.AlphaSet(0, 0, 128);
    image.AlphaSet(1, 0, 255);
    ASSERT_TRUE(image.AlphaStrip());
    EXPECT_FALSE(image.AlphaIsValid());
    EXPECT_EQ(image.GetPixelColor(0, 0), Rgb(127, 127, 127));
    EXPECT_EQ(image.GetPixelColor(1, 0), Rgb(0, 100, 200));

    // A palette image becomes a 24-bit BMP image; its transparent pixels take the background.
    CRaster palette(2, 1, 8, kTypeGif);
    palette.SetPaletteIndex(1, 10, 20, 30, 255);
    palette.SetPixelIndex(1, 0, 1);
    palette.SetTransIndex(0);
    palette.AlphaPaletteEnable();
    palette.SetBackgroundColor(Rgb(255, 255, 255));
    ASSERT_TRUE(palette.AlphaStrip());
    EXPECT_EQ(palette.GetBpp(), 24u);
    EXPECT_EQ(palette.GetType(), kTypeBmp);
    EXPECT_EQ(palette.GetTransIndex(), -1);
    EXPECT_EQ(palette.GetPixelColor(0, 0), Rgb(255, 255, 255));
    EXPECT_EQ(palette.GetPixelColor(1, 0), Rgb(10, 20, 30));
}

TEST(OctreePalette, ThreeColoursComeOutExactly) {
    CRaster image(5, 2, 24);
    const RGBQUAD colors[] = {Rgb(200, 10, 30), Rgb(0, 0, 255), Rgb(17, 99, 4)};
    for (int32_t y = 0; y < 2; ++y)
        for (int32_t x = 0; x < 5; ++x) image.SetPixelColor(x, y, colors[(x + y) % 3]);
    OctreePalette octree(16, 7);
    ASSERT_TRUE(octree.AddImageColors(image.GetDIB(), image.GetSize()));
    RGBQUAD palette[16] = {};
    octree.WritePalette(palette);
    EXPECT_EQ(octree.GetLeafCount(), 3u);
    // Tree order: by the top bits of red, green and blue.
    EXPECT_EQ(palette[0], Rgb(17, 99, 4));
    EXPECT_EQ(palette[1], Rgb(0, 0, 255));
    EXPECT_EQ(palette[2], Rgb(200, 10, 30));
    for (int i = 3; i < 16; ++i) EXPECT_EQ(palette[i], RGBQUAD{}) << i;
}

TEST(OctreePalette, BigUniformImagesKeepTheirColour) {
    CRaster image = Filled(6000, 3000, Rgb(255, 254, 253));  // sums beyond 32 bits
    OctreePalette octree(256, 7);
    ASSERT_TRUE(octree.AddImageColors(image.GetDIB(), image.GetSize()));
    RGBQUAD palette[256] = {};
    octree.WritePalette(palette);
    EXPECT_EQ(palette[0], Rgb(255, 254, 253));
}

TEST(OctreePalette, RefusesOtherDepthsAndShortBlocks) {
    CRaster image = RandomImage(8, 8, 8, 3);
    std::vector<uint8_t> block(image.GetDIB(), image.GetDIB() + image.GetSize());
    OctreePalette octree(16, 7);
    EXPECT_FALSE(octree.AddImageColors(block.data(), block.size() - 1));
    block[14] = 16;  // 16 bits per pixel
    EXPECT_FALSE(octree.AddImageColors(block.data(), block.size()));
    EXPECT_FALSE(octree.AddImageColors(nullptr, 0));
    EXPECT_EQ(octree.GetLeafCount(), 0u);
}

}  // namespace
