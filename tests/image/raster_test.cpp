#include "image/raster.h"

#include <gtest/gtest.h>

#include <cstring>

#include "test_images.h"

TEST(RasterCreate, RoundsDepthsAndSizesTheColourTable) {
    struct Case {
        uint32_t asked, bpp, colors;
    } cases[] = {{0, 1, 2},   {1, 1, 2},   {2, 4, 16},  {4, 4, 16}, {5, 8, 256},
                 {8, 8, 256}, {16, 24, 0}, {24, 24, 0}, {32, 24, 0}};
    for (const auto& c : cases) {
        CRaster image(5, 3, c.asked);
        ASSERT_TRUE(image.IsValid()) << c.asked;
        EXPECT_EQ(image.GetBpp(), c.bpp) << c.asked;
        EXPECT_EQ(image.GetNumColors(), c.colors) << c.asked;
        EXPECT_EQ(image.GetSize(), 40 + c.colors * 4 + image.GetEffWidth() * 3);
        const BITMAPINFOHEADER h = LoadInfoHeader(image.GetDIB());
        EXPECT_EQ(h.biBitCount, c.bpp);
        EXPECT_EQ(h.biPlanes, 1);
        EXPECT_EQ(h.biCompression, BI_RGB);
        EXPECT_EQ(h.biSizeImage, image.GetEffWidth() * 3);
        EXPECT_EQ(image.GetBits(), image.GetDIB() + 40 + c.colors * 4);
    }
}

TEST(RasterCreate, PadsRowsToFourBytes) {
    EXPECT_EQ(CRaster(3, 2, 24).GetEffWidth(), 12u);
    EXPECT_EQ(CRaster(1, 1, 1).GetEffWidth(), 4u);
    EXPECT_EQ(CRaster(33, 1, 1).GetEffWidth(), 8u);
    EXPECT_EQ(CRaster(9, 1, 4).GetEffWidth(), 8u);
    EXPECT_EQ(CRaster(4, 1, 8).GetEffWidth(), 4u);
}

TEST(RasterCreate, RefusesEmptyAndAbsurdSizes) {
    CRaster image;
    EXPECT_EQ(image.Create(0, 10, 24), nullptr);
    EXPECT_EQ(image.Create(10, 0, 24), nullptr);
    EXPECT_EQ(image.Create(1u << 15, (1u << 13) + 1, 8), nullptr);  // more than 2^28 pixels
    EXPECT_EQ(image.Create(0xFFFFFFFFu, 0xFFFFFFFFu, 24), nullptr);
    EXPECT_FALSE(image.IsValid());
    EXPECT_NE(image.Create(1u << 14, 1u << 14, 1), nullptr);  // exactly 2^28 pixels, 32 MiB
}

TEST(RasterCreate, StartsWithTheDefaults) {
    CRaster image(kTypePng);
    EXPECT_FALSE(image.IsValid());
    EXPECT_EQ(image.GetType(), kTypePng);
    EXPECT_EQ(image.GetEncodeQuality(), 75);
    EXPECT_EQ(image.GetAlphaMax(), 255);
    EXPECT_EQ(image.GetTransIndex(), -1);
    EXPECT_TRUE(image.IsEnabled());
    EXPECT_EQ(image.GetXDPI(), 72);
    EXPECT_EQ(image.GetHeader().biXPelsPerMeter, 2835);
    EXPECT_EQ(image.GetSize(), 0u);
}

TEST(RasterResolution, IsKeptInTheRecordAndTheHeader) {
    CRaster image(2, 2, 24);
    image.SetXDPI(300);
    image.SetYDPI(96);
    EXPECT_EQ(image.GetXDPI(), 300);
    EXPECT_EQ(image.GetHeader().biXPelsPerMeter, 11811);
    EXPECT_EQ(image.GetHeader().biYPelsPerMeter, 3780);
    EXPECT_EQ(LoadInfoHeader(image.GetDIB()).biXPelsPerMeter, 11811);
}

