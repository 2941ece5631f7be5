// Interoperability with a second implementation (ImageMagick): its files read by us and ours
// read by it, compared pixel for pixel through ImageMagick's own raw RGBA dump.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "test_images.h"

namespace {

std::string ImageMagick() {
    if (std::filesystem::exists("/usr/bin/convert")) return "/usr/bin/convert";
    return "convert";
}

bool Shell(const std::string& command) {
    return std::system((command + " 2>/dev/null").c_str()) == 0;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// ImageMagick's view of a file: top row first, 4 bytes per pixel.
std::vector<uint8_t> TheirRgba(const std::string& file, const std::string& raw) {
    if (!Shell(ImageMagick() + " '" + file + "' -depth 8 rgba:'" + raw + "'")) return {};
    return ReadAll(raw);
}

// Our decoded image against their RGBA dump. Opacity: the alpha plane, or 0 for the transparent
// colour, or 255.
::testing::AssertionResult SameAsTheirs(const CRaster& ours, const std::vector<uint8_t>& theirs,
                                        int tolerance, bool compareAlpha) {
    const uint32_t width = ours.GetWidth(), height = ours.GetHeight();
    if (theirs.size() != static_cast<size_t>(width) * height * 4)
        return ::testing::AssertionFailure() << "their dump has " << theirs.size() << " bytes";
    const RGBQUAD key = ours.GetTransColor();
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t* t = theirs.data() + (static_cast<size_t>(y) * width + x) * 4;
            const int32_t by = static_cast<int32_t>(height - 1 - y);
            const RGBQUAD c = ours.GetPixelColor(static_cast<int32_t>(x), by);
            int alpha = 255;
            if (ours.AlphaIsValid())
                alpha = ours.AlphaGet(static_cast<int32_t>(x), by);
            else if (ours.GetTransIndex() != -1 && c.rgbRed == key.rgbRed &&
                     c.rgbGreen == key.rgbGreen && c.rgbBlue == key.rgbBlue)
                alpha = 0;
            if (compareAlpha && alpha != t[3])
                return ::testing::AssertionFailure()
                       << "alpha at " << x << "," << y << ": " << alpha << " vs " << int(t[3]);
            if (compareAlpha && alpha == 0) continue;  // colour under full transparency is free
            if (std::abs(c.rgbRed - t[0]) > tolerance || std::abs(c.rgbGreen - t[1]) > tolerance ||
                std::abs(c.rgbBlue - t[2]) > tolerance)
                return ::testing::AssertionFailure()
                       << "pixel " << x << "," << y << ": " << int(c.rgbRed) << ","
                       << int(c.rgbGreen) << "," << int(c.rgbBlue) << " vs " << int(t[0]) << ","
                       << int(t[1]) << "," << int(t[2]);
        }
    }
    return ::testing::AssertionSuccess();
}

class Interop : public TempFolderTest {
  protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        if (!Shell(ImageMagick() + " -version >/dev/null")) GTEST_SKIP() << "ImageMagick missing";
        // A colourful reference with a smooth part (for JPEG) and sharp edges, and a soft alpha.
        ASSERT_TRUE(Shell(ImageMagick() + " -size 61x37 gradient:'#ff2000'-'#0040ff' " +
                          "-fill '#10e020' -draw 'rectangle 5,5 20,30' -depth 8 'PNG24:" +
                          Path("ref.png") + "'"));
        ASSERT_TRUE(
            Shell(ImageMagick() + " '" + Path("ref.png") +
                  "' \\( +clone -fx 'i/w' \\) -alpha off -compose copy_opacity -composite 'PNG32:" +
                  Path("alpha.png") + "'"));
    }

    struct Variant {
        const char* name;     // file written by ImageMagick
        const char* source;   // ref.png or alpha.png
        const char* options;  // ImageMagick options before the output
        int tolerance;
        bool alpha;
    };

    void ExpectReadLikeThem(const Variant& v) {
        const std::string file = Path(v.name);
        ASSERT_TRUE(Shell(ImageMagick() + " '" + Path(v.source) + "' " + v.options + " '" +
                          OutputSpec(v.name) + "'"))
            << v.name;
        const uint32_t type = static_cast<uint32_t>(RasterTypeFromPath(file));
        CRaster ours(file.c_str(), type);
        ASSERT_TRUE(ours.IsValid()) << v.name << ": " << ours.GetLastError();
        EXPECT_TRUE(SameAsTheirs(ours, TheirRgba(file, file + ".raw"), v.tolerance, v.alpha))
            << v.name;
    }

    // "bmp3-x.bmp" is written as BMP3:..., "bmp2-x.bmp" as BMP2:..., "png8-x.png" as PNG8:...
    std::string OutputSpec(const std::string& name) {
        if (name.rfind("bmp3-", 0) == 0) return "BMP3:" + Path(name);
        if (name.rfind("bmp2-", 0) == 0) return "BMP2:" + Path(name);
        if (name.rfind("png8-", 0) == 0) return "PNG8:" + Path(name);
        return Path(name);
    }
};

}  // namespace

