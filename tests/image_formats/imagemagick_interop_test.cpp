// Interoperability with ImageMagick, pixel for pixel: files it writes are read by us, files we
// write are read by it (checked through a PNG it writes and we read).

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "format_test_util.h"

namespace {

constexpr const char* kConvert = "/usr/bin/convert";

class ImageMagickInterop : public TempFolderTest {
  protected:
    void SetUp() override {
        if (access(kConvert, X_OK) != 0) GTEST_SKIP() << "ImageMagick is not installed";
        TempFolderTest::SetUp();
    }

    // Runs convert with the arguments (file names are taken in the test's folder).
    bool Convert(const std::string& arguments) {
        const std::string command =
            "cd '" + folder.string() + "' && " + kConvert + " " + arguments + " 2>/dev/null";
        return std::system(command.c_str()) == 0;
    }

    bool Save(CRaster& image, const std::string& name, uint32_t type) {
        return image.Save(Path(name).c_str(), type);
    }

    // The image ImageMagick makes of a file, read through a PNG it writes.
    CRaster ReadByImageMagick(const std::string& name, const std::string& options = "") {
        CRaster image;
        if (Convert(name + " " + options + " PNG32:seen.png"))
            image.Load(Path("seen.png").c_str(), kTypePng);
        return image;
    }

    CRaster Load(const std::string& name, uint32_t type, int32_t frame = 0) {
        CRaster image;
        image.SetFrame(frame);
        EXPECT_TRUE(image.Load(Path(name).c_str(), type)) << name << ": " << image.GetLastError();
        return image;
    }
};

// A picture of few colours, so that no format has to reduce them.
CRaster FewColours(uint32_t width, uint32_t height, int seed) {
    CRaster image(width, height, 24);
    for (int32_t y = 0; y < static_cast<int32_t>(height); ++y)
        for (int32_t x = 0; x < static_cast<int32_t>(width); ++x)
            image.SetPixelColor(x, y,
                                Rgb(static_cast<uint8_t>((x / 3) * 40 + seed),
                                    static_cast<uint8_t>(y * 20), static_cast<uint8_t>(seed * 7)));
    return image;
}

CRaster BlackAndWhite(uint32_t width, uint32_t height) {
    CRaster image(width, height, 1);
    image.SetPaletteIndex(1, 255, 255, 255);
    for (int32_t y = 0; y < static_cast<int32_t>(height); ++y)
        for (int32_t x = 0; x < static_cast<int32_t>(width); ++x)
            image.SetPixelIndex(x, y, static_cast<uint8_t>(((x * 3) ^ y) % 3 == 0));
    return image;
}

}  // namespace

TEST_F(ImageMagickInterop, ItsFilesReadByUs) {
    CRaster source = FewColours(19, 11, 5);
    ASSERT_TRUE(Save(source, "source.png", kTypePng));
    ASSERT_TRUE(Convert("source.png plain.gif"));
    ASSERT_TRUE(Convert("source.png plain.pcx"));
    ASSERT_TRUE(Convert("source.png -interlace GIF interlaced.gif"));
    ASSERT_TRUE(Convert("source.png -type Palette palette.pcx"));
    // ImageMagick 6 keeps TGA rows in file order and only notes their orientation, so it is
    // told to write the top row first (and to say so in the file).
    ASSERT_TRUE(Convert("source.png -orient TopLeft plain.tga"));
    ASSERT_TRUE(Convert("source.png -orient TopLeft -compress RLE rle.tga"));
    ASSERT_TRUE(Convert("source.png -orient TopLeft -type Palette -compress RLE palette-rle.tga"));
    for (auto [name, type] : {std::pair{"plain.gif", kTypeGif},
                              {"interlaced.gif", kTypeGif},
                              {"plain.tga", kTypeTga},
                              {"rle.tga", kTypeTga},
                              {"palette-rle.tga", kTypeTga},
                              {"plain.pcx", kTypePcx},
                              {"palette.pcx", kTypePcx}})
        EXPECT_TRUE(SamePixels(Load(name, type), source)) << name;

    CRaster mono = BlackAndWhite(21, 7);
    ASSERT_TRUE(Save(mono, "mono.png", kTypePng));
    ASSERT_TRUE(Convert("mono.png mono.wbmp"));
    ASSERT_TRUE(Convert("mono.png -monochrome mono.pcx"));
    EXPECT_TRUE(SamePixels(Load("mono.wbmp", kTypeWbmp), mono));
    EXPECT_TRUE(SamePixels(Load("mono.pcx", kTypePcx), mono));
}