TEST(RasterPixels, PacksSubBytePixelsLeftmostHigh) {
    CRaster four(3, 1, 4);
    four.SetPixelIndex(0, 0, 0xA);
    four.SetPixelIndex(1, 0, 0x5);
    four.SetPixelIndex(2, 0, 0xF);
    EXPECT_EQ(four.GetBits()[0], 0xA5);
    EXPECT_EQ(four.GetBits()[1], 0xF0);
    EXPECT_EQ(four.GetPixelIndex(1, 0), 0x5);

    CRaster one(10, 2, 1);
    one.SetPixelIndex(0, 1, 1);
    one.SetPixelIndex(9, 1, 1);
    EXPECT_EQ(one.GetBits(1)[0], 0x80);
    EXPECT_EQ(one.GetBits(1)[1], 0x40);
    one.SetPixelIndex(0, 1, 0);
    EXPECT_EQ(one.GetBits(1)[0], 0x00);
    EXPECT_EQ(one.GetBits(0)[0], 0x00);
}

TEST(RasterPixels, StoresDirectColourAsBlueGreenRedBottomUp) {
    CRaster image(2, 2, 24);
    image.SetPixelColor(1, 1, RGB(10, 20, 30));
    const uint8_t* top = image.GetBits(1);
    EXPECT_EQ(top[3], 30);
    EXPECT_EQ(top[4], 20);
    EXPECT_EQ(top[5], 10);
    RGBQUAD c = image.GetPixelColor(1, 1);
    EXPECT_EQ(c.rgbRed, 10);
    EXPECT_EQ(image.GetPixelIndex(1, 1), 0);  // no palette
}

TEST(RasterPixels, OutsidePointsGiveTheTransparentColour) {
    CRaster image(2, 2, 8);
    image.SetPaletteIndex(7, 1, 2, 3);
    image.SetPixelIndex(5, 5, 9);  // ignored
    EXPECT_EQ(image.GetPixelIndex(-1, 0), 0);
    EXPECT_EQ(image.GetPixelColor(2, 0), image.GetInfo().backgroundColor);
    image.SetTransIndex(7);
    EXPECT_EQ(image.GetPixelIndex(-1, 0), 7);
    RGBQUAD c = image.GetPixelColor(0, 2);
    EXPECT_EQ(c.rgbRed, 1);
    EXPECT_EQ(c.rgbBlue, 3);

    CRaster direct(2, 2, 24);
    RGBQUAD back;
    back.rgbRed = 200;
    direct.SetBackgroundColor(back);
    EXPECT_EQ(direct.GetPixelColor(-1, -1).rgbRed, 200);
    EXPECT_EQ(CRaster().GetPixelColor(0, 0).rgbRed, 0);
}

TEST(RasterPalette, NearestIndexTakesTheFirstOfEqualEntries) {
    CRaster image(1, 1, 4);
    for (uint32_t i = 0; i < 16; ++i) image.SetPaletteIndex(i, 255, 255, 255);
    image.SetPaletteIndex(3, 100, 50, 25);
    image.SetPaletteIndex(9, 100, 50, 25);
    RGBQUAD c;
    c.rgbRed = 100;
    c.rgbGreen = 50;
    c.rgbBlue = 25;
    EXPECT_EQ(image.GetNearestIndex(c), 3);
    c.rgbRed = 101;  // no exact match: still the lower of the two nearest
    EXPECT_EQ(image.GetNearestIndex(c), 3);
    image.SetPixelColor(0, 0, RGB(99, 50, 25));
    EXPECT_EQ(image.GetPixelIndex(0, 0), 3);
    EXPECT_EQ(CRaster(1, 1, 24).GetNearestIndex(c), 0);
}

