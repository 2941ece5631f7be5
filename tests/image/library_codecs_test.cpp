// JPEG, PNG and TIFF through their libraries: round trips, multi-page files and bad input.

#include <gtest/gtest.h>
#include <tiffio.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "image/memory_stream.h"
#include "image/png_idat.h"
#include "image/raster_ops_internal.h"
#include "test_images.h"

namespace {

int MaxChannelDifference(const CRaster& a, const CRaster& b) {
    int worst = 0;
    for (int32_t y = 0; y < static_cast<int32_t>(a.GetHeight()); ++y) {
        for (int32_t x = 0; x < static_cast<int32_t>(a.GetWidth()); ++x) {
            const RGBQUAD ca = a.GetPixelColor(x, y), cb = b.GetPixelColor(x, y);
            worst =
                std::max({worst, std::abs(ca.rgbRed - cb.rgbRed),
                          std::abs(ca.rgbGreen - cb.rgbGreen), std::abs(ca.rgbBlue - cb.rgbBlue)});
        }
    }
    return worst;
}

// A smooth picture that JPEG keeps close to the original.
CRaster Smooth(uint32_t width, uint32_t height) {
    CRaster image(width, height, 24);
    for (int32_t y = 0; y < static_cast<int32_t>(height); ++y)
        for (int32_t x = 0; x < static_cast<int32_t>(width); ++x)
            image.SetPixelColor(x, y, RGB(x * 4, y * 4, 128));
    return image;
}

const uint32_t kLosslessTypes[] = {kTypePng, kTypeTiff};

}  // namespace

TEST(LosslessCodecs, KeepDepthPaletteAndPixels) {
    for (uint32_t type : kLosslessTypes) {
        for (uint32_t bpp : {1u, 4u, 8u, 24u}) {
            CRaster image = MakePattern(19, 11, bpp);
            image.SetXDPI(200);
            image.SetYDPI(100);
            CRaster back;
            ASSERT_TRUE(DecodeBytes(back, Encoded(image, type), type)) << back.GetLastError();
            EXPECT_EQ(back.GetBpp(), bpp) << type;
            EXPECT_EQ(back.GetType(), type);
            EXPECT_TRUE(SamePixels(back, image)) << type << " " << bpp;
            EXPECT_EQ(back.GetXDPI(), 200) << type;
            EXPECT_EQ(back.GetYDPI(), 100) << type;
            for (uint32_t i = 0; i < image.GetNumColors(); ++i)
                EXPECT_EQ(back.GetPaletteColor(i).rgbGreen, image.GetPaletteColor(i).rgbGreen);
        }
    }
}

TEST(LosslessCodecs, GreyImagesStayGrey) {
    for (uint32_t type : kLosslessTypes) {
        for (uint32_t bpp : {1u, 4u, 8u}) {
            CRaster image = MakePattern(9, 4, bpp);
            image.SetGrayPalette();
            CRaster back;
            ASSERT_TRUE(DecodeBytes(back, Encoded(image, type), type)) << back.GetLastError();
            EXPECT_EQ(back.GetBpp(), bpp);
            EXPECT_TRUE(SamePixels(back, image)) << type << " " << bpp;
        }
    }
}

TEST(LosslessCodecs, AlphaPlaneGoesOutAndComesBack) {
    for (uint32_t type : kLosslessTypes) {
        CRaster image = MakePattern(7, 6, 24);
        ASSERT_TRUE(image.AlphaCreate());
        for (int32_t y = 0; y < 6; ++y)
            for (int32_t x = 0; x < 7; ++x) image.AlphaSet(x, y, static_cast<uint8_t>(x * 40 + y));
        CRaster back;
        ASSERT_TRUE(DecodeBytes(back, Encoded(image, type), type)) << back.GetLastError();
        ASSERT_TRUE(back.AlphaIsValid()) << type;
        EXPECT_TRUE(SamePixels(back, image));
        EXPECT_EQ(std::memcmp(back.AlphaGetBits(), image.AlphaGetBits(), 42), 0) << type;
    }
}