TEST_F(ImageMagickInterop, ItsAnimationsAndIconsReadFrameByFrame) {
    CRaster a = FewColours(16, 12, 1), b = FewColours(16, 12, 9), c = FewColours(16, 12, 20);
    ASSERT_TRUE(Save(a, "a.png", kTypePng));
    ASSERT_TRUE(Save(b, "b.png", kTypePng));
    ASSERT_TRUE(Save(c, "c.png", kTypePng));
    ASSERT_TRUE(Convert("-delay 20 a.png b.png c.png -loop 0 anim.gif"));
    CRaster* expected[] = {&a, &b, &c};
    for (int32_t frame = 0; frame < 3; ++frame) {
        CRaster read = Load("anim.gif", kTypeGif, frame);
        EXPECT_EQ(read.GetFrameCount(), 3);
        EXPECT_TRUE(SamePixels(read, *expected[frame])) << frame;
    }
    // Optimised layers: later frames hold only what changed and build on the earlier ones.
    ASSERT_TRUE(Convert("-delay 20 a.png b.png c.png -layers optimize optimized.gif"));
    for (int32_t frame = 0; frame < 3; ++frame)
        EXPECT_TRUE(SamePixels(Load("optimized.gif", kTypeGif, frame), *expected[frame])) << frame;

    CRaster small = FewColours(16, 16, 3), large = FewColours(32, 32, 12);
    ASSERT_TRUE(Save(small, "small.png", kTypePng));
    ASSERT_TRUE(Save(large, "large.png", kTypePng));
    ASSERT_TRUE(Convert("small.png large.png icons.ico"));
    EXPECT_TRUE(SamePixels(Load("icons.ico", kTypeIco, 0), small));
    CRaster second = Load("icons.ico", kTypeIco, 1);
    EXPECT_EQ(second.GetFrameCount(), 2);
    EXPECT_TRUE(SamePixels(second, large));
}

TEST_F(ImageMagickInterop, OurFilesReadByIt) {
    for (uint32_t bpp : {1u, 4u, 8u, 24u}) {
        CRaster image = MakePattern(23, 13, bpp);

        for (auto [extension, type] : {std::pair{"gif", kTypeGif},
                                       {"ico", kTypeIco},
                                       {"tga", kTypeTga},
                                       {"pcx", kTypePcx}}) {
            // No lower TGA depths; ImageMagick 6 reads one-bit PCX files with 1 as black,
            // whatever their colour table says.
            if ((type == kTypeTga && bpp < 8) || (type == kTypePcx && bpp == 1)) continue;
            const std::string name = "ours" + std::to_string(bpp) + "." + extension;
            ASSERT_TRUE(Save(image, name, type)) << name << image.GetLastError();
            // Our 24-bit GIF is a set of tiles: ImageMagick sees them as layers to flatten.
            const char* options = type == kTypeGif && bpp == 24 ? "-flatten"
                                  : type == kTypeTga            ? "-auto-orient"
                                                                : "";
            CRaster seen = ReadByImageMagick(name, options);
            ASSERT_TRUE(seen.IsValid()) << name;
            EXPECT_TRUE(SamePixels(seen, image)) << name;
        }
    }
    CRaster mono = BlackAndWhite(30, 9);
    ASSERT_TRUE(Save(mono, "ours.wbmp", kTypeWbmp));
    EXPECT_TRUE(SamePixels(ReadByImageMagick("ours.wbmp"), mono));

    CRaster translucent = MakePattern(12, 8, 24);
    translucent.AlphaCreate();
    translucent.AlphaSet(255);
    translucent.AlphaSet(3, 4, 0);
    ASSERT_TRUE(Save(translucent, "alpha.tga", kTypeTga));
    CRaster seen = ReadByImageMagick("alpha.tga", "-auto-orient");
    ASSERT_TRUE(seen.AlphaIsValid());
    EXPECT_EQ(seen.AlphaGet(3, 4), 0);
    EXPECT_EQ(seen.AlphaGet(4, 4), 255);
}

TEST_F(ImageMagickInterop, OurAnimationPlaysInIt) {
    CRaster first = MakePattern(10, 8, 8), second = MakePattern(10, 8, 8);
    second.Clear(5);
    CRaster* frames[] = {&first, &second};
    CRaster report;
    {
        FILE* file = std::fopen(Path("anim.gif").c_str(), "wb");
        ASSERT_NE(file, nullptr);
        EXPECT_TRUE(report.Encode(file, frames, 2, kTypeGif)) << report.GetLastError();
        std::fclose(file);
    }
    ASSERT_TRUE(Convert("anim.gif -coalesce frame-%d.png"));
    CRaster one, two;
    ASSERT_TRUE(one.Load(Path("frame-0.png").c_str(), kTypePng));
    ASSERT_TRUE(two.Load(Path("frame-1.png").c_str(), kTypePng));
    EXPECT_TRUE(SamePixels(one, first));
    EXPECT_TRUE(SamePixels(two, second));
}
