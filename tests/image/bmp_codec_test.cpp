#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include "image/codecs.h"
#include "image/memory_stream.h"
#include "test_images.h"

namespace {

// A BMP file around a hand-made info header, optional masks or palette, and rows.
std::vector<uint8_t> BmpFile(int32_t width, int32_t height, uint16_t bpp, uint32_t compression,
                             const std::vector<uint8_t>& extra, const std::vector<uint8_t>& rows) {
    std::vector<uint8_t> file;
    file.reserve(14 + 40 + extra.size() + rows.size());
    file.resize(14 + 40);
    file[0] = 'B';
    file[1] = 'M';
    BITMAPINFOHEADER h;
    h.biSize = 40;
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = bpp;
    h.biCompression = compression;
    h.biSizeImage = static_cast<uint32_t>(rows.size());
    h.biXPelsPerMeter = 3780;
    StoreInfoHeader(file.data() + 14, h);
    file.insert(file.end(), extra.begin(), extra.end());
    le::Store32(file.data() + 10, static_cast<uint32_t>(file.size()));
    file.insert(file.end(), rows.begin(), rows.end());
    le::Store32(file.data() + 2, static_cast<uint32_t>(file.size()));
    return file;
}

}  // namespace

TEST(BmpCodec, WrittenAndReadBackIdentical) {
    for (uint32_t bpp : {1u, 4u, 8u, 24u}) {
        CRaster image = MakePattern(13, 7, bpp);
        image.SetXDPI(150);
        const std::vector<uint8_t> file = Encoded(image, kTypeBmp);
        ASSERT_EQ(file.size(), image.GetSize() + 14u);
        EXPECT_EQ(le::Load32(file.data() + 2), file.size());
        EXPECT_EQ(le::Load32(file.data() + 10), 54 + image.GetPaletteSize());
        EXPECT_EQ(std::memcmp(file.data() + 14, image.GetDIB(), image.GetSize()), 0);

        CRaster back;
        ASSERT_TRUE(DecodeBytes(back, file)) << back.GetLastError();
        ASSERT_EQ(back.GetSize(), image.GetSize());
        EXPECT_EQ(std::memcmp(back.GetDIB(), image.GetDIB(), image.GetSize()), 0) << bpp;
        EXPECT_EQ(back.GetXDPI(), 150);
        EXPECT_EQ(back.GetType(), kTypeBmp);
    }
}

TEST(BmpCodec, BitFieldsAndUncompressedDeepPixelsBecome24Bits) {
    // 2 x 1, 16-bit 5-6-5 with masks after the header.
    std::vector<uint8_t> masks(12);
    le::Store32(masks.data(), 0xF800);
    le::Store32(masks.data() + 4, 0x07E0);
    le::Store32(masks.data() + 8, 0x001F);
    std::vector<uint8_t> rows = {0x00, 0xF8, 0x1F, 0x00};
    CRaster image;
    ASSERT_TRUE(DecodeBytes(image, BmpFile(2, 1, 16, BI_BITFIELDS, masks, rows)))
        << image.GetLastError();
    EXPECT_EQ(image.GetBpp(), 24u);
    EXPECT_EQ(image.GetPixelColor(0, 0).rgbRed, 0xF8);
    EXPECT_EQ(image.GetPixelColor(1, 0).rgbBlue, 0xF8);
    EXPECT_EQ(image.GetXDPI(), 96);

    // Uncompressed 16 bits are 5-5-5.
    rows = {0x00, 0x7C, 0xE0, 0x03};
    ASSERT_TRUE(DecodeBytes(image, BmpFile(2, 1, 16, BI_RGB, {}, rows)));
    EXPECT_EQ(image.GetPixelColor(0, 0).rgbRed, 0xF8);
    EXPECT_EQ(image.GetPixelColor(1, 0).rgbGreen, 0xF8);

    // 32 bits, top-down (negative height): the first row in the file is the top one.
    rows = {1, 2, 3, 0, 4, 5, 6, 0};
    ASSERT_TRUE(DecodeBytes(image, BmpFile(1, -2, 32, BI_RGB, {}, rows)));
    EXPECT_EQ(image.GetPixelColor(0, 1).rgbBlue, 1);
    EXPECT_EQ(image.GetPixelColor(0, 0).rgbRed, 6);
}