TEST(PngCodec, TransparentIndexAndColour) {
    CRaster palette = MakePattern(5, 5, 8);
    palette.SetTransIndex(3);
    CRaster back;
    ASSERT_TRUE(DecodeBytes(back, Encoded(palette, kTypePng), kTypePng));
    EXPECT_EQ(back.GetTransIndex(), 3);
    EXPECT_FALSE(back.AlphaIsValid());

    CRaster direct = MakePattern(5, 5, 24);
    direct.SetTransIndex(0);
    RGBQUAD key;
    key.rgbRed = 9;
    key.rgbGreen = 8;
    key.rgbBlue = 7;
    direct.SetBackgroundColor(key);
    ASSERT_TRUE(DecodeBytes(back, Encoded(direct, kTypePng), kTypePng));
    EXPECT_NE(back.GetTransIndex(), -1);
    EXPECT_EQ(back.GetTransColor().rgbRed, 9);
    EXPECT_EQ(back.GetTransColor().rgbBlue, 7);
}

TEST(PngCodec, PaletteImageWithAlphaPlaneKeepsItsAlpha) {
    CRaster image = MakePattern(4, 3, 4);
    image.AlphaCreate();
    image.AlphaSet(1, 2, 77);
    CRaster back;
    ASSERT_TRUE(DecodeBytes(back, Encoded(image, kTypePng), kTypePng));
    EXPECT_TRUE(SamePixels(back, image));
    EXPECT_EQ(back.AlphaGet(1, 2), 77);
    EXPECT_EQ(back.AlphaGet(0, 0), 0);
}

// The PNG writer splits its work across cores; the file must not depend on how.
TEST(PngCodec, SameFileWhateverTheThreads) {
    CRaster image = MakePattern(1200, 300, 24);
    std::mt19937 random(3);
    for (uint32_t y = 0; y < 300; y += 2) image.GetBits(y)[random() % 3600] = uint8_t(random());
    rasterops::SetParallelism(1, 1);
    const std::vector<uint8_t> alone = Encoded(image, kTypePng);
    rasterops::SetParallelism(4, 1);
    const std::vector<uint8_t> shared = Encoded(image, kTypePng);
    rasterops::SetParallelism(0, 1 << 18);  // the default
    EXPECT_EQ(alone, shared);
}

// Every strip's deflate stream is made to run on into the next one at whatever bit it ended on:
// rows of many widths, a strip each, must inflate to exactly the filtered rows.
TEST(PngCodec, StripsJoinAtEveryBitIntoOneStream) {
    std::mt19937 random(11);
    for (size_t rowBytes = 3; rowBytes < 120; rowBytes += 7) {
        const uint32_t height = 40;
        std::vector<uint8_t> pixels(rowBytes * height);
        for (uint8_t& byte : pixels) byte = uint8_t(random() % 5 ? random() % 4 : random());
        pngidat::Layout layout;
        layout.height = height;
        layout.rowBytes = rowBytes;
        layout.pixelBytes = 3;
        layout.adaptive = true;
        layout.stripBytes = 1;
        std::vector<std::vector<uint8_t>> pieces;
        ASSERT_TRUE(pngidat::Compress(
            layout,
            [&](uint32_t y, uint8_t* out) { std::memcpy(out, &pixels[y * rowBytes], rowBytes); },
            pieces));
        ASSERT_EQ(pieces.size(), height);
        std::vector<uint8_t> stream, expected((rowBytes + 1) * height), zero(rowBytes);
        for (const auto& piece : pieces) stream.insert(stream.end(), piece.begin(), piece.end());
        for (uint32_t y = 0; y < height; ++y)
            pngidat::FilterRow(&pixels[y * rowBytes], y ? &pixels[(y - 1) * rowBytes] : zero.data(),
                               rowBytes, 3, true, &expected[y * (rowBytes + 1)]);
        std::vector<uint8_t> inflated(expected.size() + 1);
        uLongf size = static_cast<uLongf>(inflated.size());
        ASSERT_EQ(uncompress(inflated.data(), &size, stream.data(), stream.size()), Z_OK)
            << rowBytes;
        inflated.resize(size);
        EXPECT_EQ(inflated, expected) << rowBytes;
    }
}

