// TGA, PCX and WBMP: what we write, what we read back, and the files we refuse.

#include "format_test_util.h"

TEST(TgaCodec, EightBitImagesAreColourMapped) {
    CRaster image = MakePattern(10, 6, 8);
    const Bytes tga = Written(image, kTypeTga);
    ASSERT_EQ(tga.size(), 18u + 256 * 3 + 60);
    EXPECT_EQ(tga[1], 1);  // colour map type
    EXPECT_EQ(tga[2], 1);  // colour-mapped image
    EXPECT_EQ(Word(tga, 5), 256);
    EXPECT_EQ(tga[7], 24);
    EXPECT_EQ(tga[16], 8);
    const RGBQUAD c = image.GetPaletteColor(2);
    EXPECT_EQ(tga[18 + 6], c.rgbBlue);
    EXPECT_EQ(tga[18 + 8], c.rgbRed);
    CRaster back;
    ASSERT_TRUE(Decode(back, tga, kTypeTga)) << back.GetLastError();
    EXPECT_EQ(back.GetBpp(), 8u);
    EXPECT_TRUE(SamePixels(back, image));
}

TEST(TgaCodec, TrueColourWithAndWithoutAlpha) {
    CRaster image = MakePattern(7, 5, 24);
    Bytes tga = Written(image, kTypeTga);
    EXPECT_EQ(tga[2], 2);
    EXPECT_EQ(tga[16], 24);
    CRaster back;
    ASSERT_TRUE(Decode(back, tga, kTypeTga));
    EXPECT_TRUE(SamePixels(back, image));
    EXPECT_FALSE(back.AlphaIsValid());

    image.AlphaCreate();
    image.AlphaSet(2, 3, 99);
    tga = Written(image, kTypeTga);
    EXPECT_EQ(tga[16], 32);
    EXPECT_EQ(tga[17] & 0x0F, 8);
    ASSERT_TRUE(Decode(back, tga, kTypeTga));
    ASSERT_TRUE(back.AlphaIsValid());
    EXPECT_EQ(back.AlphaGet(2, 3), 99);
    EXPECT_TRUE(SamePixels(back, image));
}

TEST(TgaCodec, LowerDepthsAreRefused) {
    for (uint32_t bpp : {1u, 4u}) {
        CRaster image = MakePattern(4, 4, bpp);
        EXPECT_TRUE(Written(image, kTypeTga).empty());
        EXPECT_STREQ(image.GetLastError(), "Bit depth must be 8 or 24");
    }
}

// Packets of 1, 124, 127 and 128 pixels, repeated and raw, at each depth: the pixels are those
// of the same picture stored without packets. 760 pixels in rows of 190, so packets cross rows.
TEST(TgaCodec, RunLengthPacketsUpToTheLongestReadAsTheirPixels) {
    constexpr uint32_t kRuns[] = {1, 124, 127, 128};
    constexpr uint16_t kWidth = 190, kHeight = 4;
    for (const uint8_t depth : {8, 16, 24, 32}) {
        const uint32_t size = depth / 8u;
        // Every pixel's record differs from its neighbours', byte by byte.
        auto record = [size](uint32_t n) {
            Bytes r;
            for (uint32_t k = 0; k < size; ++k)
                r.push_back(static_cast<uint8_t>(n * 7 + k * 31 + 1));
            return r;
        };
        Bytes packed, plain;
        uint32_t pixel = 0;
        for (const bool repeat : {true, false}) {
            for (const uint32_t run : kRuns) {
                packed.push_back(static_cast<uint8_t>((repeat ? 0x80 : 0) | (run - 1)));
                for (uint32_t i = 0; i < run; ++i) {
                    const Bytes r = record(repeat ? pixel : pixel + i);
                    if (!repeat || i == 0) packed.insert(packed.end(), r.begin(), r.end());
                    plain.insert(plain.end(), r.begin(), r.end());
                }
                pixel += run;
            }
        }
        ASSERT_EQ(pixel, 1u * kWidth * kHeight);
        auto file = [&](bool rle, const Bytes& data) {
            const uint8_t type = static_cast<uint8_t>((depth == 8 ? 3 : 2) | (rle ? 8 : 0));
            Bytes tga = {0, 0, type, 0, 0, 0, 0, 0, 0, 0, 0, 0};
            Put16(tga, kWidth);
            Put16(tga, kHeight);
            tga.push_back(depth);
            tga.push_back(depth == 32 ? 8 : 0);
            tga.insert(tga.end(), data.begin(), data.end());
            return tga;
        };
        CRaster fromPackets, fromPixels;
        ASSERT_TRUE(Decode(fromPackets, file(true, packed), kTypeTga))
            << int(depth) << " bits: " << fromPackets.GetLastError();
        ASSERT_TRUE(Decode(fromPixels, file(false, plain), kTypeTga)) << int(depth) << " bits";
        ASSERT_EQ(fromPackets.AlphaIsValid(), fromPixels.AlphaIsValid());
        for (int32_t y = 0; y < kHeight; ++y) {
            for (int32_t x = 0; x < kWidth; ++x) {
                ASSERT_EQ(ColorAt(fromPackets, x, y), ColorAt(fromPixels, x, y))
                    << int(depth) << " bits, pixel " << y * kWidth + x;
            }
        }
        if (fromPixels.AlphaIsValid()) {
            EXPECT_TRUE(std::equal(fromPixels.AlphaGetBits(),
                                   fromPixels.AlphaGetBits() + kWidth * kHeight,
                                   fromPackets.AlphaGetBits()));
        }
    }
}

