// Icon files: the layout we write, masks and alpha both ways, several icons and PNG entries.

#include "format_test_util.h"

namespace {

// An icon file of the given entries (each a full bitmap or PNG block).
Bytes IconFile(const std::vector<Bytes>& entries) {
    Bytes file;
    Put16(file, 0);
    Put16(file, 1);
    Put16(file, static_cast<uint16_t>(entries.size()));
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(entries.size());
    for (const Bytes& e : entries) {
        file.insert(file.end(), {0, 0, 0, 0});
        Put16(file, 1);
        Put16(file, 32);
        Put32(file, static_cast<uint32_t>(e.size()));
        Put32(file, offset);
        offset += static_cast<uint32_t>(e.size());
    }
    for (const Bytes& e : entries) file.insert(file.end(), e.begin(), e.end());
    return file;
}

// The entry (bitmap header onwards) of a one-icon file we wrote.
Bytes EntryOf(const Bytes& icon) {
    return Bytes(icon.begin() + Dword(icon, 18), icon.end());
}

}  // namespace

TEST(IcoCodec, WritesOneIconLaidOutAsExpected) {
    CRaster image = MakePattern(16, 8, 4);
    image.SetTransIndex(3);
    const Bytes icon = Written(image, kTypeIco);
    ASSERT_FALSE(icon.empty()) << image.GetLastError();
    EXPECT_EQ(Word(icon, 0), 0);
    EXPECT_EQ(Word(icon, 2), 1);
    EXPECT_EQ(Word(icon, 4), 1);
    EXPECT_EQ(icon[6], 16);
    EXPECT_EQ(icon[7], 8);
    EXPECT_EQ(icon[8], 16);        // colours
    EXPECT_EQ(Word(icon, 10), 0);  // planes
    EXPECT_EQ(Word(icon, 12), 4);
    EXPECT_EQ(Dword(icon, 18), 22u);
    EXPECT_EQ(Dword(icon, 14), icon.size() - 22);
    EXPECT_EQ(Dword(icon, 22 + 8), 16u);  // doubled height
    // 40 + 64 palette + 8 rows of 8 colour bytes + 8 mask rows of 4 bytes
    EXPECT_EQ(icon.size(), 22u + 40 + 64 + 64 + 32);

    CRaster back;
    ASSERT_TRUE(Decode(back, icon, kTypeIco)) << back.GetLastError();
    EXPECT_EQ(back.GetBpp(), 4u);
    EXPECT_EQ(back.GetType(), kTypeIco);
    EXPECT_TRUE(SamePixels(back, image));
    ASSERT_TRUE(back.AlphaIsValid());  // the mask: pixels of index 3 are transparent
    for (int32_t y = 0; y < 8; ++y)
        for (int32_t x = 0; x < 16; ++x)
            EXPECT_EQ(back.AlphaGet(x, y) == 0, image.GetPixelIndex(x, y) == 3) << x << "," << y;
}

TEST(IcoCodec, DepthsAndAlphaRoundTrip) {
    for (uint32_t bpp : {1u, 8u, 24u}) {
        CRaster image = MakePattern(13, 7, bpp);
        CRaster back;
        ASSERT_TRUE(Decode(back, Written(image, kTypeIco), kTypeIco)) << back.GetLastError();
        EXPECT_EQ(back.GetBpp(), bpp);
        EXPECT_TRUE(SamePixels(back, image));
        EXPECT_FALSE(back.AlphaIsValid());
    }
    CRaster image = MakePattern(9, 9, 24);
    image.AlphaCreate();
    for (int32_t y = 0; y < 9; ++y)
        for (int32_t x = 0; x < 9; ++x) image.AlphaSet(x, y, static_cast<uint8_t>(x * 30));
    const Bytes icon = Written(image, kTypeIco);
    EXPECT_EQ(Word(icon, 12), 32);
    CRaster back;
    ASSERT_TRUE(Decode(back, icon, kTypeIco));
    ASSERT_TRUE(back.AlphaIsValid());
    EXPECT_TRUE(SamePixels(back, image));
    EXPECT_EQ(back.AlphaGet(4, 3), 120);
    EXPECT_EQ(back.AlphaGet(0, 3), 0);
    // The mask marks the fully transparent column.
    const Bytes entry = EntryOf(icon);
    const size_t mask = 40 + 9 * 36;
    EXPECT_EQ(entry[mask] & 0x80, 0x80);
    EXPECT_EQ(entry[mask] & 0x40, 0);
}

TEST(IcoCodec, RefusesSizesOf256AndMore) {
    CRaster wide = MakePattern(256, 16, 8);
    EXPECT_TRUE(Written(wide, kTypeIco).empty());
    EXPECT_STREQ(wide.GetLastError(), "Can't save this image as icon");
    CRaster tall = MakePattern(4, 300, 24);
    EXPECT_TRUE(Written(tall, kTypeIco).empty());
    CRaster largest = MakePattern(255, 3, 1);
    EXPECT_FALSE(Written(largest, kTypeIco).empty());
}

TEST(IcoCodec, ReadsEachIconOfAFileAndPngEntries) {
    CRaster small = MakePattern(5, 4, 8), large = MakePattern(11, 6, 24);
    CRaster png = MakePattern(7, 3, 24);
    const Bytes file = IconFile({EntryOf(Written(small, kTypeIco)),
                                 EntryOf(Written(large, kTypeIco)), Written(png, kTypePng)});
    CRaster back;
    for (int32_t frame = 0; frame < 3; ++frame) {
        ASSERT_TRUE(Decode(back, file, kTypeIco, frame)) << frame << back.GetLastError();
        EXPECT_EQ(back.GetFrameCount(), 3);
        EXPECT_EQ(back.GetType(), kTypeIco);
        EXPECT_TRUE(SamePixels(back, frame == 0 ? small : frame == 1 ? large : png)) << frame;
    }
    EXPECT_FALSE(Decode(back, file, kTypeIco, 3));
    EXPECT_EQ(back.GetFrameCount(), 3);
    EXPECT_STREQ(back.GetLastError(), "Error: icon not present in ICO file");
}

TEST(IcoCodec, DamagedFilesFail) {
    CRaster back;
    EXPECT_FALSE(Decode(back, {0, 0, 9, 0, 1, 0}, kTypeIco));
    EXPECT_STREQ(back.GetLastError(), "Not an ICO");
    CRaster image = MakePattern(8, 8, 24);
    Bytes icon = Written(image, kTypeIco);
    Bytes cut(icon.begin(), icon.begin() + 100);
    EXPECT_FALSE(Decode(back, cut, kTypeIco));
    EXPECT_STREQ(back.GetLastError(), "corrupted ICO");
    icon[22 + 4] = 0xFF;  // an absurd width in the bitmap header
    icon[22 + 5] = 0xFF;
    EXPECT_FALSE(Decode(back, icon, kTypeIco));
    EXPECT_FALSE(back.IsValid());
}
