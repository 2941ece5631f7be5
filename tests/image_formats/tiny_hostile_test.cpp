// Tiny files that claim huge pictures, chunks or strips (the hostile seeds of the fuzz corpus):
// each fails with its format's message, quickly, in a child process that may map no more than
// 64 MB beyond what it had.

#include <gtest/gtest.h>

#include <QFile>

#include <string>

#include "format_test_util.h"
#include "support/limited_child.h"

namespace {

struct HostileCase {
    const char* file;  // under the fuzz corpus (the metafiles lie beside this test)
    uint32_t type;
    const char* message;
};

const HostileCase kCases[] = {
    {"bmp/huge.bmp", kTypeBmp, "corrupted BMP"},
    {"bmp/huge-rle.bmp", kTypeBmp, "corrupted BMP"},
    {"gif/huge-frame.gif", kTypeGif, "corrupted GIF"},
    {"gif/huge-screen.gif", kTypeGif, "corrupted GIF"},
    {"jpeg/huge.jpg", kTypeJpeg, "Premature end of JPEG file"},
    {"png/huge-idat.png", kTypePng, "Read Error"},
    {"png/huge-text.png", kTypePng, "Read Error"},
    {"png/huge-palette.png", kTypePng, "Read Error"},
    {"png/huge-size.png", kTypePng, "Not enough image data"},
    {"ico/png-huge-text.ico", kTypeIco, "Read Error"},
    {"tiff/huge-strip.tif", kTypeTiff, "Corrupted TIFF file!"},
    {"tga/huge.tga", kTypeTga, "corrupted TGA"},
    {"pcx/huge.pcx", kTypePcx, "corrupted PCX"},
    {"wbmp/huge.wbmp", kTypeWbmp, "Corrupted WBMP"},
#ifdef QUILLET_HAVE_METAFILE
    {"../../tests/image_formats/hostile/huge.wmf", kTypeWmf, "corrupted WMF"},
    {"../../tests/image_formats/hostile/huge.emf", kTypeWmf, "corrupted WMF"},
#endif
};

Bytes ReadSeed(const char* name) {
    QFile file(QString(FUZZ_CORPUS "/") + name);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = file.readAll();
    return Bytes(bytes.begin(), bytes.end());
}

}  // namespace

TEST(TinyHostileFiles, FailFastWithTheirFormatsMessageWithinSixtyFourMegabytes) {
    for (const HostileCase& c : kCases) {
        SCOPED_TRACE(c.file);
        const Bytes bytes = ReadSeed(c.file);
        ASSERT_FALSE(bytes.empty());
        ASSERT_LT(bytes.size(), 2048u);
        const testsupport::LimitedResult result = testsupport::RunLimited(uint64_t{64} << 20, [&] {
            CRaster image(c.type);
            if (Decode(image, bytes, c.type)) return std::string("decoded");
            return std::string(image.GetLastError());
        });
        ASSERT_TRUE(result.finished);
        EXPECT_EQ(result.text, c.message);
        EXPECT_LT(result.seconds, testsupport::kQuickSeconds);
    }
}

// The bounds refuse only what the data cannot fill: the same formats at modest sizes with little
// data still decode (a white picture compresses to a few hundred bytes).
TEST(TinyHostileFiles, SmallDataForAModestPictureStillDecodes) {
    CRaster white(kTypeBmp);
    white.Create(300, 200, 8, kTypeBmp);
    white.SetGrayPalette();
    for (uint32_t y = 0; y < 200; ++y) std::memset(white.GetBits(y), 255, white.GetEffWidth());
    for (const uint32_t type : {kTypeGif, kTypePng, kTypeTga, kTypePcx}) {
        SCOPED_TRACE(type);
        CRaster image(type);
        const Bytes file = Written(white, type);
        ASSERT_FALSE(file.empty());
        ASSERT_TRUE(Decode(image, file, type)) << image.GetLastError();
        EXPECT_EQ(image.GetWidth(), 300u);
        EXPECT_EQ(image.GetPixelColor(299, 199).rgbRed, 255);
    }
}