// The reader inflates the image data ahead, in two halves where it finds a flush point past the
// middle. A picture of ours big enough to be cut reads back the same; so does a file whose
// stored (uncompressed) data holds the flush marker's bytes, which is no place to cut; and a
// damaged image chunk is refused.
TEST(PngCodec, ImageDataInflatedAheadWhereverItCanBeCut) {
    CRaster big = MakePattern(900, 700, 24);
    std::mt19937 random(5);
    for (uint32_t y = 0; y < 700; ++y)
        for (uint32_t i = 0; i < 2700; ++i) big.GetBits(y)[i] = uint8_t(random());
    CRaster back;
    ASSERT_TRUE(DecodeBytes(back, Encoded(big, kTypePng), kTypePng)) << back.GetLastError();
    EXPECT_TRUE(SamePixels(back, big));

    // 300 x 4000 grey, every row "00 00 ff ff ...", compressed at level 0 (stored blocks).
    const uint32_t width = 300, height = 4000;
    std::vector<uint8_t> rows;
    for (uint32_t y = 0; y < height; ++y) {
        rows.push_back(0);  // no filter
        for (uint32_t x = 0; x < width; ++x) rows.push_back(x % 4 < 2 ? 0x00 : 0xff);
    }
    std::vector<uint8_t> data(compressBound(rows.size()));
    uLongf size = data.size();
    ASSERT_EQ(compress2(data.data(), &size, rows.data(), rows.size(), 0), Z_OK);
    data.resize(size);
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 0x0d, 0x0a, 0x1a, 0x0a};
    const auto chunk = [&png](const char* type, std::vector<uint8_t> body) {
        for (int shift = 24; shift >= 0; shift -= 8) png.push_back(uint8_t(body.size() >> shift));
        body.insert(body.begin(), type, type + 4);
        const uLong crc = crc32(0, body.data(), body.size());
        png.insert(png.end(), body.begin(), body.end());
        for (int shift = 24; shift >= 0; shift -= 8) png.push_back(uint8_t(crc >> shift));
    };
    chunk("IHDR", {0, 0, width >> 8, width & 255, 0, 0, height >> 8, height & 255, 8, 0, 0, 0, 0});
    chunk("IDAT", data);
    chunk("IEND", {});
    ASSERT_TRUE(DecodeBytes(back, png, kTypePng)) << back.GetLastError();
    ASSERT_EQ(back.GetHeight(), height);
    for (uint32_t y = 0; y < height; y += 99)
        for (uint32_t x = 0; x < width; x += 7)
            ASSERT_EQ(back.GetPixelIndex(x, y), x % 4 < 2 ? 0 : 255) << x << "," << y;
    png[33 + 8 + data.size() / 2] ^= 1;  // in the image data
    EXPECT_FALSE(DecodeBytes(back, png, kTypePng));
    EXPECT_STREQ(back.GetLastError(), "CRC error");
}