TEST_F(Interop, TheirFilesReadByUs) {
    const Variant variants[] = {
        {"plain.png", "ref.png", "", 0, false},
        {"deep.png", "ref.png", "-depth 16", 0, false},
        {"png8-palette.png", "ref.png", "-colors 200", 0, true},
        {"grey.png", "ref.png", "-colorspace gray", 0, false},
        {"grey4.png", "ref.png", "-colorspace gray -depth 4", 0, false},
        {"interlaced.png", "ref.png", "-interlace PNG", 0, false},
        {"alpha.png", "alpha.png", "", 0, true},
        {"alpha-interlaced.png", "alpha.png", "-interlace PNG", 0, true},
        {"grey-alpha.png", "alpha.png", "-colorspace gray", 0, true},
        {"plain.tif", "ref.png", "", 0, false},
        {"lzw.tif", "ref.png", "-compress lzw", 0, false},
        {"zip.tif", "ref.png", "-compress zip", 0, false},
        {"tiled.tif", "ref.png", "-define tiff:tile-geometry=16x16", 0, false},
        {"deep.tif", "ref.png", "-depth 16", 0, false},
        {"planes.tif", "ref.png", "-interlace plane", 0, false},
        {"palette.tif", "ref.png", "-colors 100 -type palette", 0, false},
        {"grey.tif", "ref.png", "-colorspace gray", 0, false},
        {"alpha.tif", "alpha.png", "", 0, true},
        {"default.bmp", "ref.png", "", 0, false},
        {"bmp3-plain.bmp", "ref.png", "", 0, false},
        {"bmp2-plain.bmp", "ref.png", "", 0, false},
        {"bmp3-palette.bmp", "ref.png", "-colors 200 -type palette", 0, false},
        {"bmp3-rle.bmp", "ref.png", "-colors 200 -type palette -compress rle", 0, false},
        {"bmp3-grey4.bmp", "ref.png", "-colorspace gray -colors 16 -type palette", 0, false},
        {"mono.bmp", "ref.png", "-monochrome", 0, false},
        {"rgb565.bmp", "ref.png", "-define bmp:subtype=RGB565", 8, false},
        {"argb.bmp", "alpha.png", "-define bmp:format=bmp4", 0, false},
        {"plain.jpg", "ref.png", "-quality 90", 1, false},
        {"grey.jpg", "ref.png", "-colorspace gray -quality 90", 1, false},
        {"progressive.jpg", "ref.png", "-interlace JPEG", 1, false},
    };
    for (const auto& v : variants) ExpectReadLikeThem(v);

    CRaster grey(Path("grey.jpg").c_str(), kTypeJpeg);
    EXPECT_EQ(grey.GetBpp(), 8u);
    CRaster palette(Path("bmp3-rle.bmp").c_str(), kTypeBmp);
    EXPECT_EQ(palette.GetBpp(), 8u);
    EXPECT_EQ(palette.GetHeader().biCompression, BI_RGB);  // expanded on reading
}