TEST(BmpCodec, RunLengthEncodedRows) {
    std::vector<uint8_t> palette(16 * 4);
    for (int i = 0; i < 16; ++i) palette[i * 4 + 2] = static_cast<uint8_t>(i * 16);
    // RLE8, 4 x 2: run of 3 x 5, end of line; absolute 2 pixels 1, 2 (padded); end.
    std::vector<uint8_t> palette8(256 * 4);
    std::vector<uint8_t> rle8 = {3, 5, 0, 0, 0, 3, 1, 2, 9, 0, 0, 1};
    CRaster image;
    ASSERT_TRUE(DecodeBytes(image, BmpFile(4, 2, 8, BI_RLE8, palette8, rle8)))
        << image.GetLastError();
    EXPECT_EQ(image.GetPixelIndex(2, 0), 5);
    EXPECT_EQ(image.GetPixelIndex(3, 0), 0);
    EXPECT_EQ(image.GetPixelIndex(0, 1), 1);
    EXPECT_EQ(image.GetPixelIndex(2, 1), 9);

    // RLE4, 5 x 1: run of 5 alternating 0xA, 0xB, then a delta beyond the image and the end.
    std::vector<uint8_t> rle4 = {5, 0xAB, 0, 2, 9, 9, 0, 1};
    ASSERT_TRUE(DecodeBytes(image, BmpFile(5, 1, 4, BI_RLE4, palette, rle4)));
    EXPECT_EQ(image.GetPixelIndex(0, 0), 0xA);
    EXPECT_EQ(image.GetPixelIndex(3, 0), 0xB);
    EXPECT_EQ(image.GetPixelIndex(4, 0), 0xA);

    // A run longer than the row is cut at the edge, not written past it.
    std::vector<uint8_t> wide = {255, 7, 0, 1};
    ASSERT_TRUE(DecodeBytes(image, BmpFile(3, 1, 8, BI_RLE8, palette8, wide)));
    EXPECT_EQ(image.GetPixelIndex(2, 0), 7);
}

TEST(BmpCodec, BadFilesFailAndLeaveTheImageAlone) {
    CRaster image = MakePattern(3, 3, 8);
    const std::vector<uint8_t> before(image.GetDIB(), image.GetDIB() + image.GetSize());
    auto expectFailure = [&](std::vector<uint8_t> bytes, const char* message) {
        EXPECT_FALSE(DecodeBytes(image, bytes)) << message;
        EXPECT_STREQ(image.GetLastError(), message);
        ASSERT_EQ(image.GetSize(), before.size());
        EXPECT_EQ(std::memcmp(image.GetDIB(), before.data(), before.size()), 0);
    };
    const std::vector<uint8_t> rows(12, 0);
    expectFailure({'G', 'I', 'F', '8'}, "Not a BMP");
    expectFailure(BmpFile(0, 1, 24, BI_RGB, {}, rows), "Error reading BMP info");
    expectFailure(BmpFile(1, 1, 2, BI_RGB, {}, rows), "Error reading BMP info");
    expectFailure(BmpFile(1, 1, 24, 4, {}, rows), "compression type not supported");
    expectFailure(BmpFile(1, 1, 24, BI_RLE8, {}, rows), "compression type not supported");
    expectFailure(BmpFile(1, 1, 24, 77, {}, rows), "unknown compression");
    // Announces 30000 x 30000 pixels, holds 12 bytes: refused before allocating.
    expectFailure(BmpFile(30000, 30000, 24, BI_RGB, {}, rows), "corrupted BMP");
    expectFailure(BmpFile(2, 2, 24, BI_RGB, {}, std::vector<uint8_t>(15)), "corrupted BMP");
    // Beyond the pixel limit even when the file is large enough.
    expectFailure(BmpFile(1 << 15, 1 << 14, 1, BI_RLE8 - 1, {}, std::vector<uint8_t>(1 << 26)),
                  "Can't allocate memory");
    // An RLE stream that ends without its end-of-bitmap mark.
    expectFailure(BmpFile(4, 4, 8, BI_RLE8, std::vector<uint8_t>(1024), {2, 1, 0}),
                  "corrupted BMP");
    std::vector<uint8_t> truncated = BmpFile(2, 2, 24, BI_RGB, {}, std::vector<uint8_t>(16));
    truncated.resize(30);
    expectFailure(truncated, "Error reading BMP info");
}