TEST(RasterPalette, GreySteps) {
    for (auto [bpp, step] : {std::pair{1u, 255u}, {4u, 17u}, {8u, 1u}}) {
        CRaster image(1, 1, bpp);
        image.SetGrayPalette();
        const uint32_t last = image.GetNumColors() - 1;
        EXPECT_EQ(image.GetPaletteColor(1).rgbGreen, step);
        EXPECT_EQ(image.GetPaletteColor(last).rgbRed, 255);
        EXPECT_EQ(image.IsGrayScale(), bpp == 8);
    }
}

TEST(RasterPalette, IgnoresIndicesBeyondTheTable) {
    CRaster image(1, 1, 1);
    image.SetPaletteIndex(2, 9, 9, 9);
    EXPECT_EQ(image.GetPaletteColor(2), RGBQUAD{});
    RGBQUAD many[4];
    many[1].rgbRed = 77;
    many[3].rgbRed = 88;
    image.SetPalette(many, 4);
    EXPECT_EQ(image.GetPaletteColor(1).rgbRed, 77);
    EXPECT_EQ(image.GetPaletteSize(), 8u);
    EXPECT_EQ(CRaster(1, 1, 24).GetPalette(), nullptr);
}

TEST(RasterLifetime, CopyDuplicatesBlockAndPlanes) {
    CRaster source = MakePattern(7, 5, 8);
    source.AlphaCreate();
    source.AlphaSet(3, 2, 99);
    source.SetAlphaMax(128);
    CRaster copy(source);
    ASSERT_TRUE(copy.IsValid());
    EXPECT_NE(copy.GetDIB(), source.GetDIB());
    EXPECT_EQ(std::memcmp(copy.GetDIB(), source.GetDIB(), source.GetSize()), 0);
    EXPECT_EQ(copy.AlphaGet(3, 2), 99);
    EXPECT_EQ(copy.GetAlphaMax(), 128);

    CRaster paletteOnly(source, false, false, false);
    EXPECT_FALSE(paletteOnly.AlphaIsValid());
    EXPECT_EQ(paletteOnly.GetPaletteColor(5), source.GetPaletteColor(5));
    EXPECT_EQ(paletteOnly.GetPixelIndex(1, 0), 0);

    CRaster assigned;
    assigned = source;
    assigned = assigned;
    EXPECT_TRUE(SamePixels(assigned, source));
}

TEST(RasterLifetime, TransferEmptiesItsSource) {
    CRaster source = MakePattern(4, 4, 24);
    source.AlphaCreate();
    uint8_t* block = source.GetDIB();
    CRaster target = MakePattern(2, 2, 8);
    target.Transfer(source);
    EXPECT_FALSE(source.IsValid());
    EXPECT_FALSE(source.AlphaIsValid());
    EXPECT_EQ(target.GetDIB(), block);
    EXPECT_TRUE(target.AlphaIsValid());
    EXPECT_EQ(target.GetWidth(), 4u);
}

TEST(RasterLifetime, GhostBorrowsWithoutFreeing) {
    CRaster owner = MakePattern(3, 3, 24);
    {
        CRaster ghost;
        ghost.Ghost(&owner);
        EXPECT_EQ(ghost.GetDIB(), owner.GetDIB());
        EXPECT_EQ(ghost.GetGhostOf(), &owner);
        EXPECT_FALSE(ghost.Destroy());
    }
    EXPECT_TRUE(owner.IsValid());  // the sanitizer run catches a double free here
    CRaster ghost;
    ghost.Ghost(&owner);
    ghost.Create(2, 2, 8);  // a ghost that creates owns its new block
    EXPECT_EQ(ghost.GetGhostOf(), nullptr);
    EXPECT_NE(ghost.GetDIB(), owner.GetDIB());
}