TEST_F(Interop, OurFilesReadByThem) {
    CRaster reference(Path("ref.png").c_str(), kTypePng);
    CRaster withAlpha(Path("alpha.png").c_str(), kTypePng);
    ASSERT_TRUE(reference.IsValid() && withAlpha.IsValid());
    ASSERT_TRUE(withAlpha.AlphaIsValid());
    CRaster patterns[] = {MakePattern(21, 13, 1), MakePattern(21, 13, 4), MakePattern(21, 13, 8)};
    patterns[1].SetTransIndex(2);

    const struct {
        const char* name;
        const CRaster* image;
        bool alpha;
    } cases[] = {
        {"ours24.bmp", &reference, false},  {"ours1.bmp", &patterns[0], false},
        {"ours4.bmp", &patterns[1], false}, {"ours8.bmp", &patterns[2], false},
        {"ours24.png", &reference, false},  {"ours1.png", &patterns[0], false},
        {"ours4.png", &patterns[1], true},  {"ours8.png", &patterns[2], false},
        {"oursA.png", &withAlpha, true},    {"ours24.tif", &reference, false},
        {"ours1.tif", &patterns[0], false}, {"ours4.tif", &patterns[1], false},
        {"ours8.tif", &patterns[2], false}, {"oursA.tif", &withAlpha, true},
    };
    for (const auto& c : cases) {
        CRaster image(*c.image);
        const std::string file = Path(c.name);
        ASSERT_TRUE(image.Save(file.c_str(), static_cast<uint32_t>(RasterTypeFromPath(file))))
            << c.name << ": " << image.GetLastError();
        EXPECT_TRUE(SameAsTheirs(image, TheirRgba(file, file + ".raw"), 0, c.alpha)) << c.name;
    }

    // JPEG: their decoding of our file against ours.
    CRaster jpeg(reference);
    jpeg.SetEncodeQuality(85);
    ASSERT_TRUE(jpeg.Save(Path("ours.jpg").c_str(), kTypeJpeg));
    CRaster back(Path("ours.jpg").c_str(), kTypeJpeg);
    ASSERT_TRUE(back.IsValid());
    EXPECT_TRUE(SameAsTheirs(back, TheirRgba(Path("ours.jpg"), Path("ours.jpg.raw")), 1, false));
}

// Pictures big enough for the PNG writer's strips: every depth it writes, read back by libpng
// (our reader) and by ImageMagick to the same pixels.
TEST_F(Interop, LargePngsReadAlikeByBoth) {
    std::mt19937 random(7);
    const auto noisy = [&random](uint32_t width, uint32_t height, uint32_t bpp, bool alpha) {
        CRaster image = MakePattern(width, height, bpp);
        if (alpha) image.AlphaCreate();
        for (uint32_t y = 0; y < height; y += 1 + random() % 3) {
            uint8_t* row = image.GetBits(y);
            for (uint32_t i = random() % 7; i < image.GetEffWidth(); i += 1 + random() % 5)
                row[i] = static_cast<uint8_t>(random());
            if (alpha)
                for (uint32_t x = 0; x < width; ++x)
                    image.AlphaSet(x, y, static_cast<uint8_t>(x * 255 / width + (random() & 7)));
        }
        return image;
    };
    CRaster cases[] = {noisy(701, 390, 24, false), noisy(500, 300, 24, true),
                       noisy(900, 400, 8, false), noisy(2500, 900, 1, false),
                       noisy(1300, 700, 4, false)};
    for (CRaster& image : cases) {
        const std::string file = Path("large" + std::to_string(image.GetBpp()) + ".png");
        ASSERT_TRUE(image.Save(file.c_str(), kTypePng)) << image.GetLastError();
        CRaster back(file.c_str(), kTypePng);
        EXPECT_TRUE(SamePixels(back, image)) << file;
        EXPECT_TRUE(SameAsTheirs(image, TheirRgba(file, file + ".raw"), 0, image.AlphaIsValid()))
            << file;
    }
}

TEST_F(Interop, PagesOfOurTiffAndTheirs) {
    CRaster a = MakePattern(10, 8, 24), b = MakePattern(7, 5, 8), c = MakePattern(3, 3, 1);
    CRaster* pages[] = {&a, &b, &c};
    std::FILE* file = std::fopen(Path("pages.tif").c_str(), "wb");
    ASSERT_NE(file, nullptr);
    CRaster writer;
    ASSERT_TRUE(writer.Encode(file, pages, 3, kTypeTiff)) << writer.GetLastError();
    std::fclose(file);
    const std::string tif = Path("pages.tif");
    EXPECT_TRUE(SameAsTheirs(b, TheirRgba(tif + "[1]", Path("p1.raw")), 0, false));
    EXPECT_TRUE(SameAsTheirs(c, TheirRgba(tif + "[2]", Path("p2.raw")), 0, false));

    // Their three-page file, page by page.
    ASSERT_TRUE(Shell(ImageMagick() + " '" + Path("ref.png") + "' '" + Path("alpha.png") +
                      "' -colorspace gray '" + Path("ref.png") + "' '" + Path("theirs.tif") + "'"));
    for (int32_t frame = 0; frame < 3; ++frame) {
        CRaster page;
        page.SetFrame(frame);
        ASSERT_TRUE(page.Load(Path("theirs.tif").c_str(), kTypeTiff)) << page.GetLastError();
        EXPECT_EQ(page.GetFrameCount(), 3);
        const std::string pageName = Path("theirs.tif") + "[" + std::to_string(frame) + "]";
        EXPECT_TRUE(SameAsTheirs(page, TheirRgba(pageName, Path("t.raw")), 0, frame == 1)) << frame;
    }
}