TEST(BmpCodec, CancelledByTheEscapeFlag) {
    CRaster image = MakePattern(4, 4, 24);
    std::vector<uint8_t> file = Encoded(image, kTypeBmp);
    CRaster reader;
    reader.SetEscape(1);
    EXPECT_FALSE(DecodeBytes(reader, file));
    EXPECT_STREQ(reader.GetLastError(), "Cancelled");
}

TEST(ImageDispatch, UnknownAndMissingFormats) {
    CRaster image = MakePattern(2, 2, 24);
    CMemoryStream stream;
    ASSERT_TRUE(stream.Open());
    EXPECT_FALSE(image.Encode(&stream, kTypeWmf));
    EXPECT_STREQ(image.GetLastError(), "Save WMF not supported");
    EXPECT_FALSE(image.Encode(&stream, 10));
    EXPECT_STREQ(image.GetLastError(), "Unsupported operation for this format");
    EXPECT_FALSE(image.Decode(&stream, 0xFFFFFFFF));
    EXPECT_STREQ(image.GetLastError(), "Unsupported operation for this format");
    CRaster* frames[] = {&image};
    EXPECT_FALSE(image.Encode(&stream, frames, 1, kTypeBmp));
    EXPECT_STREQ(image.GetLastError(), "Unsupported operation for this format");
    EXPECT_TRUE(image.IsValid());
    EXPECT_FALSE(image.Encode(static_cast<CByteStream*>(nullptr), kTypeBmp));
    EXPECT_STREQ(image.GetLastError(), "invalid file pointer");
    CRaster empty;
    EXPECT_FALSE(empty.Encode(&stream, kTypeBmp));
}

TEST(ImageDispatch, MemoryEncodeWantsAnEmptyBufferPointer) {
    CRaster image = MakePattern(2, 2, 24);
    uint8_t byte = 0;
    uint8_t* buffer = &byte;
    int32_t size = 0;
    EXPECT_FALSE(image.Encode(buffer, size, kTypeBmp));
    buffer = nullptr;
    EXPECT_FALSE(image.Encode(buffer, size, kTypeWmf));  // refused: nothing handed out
    EXPECT_EQ(buffer, nullptr);
    ASSERT_TRUE(image.Encode(buffer, size, kTypeBmp));
    EXPECT_EQ(size, static_cast<int32_t>(image.GetSize() + 14));
    std::free(buffer);
}

class ImageFiles : public TempFolderTest {};

TEST_F(ImageFiles, SaveAndLoad) {
    CRaster image = MakePattern(5, 4, 4);
    ASSERT_TRUE(image.Save(Path("a.bmp").c_str(), kTypeBmp));
    CRaster back(Path("a.bmp").c_str(), kTypeBmp);
    ASSERT_TRUE(back.IsValid()) << back.GetLastError();
    EXPECT_TRUE(SamePixels(back, image));

    // A refused save leaves the file that was there, and nothing else.
    const auto before = std::filesystem::file_size(Path("a.bmp"));
    EXPECT_FALSE(image.Save(Path("a.bmp").c_str(), kTypeJpeg));
    EXPECT_EQ(std::filesystem::file_size(Path("a.bmp")), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);

    image.SetLastError("earlier");
    EXPECT_FALSE(image.Save(Path("missing/a.bmp").c_str(), kTypeBmp));
    EXPECT_STREQ(image.GetLastError(), "earlier");
    CRaster none(Path("missing.bmp").c_str(), kTypeBmp);
    EXPECT_FALSE(none.IsValid());
    EXPECT_STRNE(none.GetLastError(), "");

    std::FILE* file = std::fopen(Path("a.bmp").c_str(), "rb");
    ASSERT_NE(file, nullptr);
    CRaster fromFile(file, kTypeBmp);
    std::fclose(file);
    EXPECT_TRUE(SamePixels(fromFile, image));
}