TEST(TgaCodec, ReadsRunLengthTopDownAndGreyFiles) {
    // 4 x 2 grey, run-length, top row first: a run of 4 x 10, then 1 x 20 and a literal 3 x
    // (30, 40, 50).
    Bytes tga = {0, 0, 11, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Put16(tga, 4);
    Put16(tga, 2);
    tga.insert(tga.end(), {8, 0x20, 0x83, 10, 0x80, 20, 0x02, 30, 40, 50});
    CRaster back;
    ASSERT_TRUE(Decode(back, tga, kTypeTga)) << back.GetLastError();
    EXPECT_EQ(back.GetBpp(), 8u);
    EXPECT_EQ(ColorAt(back, 0, 0), "10,10,10");
    EXPECT_EQ(ColorAt(back, 3, 0), "10,10,10");
    EXPECT_EQ(ColorAt(back, 0, 1), "20,20,20");
    EXPECT_EQ(ColorAt(back, 3, 1), "50,50,50");

    tga.pop_back();  // the data ends one pixel early
    EXPECT_FALSE(Decode(back, tga, kTypeTga));
    EXPECT_STREQ(back.GetLastError(), "corrupted TGA");
    tga[2] = 7;
    EXPECT_FALSE(Decode(back, tga, kTypeTga));
    EXPECT_STREQ(back.GetLastError(), "Unknown TGA image type");
    // 60000 x 60000 in a file of a few bytes is refused before anything is allocated.
    tga[2] = 11;
    tga[12] = tga[14] = 0x60;
    tga[13] = tga[15] = 0xEA;
    EXPECT_FALSE(Decode(back, tga, kTypeTga));
    EXPECT_STREQ(back.GetLastError(), "corrupted TGA");
}

TEST(PcxCodec, EveryDepthRoundTrips) {
    for (uint32_t bpp : {1u, 4u, 8u, 24u}) {
        CRaster image = MakePattern(21, 9, bpp);
        image.SetXDPI(150);
        const Bytes pcx = Written(image, kTypePcx);
        ASSERT_GT(pcx.size(), 128u) << image.GetLastError();
        EXPECT_EQ(pcx[0], 10);
        EXPECT_EQ(pcx[2], 1);
        EXPECT_EQ(Word(pcx, 66) % 2, 0) << "lines are an even number of bytes";
        CRaster back;
        ASSERT_TRUE(Decode(back, pcx, kTypePcx)) << bpp << " " << back.GetLastError();
        EXPECT_EQ(back.GetBpp(), bpp);
        EXPECT_EQ(back.GetXDPI(), 150);
        EXPECT_TRUE(SamePixels(back, image)) << bpp;
    }
}

TEST(PcxCodec, RunsOfHighBytesAreEncodedAsRuns) {
    CRaster image(6, 1, 8);
    image.SetGrayPalette();
    const uint8_t row[] = {0xC5, 7, 7, 7, 7, 0xFF};
    std::copy(row, row + 6, image.GetBits(0));
    const Bytes pcx = Written(image, kTypePcx);
    const Bytes data(pcx.begin() + 128, pcx.end() - 769);
    EXPECT_EQ(data, (Bytes{0xC1, 0xC5, 0xC4, 7, 0xC1, 0xFF}));
}

TEST(PcxCodec, DamagedFilesGiveTheirMessages) {
    CRaster image = MakePattern(8, 4, 8);
    const Bytes good = Written(image, kTypePcx);
    CRaster back;
    auto fails = [&](Bytes bytes, const char* message) {
        EXPECT_FALSE(Decode(back, bytes, kTypePcx));
        EXPECT_STREQ(back.GetLastError(), message);
    };
    fails(Bytes(good.begin(), good.begin() + 60), "Can't read PCX image");
    Bytes b = good;
    b[0] = 9;
    fails(b, "Error: Not a PCX file");
    b = good;
    b[2] = 3;
    fails(b, "PCX file has unknown encoding scheme");
    b = good;
    b[65] = 5;
    fails(b, "Can't handle image with more than 4 planes");
    b = good;
    *(b.end() - 769) = 0;
    fails(b, "bad color map signature");
    b = good;
    b[3] = 2;
    b[65] = 4;
    fails(b, "Can't handle more than 1 bit per pixel");
    b = good;
    b[65] = 2;
    fails(b, "Can't handle packed pixels with more than 1 plane.");
    // 65536 x 65536 pixels from a few bytes of data
    b = good;
    b[8] = b[9] = b[10] = b[11] = 0xFF;
    b[66] = b[67] = 0xFF;
    fails(b, "corrupted PCX");
    // The last run goes on past the last line.
    CRaster flat(4, 1, 8);
    Bytes run = Written(flat, kTypePcx);
    ASSERT_EQ(run[128], 0xC4);
    run[128] = 0xC6;
    fails(run, "repeat count spans end of image");
}

TEST(WbmpCodec, OneBitImagesRoundTripWithWhiteAsOne) {
    CRaster image = MakePattern(13, 5, 1);
    image.SetPaletteIndex(0, 255, 255, 255);  // index 0 white: written inverted
    image.SetPaletteIndex(1, 0, 0, 0);
    const Bytes wbmp = Written(image, kTypeWbmp);
    ASSERT_EQ(wbmp.size(), 4u + 2 * 5);
    EXPECT_EQ(wbmp[0], 0);
    EXPECT_EQ(wbmp[2], 13);
    EXPECT_EQ(wbmp[3], 5);
    CRaster back;
    ASSERT_TRUE(Decode(back, wbmp, kTypeWbmp)) << back.GetLastError();
    EXPECT_EQ(back.GetBpp(), 1u);
    EXPECT_TRUE(SamePixels(back, image));

    CRaster wide(200, 1, 1);  // widths of 128 and more take two bytes
    const Bytes two = Written(wide, kTypeWbmp);
    EXPECT_EQ(two[2], 0x81);
    EXPECT_EQ(two[3], 0x48);
    ASSERT_TRUE(Decode(back, two, kTypeWbmp));
    EXPECT_EQ(back.GetWidth(), 200u);
}

TEST(WbmpCodec, RefusesWhatItCannotHold) {
    CRaster grey = MakePattern(3, 3, 8);
    EXPECT_TRUE(Written(grey, kTypeWbmp).empty());
    EXPECT_STREQ(grey.GetLastError(), "Can't save this image as WBMP");
    CRaster back;
    EXPECT_FALSE(Decode(back, {2, 0, 1, 1, 0}, kTypeWbmp));
    EXPECT_STREQ(back.GetLastError(), "Unsupported WBMP type");
    EXPECT_FALSE(Decode(back, {0, 0, 16, 4, 0xFF}, kTypeWbmp));
    EXPECT_STREQ(back.GetLastError(), "Corrupted WBMP");
    EXPECT_FALSE(Decode(back, {0, 0, 0x8F, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F}, kTypeWbmp));
    EXPECT_STREQ(back.GetLastError(), "Not a WBMP");
    EXPECT_FALSE(Decode(back, {}, kTypeWbmp));
}