TEST(JpegCodec, ColourAndGreyImages) {
    CRaster colour = Smooth(40, 24);
    colour.SetEncodeQuality(95);
    colour.SetXDPI(300);
    colour.SetYDPI(150);
    CRaster back;
    ASSERT_TRUE(DecodeBytes(back, Encoded(colour, kTypeJpeg), kTypeJpeg)) << back.GetLastError();
    EXPECT_EQ(back.GetBpp(), 24u);
    EXPECT_EQ(back.GetType(), kTypeJpeg);
    EXPECT_LE(MaxChannelDifference(back, colour), 8);
    EXPECT_EQ(back.GetXDPI(), 300);
    EXPECT_EQ(back.GetYDPI(), 150);

    CRaster grey(16, 16, 8);
    grey.SetGrayPalette();
    for (int32_t y = 0; y < 16; ++y)
        for (int32_t x = 0; x < 16; ++x) grey.SetPixelIndex(x, y, static_cast<uint8_t>(x * 16));
    ASSERT_TRUE(DecodeBytes(back, Encoded(grey, kTypeJpeg), kTypeJpeg));
    EXPECT_EQ(back.GetBpp(), 8u);
    EXPECT_TRUE(back.IsGrayScale());
    EXPECT_LE(MaxChannelDifference(back, grey), 8);
}

TEST(JpegCodec, QualityChangesTheFile) {
    CRaster image = MakePattern(64, 64, 24);
    image.SetEncodeQuality(10);
    const size_t small = Encoded(image, kTypeJpeg).size();
    image.SetEncodeQuality(100);
    EXPECT_LT(small * 2, Encoded(image, kTypeJpeg).size());
}

TEST(JpegCodec, RefusesPaletteImages) {
    for (uint32_t bpp : {1u, 4u, 8u}) {
        CRaster image = MakePattern(4, 4, bpp);
        uint8_t* buffer = nullptr;
        int32_t size = 0;
        EXPECT_FALSE(image.Encode(buffer, size, kTypeJpeg));
        EXPECT_EQ(buffer, nullptr);
        EXPECT_STREQ(image.GetLastError(), "JPEG can save only RGB or GreyScale images");
    }
}

TEST(TiffCodec, SeveralPagesWithNames) {
    CRaster first = MakePattern(8, 5, 24), second = MakePattern(3, 9, 8),
            third = MakePattern(6, 6, 1);
    CRaster* pages[] = {&first, &second, &third};
    CMemoryStream stream;
    ASSERT_TRUE(stream.Open());
    CRaster writer;
    ASSERT_TRUE(writer.Encode(&stream, pages, 3, kTypeTiff)) << writer.GetLastError();
    const size_t size = static_cast<size_t>(stream.Size());
    std::vector<uint8_t> bytes(stream.GetBuffer(), stream.GetBuffer() + size);
    std::free(stream.GetBuffer());

    for (int32_t frame = 0; frame < 3; ++frame) {
        CRaster page;
        page.SetFrame(frame);
        ASSERT_TRUE(DecodeBytes(page, bytes, kTypeTiff)) << page.GetLastError();
        EXPECT_EQ(page.GetFrameCount(), 3);
        EXPECT_TRUE(SamePixels(page, *pages[frame])) << frame;
    }
    CRaster missing = MakePattern(2, 2, 24);
    missing.SetFrame(3);
    EXPECT_FALSE(DecodeBytes(missing, bytes, kTypeTiff));
    EXPECT_STREQ(missing.GetLastError(), "Error: page not present in TIFF file");
    EXPECT_EQ(missing.GetFrameCount(), 3);
    EXPECT_EQ(missing.GetWidth(), 2u);

    // The page names, read by libtiff itself.
    char path[] = "/tmp/quillet-pages.XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(fd);
    TIFF* tif = TIFFOpen(path, "r");
    ASSERT_NE(tif, nullptr);
    int index = 1;
    do {
        char* name = nullptr;
        ASSERT_TRUE(TIFFGetField(tif, TIFFTAG_PAGENAME, &name));
        EXPECT_EQ(std::string(name), "Page " + std::to_string(index++));
    } while (TIFFReadDirectory(tif));
    TIFFClose(tif);
    std::remove(path);
}