// A save keeps the old file's permission bits, writes through a link as cp does, and takes away
// what a crashed save of the same name left.
TEST_F(ImageFiles, SaveKeepsModeAndLinksAndClearsLeftovers) {
    namespace fs = std::filesystem;
    CRaster image = MakePattern(3, 3, 24);
    ASSERT_TRUE(image.Save(Path("private.bmp").c_str(), kTypeBmp));
    fs::permissions(Path("private.bmp"), fs::perms::owner_read | fs::perms::owner_write);
    const std::string crashed = Path("private.bmp.part-999999999-4");
    const std::string running = Path("private.bmp.part-1-4");  // process 1 is alive
    std::fclose(std::fopen(crashed.c_str(), "wb"));
    std::fclose(std::fopen(running.c_str(), "wb"));
    ASSERT_TRUE(image.Save(Path("private.bmp").c_str(), kTypeBmp));
    EXPECT_EQ(fs::status(Path("private.bmp")).permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_FALSE(fs::exists(crashed));
    EXPECT_TRUE(fs::exists(running));

    fs::create_directory(Path("real"));
    fs::create_symlink("real/b.bmp", Path("link.bmp"));
    EXPECT_FALSE(image.Save(Path("link.bmp").c_str(), kTypeBmp)) << "a link to nothing";
    EXPECT_TRUE(fs::is_empty(Path("real")));
    std::fclose(std::fopen(Path("real/b.bmp").c_str(), "wb"));
    ASSERT_TRUE(image.Save(Path("link.bmp").c_str(), kTypeBmp));
    EXPECT_TRUE(fs::is_symlink(Path("link.bmp")));
    EXPECT_EQ(fs::file_size(Path("real/b.bmp")), image.GetSize() + 14);
}

TEST(ClipboardBlocks, RoundTripAndDeepBlocks) {
    CRaster image = MakePattern(6, 3, 8);
    image.SetEncodeQuality(40);
    const std::vector<uint8_t> block = image.CopyToHandle();
    ASSERT_EQ(block.size(), image.GetSize());
    CRaster back;
    back.SetEncodeQuality(12);
    ASSERT_TRUE(back.CreateFromHANDLE(block.data(), block.size()));
    EXPECT_EQ(std::memcmp(back.GetDIB(), image.GetDIB(), image.GetSize()), 0);
    EXPECT_EQ(back.GetEncodeQuality(), 12);  // the record stays the image's own
    EXPECT_TRUE(CRaster().CopyToHandle().empty());

    // A 32-bit block arrives as 24 bits.
    std::vector<uint8_t> deep(40 + 8);
    BITMAPINFOHEADER h;
    h.biSize = 40;
    h.biWidth = 2;
    h.biHeight = 1;
    h.biPlanes = 1;
    h.biBitCount = 32;
    StoreInfoHeader(deep.data(), h);
    const uint8_t pixels[8] = {10, 20, 30, 255, 40, 50, 60, 255};
    std::memcpy(deep.data() + 40, pixels, 8);
    ASSERT_TRUE(back.CreateFromHANDLE(deep.data(), deep.size()));
    EXPECT_EQ(back.GetBpp(), 24u);
    EXPECT_EQ(back.GetPixelColor(1, 0).rgbRed, 60);

    // A block shorter than its header promises is refused.
    EXPECT_FALSE(back.CreateFromHANDLE(deep.data(), deep.size() - 1));
    EXPECT_FALSE(back.CreateFromHANDLE(deep.data(), 20));
    EXPECT_EQ(back.GetBpp(), 24u);
}