TEST(RasterLifetime, CopyInfoOnlyIntoAnEmptyImage) {
    CRaster source(kTypeJpeg);
    source.SetEncodeQuality(33);
    CRaster empty;
    empty.CopyInfo(source);
    EXPECT_EQ(empty.GetEncodeQuality(), 33);
    EXPECT_EQ(empty.GetType(), kTypeJpeg);
    CRaster valid(1, 1, 24);
    valid.CopyInfo(source);
    EXPECT_EQ(valid.GetEncodeQuality(), 75);
}

TEST(RasterPlanes, AlphaAndSelection) {
    CRaster image(3, 2, 24);
    EXPECT_EQ(image.AlphaGet(0, 0), 0);
    ASSERT_TRUE(image.AlphaCreate());
    image.AlphaSet(200);
    image.AlphaSet(2, 1, 7);
    image.AlphaSet(3, 1, 8);  // outside, ignored
    EXPECT_EQ(image.AlphaGet(0, 0), 200);
    EXPECT_EQ(image.AlphaGetBits()[5], 7);

    CRaster other(3, 2, 8);
    EXPECT_TRUE(other.AlphaCopy(image));
    EXPECT_EQ(other.AlphaGet(2, 1), 7);
    CRaster narrow(2, 2, 24);
    EXPECT_FALSE(narrow.AlphaCopy(image));
    CRaster shorter(3, 1, 24);  // same width, fewer rows: refused, never overrun
    EXPECT_FALSE(shorter.AlphaCopy(image));
    image.AlphaDelete();
    EXPECT_FALSE(image.AlphaIsValid());
    EXPECT_FALSE(other.SelectionCopy(image));
}

TEST(RasterBitfields, SixteenAndThirtyTwoBitRows) {
    // 2 x 2, 16-bit 5-6-5: rows of 4 bytes.
    const uint16_t words[4] = {0xF800, 0x07E0, 0x001F, 0xFFFF};
    uint8_t source[8];
    for (int i = 0; i < 4; ++i) le::Store16(source + 2 * i, words[i]);
    CRaster image(2, 2, 24);
    image.Bitfield2RGB(source, 0xF800, 0x07E0, 0x001F, 16);
    EXPECT_EQ(image.GetPixelColor(0, 0).rgbRed, 0xF8);
    EXPECT_EQ(image.GetPixelColor(1, 0).rgbGreen, 0xFC);
    EXPECT_EQ(image.GetPixelColor(0, 1).rgbBlue, 0xF8);
    EXPECT_EQ(image.GetPixelColor(1, 1).rgbRed, 0xF8);

    // 5-5-5 gives the top bits as well.
    le::Store16(source, 0x7C00 | 0x03E0);
    image.Bitfield2RGB(source, 0x7C00, 0x03E0, 0x001F, 16);
    EXPECT_EQ(image.GetPixelColor(0, 0).rgbRed, 0xF8);
    EXPECT_EQ(image.GetPixelColor(0, 0).rgbGreen, 0xF8);
    EXPECT_EQ(image.GetPixelColor(0, 0).rgbBlue, 0);

    const uint8_t wide[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    image.Bitfield2RGB(wide, 0, 0, 0, 32);
    EXPECT_EQ(image.GetPixelColor(1, 1).rgbBlue, 13);
    EXPECT_EQ(image.GetPixelColor(1, 1).rgbRed, 15);
}

TEST(RasterTypes, FromFileNames) {
    EXPECT_EQ(RasterTypeFromPath("a.BMP"), kTypeBmp);
    EXPECT_EQ(RasterTypeFromPath("dir.x/a.jpeg"), kTypeJpeg);
    EXPECT_EQ(RasterTypeFromPath("a.Tif"), kTypeTiff);
    EXPECT_EQ(RasterTypeFromPath("a.pcx"), kTypePcx);
    EXPECT_EQ(RasterTypeFromPath("a.wbmp"), -1);
    EXPECT_EQ(RasterTypeFromPath("dir.x/noextension"), -1);
    EXPECT_EQ(RasterTypeFromPath("plain"), -1);
}