TEST(TiffCodec, SeveralPagesRefusals) {
    CRaster writer;
    CMemoryStream stream;
    ASSERT_TRUE(stream.Open());
    EXPECT_FALSE(writer.Encode(&stream, nullptr, 2, kTypeTiff));
    EXPECT_STREQ(writer.GetLastError(), "multipage TIFF, no images!");
    CRaster empty;
    CRaster* pages[] = {&empty};
    EXPECT_FALSE(writer.Encode(&stream, pages, 1, kTypeTiff));
    EXPECT_STREQ(writer.GetLastError(), "Bad image pointer");
    EXPECT_FALSE(writer.Encode(static_cast<CByteStream*>(nullptr), pages, 1, kTypeTiff));
    EXPECT_STREQ(writer.GetLastError(), "invalid file pointer");
}

class MultiPageFile : public TempFolderTest {};

TEST_F(MultiPageFile, WrittenIntoAFileOpenedForWritingOnly) {
    CRaster a = MakePattern(5, 5, 24), b = MakePattern(5, 5, 4);
    CRaster* pages[] = {&a, &b};
    std::FILE* file = std::fopen(Path("p.tif").c_str(), "wb");
    ASSERT_NE(file, nullptr);
    CRaster writer;
    EXPECT_TRUE(writer.Encode(file, pages, 2, kTypeTiff)) << writer.GetLastError();
    std::fclose(file);
    CRaster back;
    back.SetFrame(1);
    ASSERT_TRUE(back.Load(Path("p.tif").c_str(), kTypeTiff)) << back.GetLastError();
    EXPECT_TRUE(SamePixels(back, b));
}

// Damaged files of every format fail with a message and leave the image as it was.
TEST(LibraryCodecs, BadInputFailsCleanly) {
    std::mt19937 random(7);
    for (uint32_t type : {kTypeBmp, kTypeJpeg, kTypePng, kTypeTiff}) {
        CRaster source = type == kTypeJpeg ? Smooth(33, 17) : MakePattern(33, 17, 24);
        const std::vector<uint8_t> good = Encoded(source, type);
        CRaster image = MakePattern(2, 3, 8);
        auto expectRejected = [&](const std::vector<uint8_t>& bytes, const char* what) {
            image.SetLastError("");
            EXPECT_FALSE(DecodeBytes(image, bytes, type)) << type << " " << what;
            EXPECT_STRNE(image.GetLastError(), "") << type << " " << what;
            EXPECT_EQ(image.GetWidth(), 2u);
            EXPECT_EQ(image.GetBpp(), 8u);
        };
        expectRejected({}, "empty");
        expectRejected(std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 2),
                       "truncated");
        expectRejected(std::vector<uint8_t>(good.begin(), good.begin() + 20), "header only");
        std::vector<uint8_t> noise(500);
        for (auto& b : noise) b = static_cast<uint8_t>(random());
        expectRejected(noise, "noise");
        // Flipped bytes anywhere: any outcome but a crash (the sanitizer run watches).
        for (int round = 0; round < 200; ++round) {
            std::vector<uint8_t> damaged = good;
            for (int k = 0; k < 4; ++k)
                damaged[random() % damaged.size()] = static_cast<uint8_t>(random());
            CRaster scratch;
            DecodeBytes(scratch, damaged, type);
        }
    }
}

TEST(LibraryCodecs, AbsurdSizesAreRefused) {
    // A valid PNG header announcing 20000 x 20000 pixels (more than 2^28).
    CRaster image = MakePattern(1, 1, 24);
    std::vector<uint8_t> png = Encoded(image, kTypePng);
    const uint8_t size[4] = {0, 0, 0x4E, 0x20};
    std::memcpy(png.data() + 16, size, 4);
    std::memcpy(png.data() + 20, size, 4);
    const uLong crc = crc32(0, png.data() + 12, 17);
    for (int i = 0; i < 4; ++i) png[29 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    CRaster back;
    EXPECT_FALSE(DecodeBytes(back, png, kTypePng));
    // The few bytes of image data cannot fill it: refused before anything is allocated.
    EXPECT_STREQ(back.GetLastError(), "Not enough image data");
}
