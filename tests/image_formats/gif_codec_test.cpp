// GIF reading and writing: the packed header bytes, 24-bit tiles, frames, animation and bad files.

#include <random>

#include "format_test_util.h"
#include "image/memory_stream.h"

namespace {

// Positions of the image descriptors (0x2C) of a file written by us, found by walking its blocks.
struct Block {
    uint16_t left, top, width, height;
    uint8_t packed;
};

std::vector<Block> Blocks(const Bytes& gif) {
    std::vector<Block> blocks;
    size_t at = 13;
    if (gif[10] & 0x80) at += 3 * (2u << (gif[10] & 7));
    while (at < gif.size() && gif[at] != 0x3B) {
        if (gif[at] == 0x21) {
            at += 2;
        } else {
            Block b{Word(gif, at + 1), Word(gif, at + 3), Word(gif, at + 5), Word(gif, at + 7),
                    gif[at + 9]};
            blocks.push_back(b);
            at += 10;
            if (b.packed & 0x80) at += 3 * (2u << (b.packed & 7));
            ++at;  // LZW minimum code size
        }
        while (gif.at(at) != 0) at += gif[at] + 1;  // sub-blocks
        ++at;
    }
    return blocks;
}

// A GIF of one block with the given screen and block geometry and raw LZW data.
Bytes HandMadeGif(uint16_t screenW, uint16_t screenH, uint16_t left, uint16_t top, uint16_t w,
                  uint16_t h, const Bytes& lzw) {
    Bytes b = {'G', 'I', 'F', '8', '9', 'a'};
    Put16(b, screenW);
    Put16(b, screenH);
    b.insert(b.end(), {0x80, 0, 0, 0, 0, 0, 255, 255, 255});  // two-colour global table
    b.push_back(0x2C);
    Put16(b, left);
    Put16(b, top);
    Put16(b, w);
    Put16(b, h);
    b.push_back(0);
    b.push_back(2);  // minimum code size
    b.insert(b.end(), lzw.begin(), lzw.end());
    return b;
}

Bytes EncodedFrames(CRaster** frames, int32_t count) {
    CRaster report;
    CMemoryStream stream;
    if (!stream.Open() || !report.Encode(&stream, frames, count, kTypeGif)) return {};
    const size_t size = static_cast<size_t>(stream.Size());
    uint8_t* buffer = stream.GetBuffer();
    Bytes bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

}  // namespace

TEST(GifCodec, PaletteImagesRoundTripWithTheirHeaderBytes) {
    const uint8_t expectedPacked[] = {0x80, 0xE3, 0xE7};
    int i = 0;
    for (uint32_t bpp : {1u, 4u, 8u}) {
        CRaster image = MakePattern(23, 9, bpp);
        const Bytes gif = Written(image, kTypeGif);
        ASSERT_GT(gif.size(), 13u);
        EXPECT_EQ(std::string(gif.begin(), gif.begin() + 6), "GIF89a");
        EXPECT_EQ(gif[10], expectedPacked[i++]) << bpp;
        EXPECT_EQ(gif.back(), 0x3B);
        CRaster back;
        ASSERT_TRUE(Decode(back, gif, kTypeGif)) << back.GetLastError();
        EXPECT_EQ(back.GetBpp(), bpp);
        EXPECT_EQ(back.GetType(), kTypeGif);
        EXPECT_EQ(back.GetFrameCount(), 1);
        EXPECT_TRUE(SamePixels(back, image)) << bpp;
    }
}

TEST(GifCodec, LongNoisyImageRestartsTheCodeTableAndSurvives) {
    CRaster image(301, 211, 8);
    for (uint32_t i = 0; i < 256; ++i) image.SetPaletteIndex(i, i, 255 - i, i / 2);
    std::mt19937 random(7);
    for (uint32_t y = 0; y < 211; ++y)
        for (uint32_t x = 0; x < 301; ++x) image.GetBits(y)[x] = static_cast<uint8_t>(random());
    CRaster back;
    ASSERT_TRUE(Decode(back, Written(image, kTypeGif), kTypeGif)) << back.GetLastError();
    EXPECT_TRUE(SamePixels(back, image));

    image.Clear(9);  // one colour: the longest strings the coder can make
    ASSERT_TRUE(Decode(back, Written(image, kTypeGif), kTypeGif));
    EXPECT_TRUE(SamePixels(back, image));
}

TEST(GifCodec, TrueColourImageIsWrittenAsTilesAndReadBackWhole) {
    CRaster image = MakePattern(34, 30, 24);
    const Bytes gif = Written(image, kTypeGif);
    EXPECT_EQ(gif[10], 0x11);
    const std::vector<Block> blocks = Blocks(gif);
    ASSERT_EQ(blocks.size(), 4u);
    for (const Block& b : blocks) {
        EXPECT_EQ(b.width, 17);
        EXPECT_EQ(b.height, 15);
        EXPECT_EQ(b.packed, 0x87);
    }
    EXPECT_EQ(blocks[1].left, 17);
    EXPECT_EQ(blocks[2].top, 15);
    CRaster back;
    ASSERT_TRUE(Decode(back, gif, kTypeGif)) << back.GetLastError();
    EXPECT_EQ(back.GetBpp(), 24u);
    EXPECT_EQ(back.GetFrameCount(), 1);
    EXPECT_FALSE(back.AlphaIsValid());
    EXPECT_TRUE(SamePixels(back, image));

    CRaster odd = MakePattern(40, 16, 24);  // cells cut at the right and bottom edges
    EXPECT_EQ(Blocks(Written(odd, kTypeGif)).size(), 6u);
    ASSERT_TRUE(Decode(back, Written(odd, kTypeGif), kTypeGif));
    EXPECT_TRUE(SamePixels(back, odd));
}

TEST(GifCodec, TransparentColourTravels) {
    CRaster palette = MakePattern(6, 5, 8);
    palette.SetTransIndex(4);
    CRaster back;
    ASSERT_TRUE(Decode(back, Written(palette, kTypeGif), kTypeGif));
    EXPECT_EQ(back.GetTransIndex(), 4);
    EXPECT_EQ(back.GetNumColors(), 256u);

    CRaster direct = MakePattern(20, 4, 24);
    direct.SetTransIndex(0);
    direct.SetBackgroundColor(direct.GetPixelColor(3, 2));
    ASSERT_TRUE(Decode(back, Written(direct, kTypeGif), kTypeGif));
    ASSERT_TRUE(back.AlphaIsValid());
    EXPECT_EQ(back.AlphaGet(3, 2), 0);
    EXPECT_EQ(back.AlphaGet(4, 2), 255);
}

TEST(GifCodec, SeveralFramesLoopAndComposeOverEachOther) {
    CRaster first = MakePattern(12, 10, 8);
    CRaster second(4, 3, 8);
    second.SetPalette(first.GetPalette(), 256);
    second.Clear(200);
    second.SetOffset(5, 2);
    second.SetFrameDelay(30);
    CRaster third = MakePattern(12, 10, 4);  // another palette: written with its own table
    CRaster* frames[] = {&first, &second, &third};
    const Bytes gif = EncodedFrames(frames, 3);
    const std::string text(gif.begin(), gif.end());
    EXPECT_NE(text.find("NETSCAPE2.0"), std::string::npos);
    EXPECT_EQ(Blocks(gif).size(), 3u);

    CRaster back;
    ASSERT_TRUE(Decode(back, gif, kTypeGif, 0)) << back.GetLastError();
    EXPECT_EQ(back.GetFrameCount(), 3);
    EXPECT_TRUE(SamePixels(back, first));
    // The small second frame is drawn over the first at its place.
    ASSERT_TRUE(Decode(back, gif, kTypeGif, 1)) << back.GetLastError();
    EXPECT_EQ(back.GetWidth(), 12u);
    EXPECT_EQ(back.GetBpp(), 24u);
    EXPECT_EQ(back.GetFrameDelay(), 30u);
    const RGBQUAD inside = first.GetPaletteColor(200);
    EXPECT_EQ(ColorAt(back, 5, 2), ColorAt(second, 0, 0));
    EXPECT_EQ(back.GetPixelColor(6, 10 - 1 - 3).rgbGreen, inside.rgbGreen);
    EXPECT_EQ(ColorAt(back, 0, 0), ColorAt(first, 0, 0));
    EXPECT_EQ(ColorAt(back, 11, 9), ColorAt(first, 11, 9));
    ASSERT_TRUE(Decode(back, gif, kTypeGif, 2));
    EXPECT_TRUE(SamePixels(back, third));

    EXPECT_FALSE(Decode(back, gif, kTypeGif, 3));
    EXPECT_EQ(back.GetFrameCount(), 3);
    EXPECT_FALSE(Decode(back, gif, kTypeGif, -1));
}

TEST(GifCodec, SeveralFramesNeedImages) {
    CRaster report;
    CMemoryStream stream;
    ASSERT_TRUE(stream.Open());
    EXPECT_FALSE(report.Encode(&stream, nullptr, 0, kTypeGif));
    EXPECT_STREQ(report.GetLastError(), "multipage GIF, no images!");
    CRaster empty;
    CRaster* frames[] = {&empty};
    EXPECT_FALSE(report.Encode(&stream, frames, 1, kTypeGif));
    EXPECT_STREQ(report.GetLastError(), "Bad image pointer");
}

TEST(GifCodec, InterlacedRowsArePutInPlace) {
    // Rows 0..9 of a 1-pixel-wide image, stored in the order 0, 8, 4, 2, 6, 1, 3, 5, 7, 9:
    // written by our coder as a plain image of the stored order, then marked interlaced.
    CRaster stored(1, 10, 4);
    for (uint32_t i = 0; i < 16; ++i) stored.SetPaletteIndex(i, i * 16, 0, 0);
    const int order[] = {0, 8, 4, 2, 6, 1, 3, 5, 7, 9};
    for (int i = 0; i < 10; ++i) stored.SetPixelIndex(0, 9 - i, static_cast<uint8_t>(order[i]));
    Bytes gif = Written(stored, kTypeGif);
    const size_t descriptor = 13 + 48 + 8;  // header, 16-entry table, graphic control
    ASSERT_EQ(gif[descriptor], 0x2C);
    gif[descriptor + 9] |= 0x40;
    CRaster back;
    ASSERT_TRUE(Decode(back, gif, kTypeGif)) << back.GetLastError();
    for (int y = 0; y < 10; ++y) EXPECT_EQ(back.GetPixelIndex(0, 9 - y), y) << y;
}

TEST(GifCodec, HostileFilesFailOrStopQuickly) {
    CRaster image;
    EXPECT_FALSE(Decode(image, {'G', 'I', 'F', '7'}, kTypeGif));
    EXPECT_STREQ(image.GetLastError(), "Not a GIF");
    EXPECT_FALSE(
        Decode(image, {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x3B}, kTypeGif));
    EXPECT_EQ(image.GetFrameCount(), 0);

    // A data stream of clear codes and sub-blocks that never reaches its end: decoding stops at
    // the end of the file with what it has.
    Bytes endless;
    for (int i = 0; i < 2000; ++i) endless.insert(endless.end(), {2, 0x24, 0x49});
    ASSERT_TRUE(Decode(image, HandMadeGif(8, 8, 0, 0, 8, 8, endless), kTypeGif));
    EXPECT_EQ(image.GetWidth(), 8u);

    // A huge logical screen with two small tiles, one of them outside the screen.
    Bytes tiles = HandMadeGif(65535, 65535, 0, 0, 2, 2, {2, 0x4C, 0x01, 0});
    tiles.push_back(0x2C);
    for (uint16_t v : {65000, 65000, 2, 2}) Put16(tiles, v);
    tiles.insert(tiles.end(), {0, 2, 2, 0x4C, 0x01, 0, 0x3B});
    EXPECT_FALSE(Decode(image, tiles, kTypeGif));
    EXPECT_STREQ(image.GetLastError(), "corrupted GIF");  // the tiles cannot fill the screen

    // The same tiles on a small screen: the one outside is left out.
    Bytes small = tiles;
    small[6] = small[8] = 4;
    small[7] = small[9] = 0;
    ASSERT_TRUE(Decode(image, small, kTypeGif)) << image.GetLastError();
    EXPECT_EQ(image.GetWidth(), 4u);
    EXPECT_TRUE(image.AlphaIsValid());
    EXPECT_EQ(image.AlphaGet(3, 0), 0);

    // Cancelled while reading.
    CRaster cancelled;
    cancelled.SetEscape(1);
    CRaster big(600, 600, 8);
    EXPECT_FALSE(Decode(cancelled, Written(big, kTypeGif), kTypeGif));
    EXPECT_STREQ(cancelled.GetLastError(), "Cancelled");
}
