// quillet-tool's image operations on real files give what the operations give in memory.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "image/octree_palette.h"
#include "op_images.h"

#ifdef QUILLET_TOOL

namespace {

class ImageOpsTool : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/quillet-image-ops.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder = pattern;
        source = SmoothImage(37, 23, 9);
        ASSERT_TRUE(source.Save(Path("in.bmp").c_str(), kTypeBmp));
    }
    void TearDown() override { std::filesystem::remove_all(folder); }
    std::string Path(const std::string& name) const { return (folder / name).string(); }

    // Runs `quillet-tool ARGUMENTS` (stderr kept in err.txt) and gives its exit status.
    int Tool(const std::string& arguments) const {
        const std::string command =
            std::string(QUILLET_TOOL) + " " + arguments + " 2>" + Path("err.txt") + " >/dev/null";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Errors() const {
        std::string text;
        if (FILE* f = std::fopen(Path("err.txt").c_str(), "r")) {
            char buffer[512];
            while (size_t n = std::fread(buffer, 1, sizeof buffer, f)) text.append(buffer, n);
            std::fclose(f);
        }
        return text;
    }
    // Runs OPERATION in.bmp out.bmp ARGUMENTS and compares the file with `expected`.
    void Expect(const std::string& operation, const CRaster& expected) {
        SCOPED_TRACE(operation);
        ASSERT_EQ(Tool(operation.substr(0, operation.find(' ')) + " " + Path("in.bmp") + " " +
                       Path("out.bmp") +
                       operation.substr(std::min(operation.size(), operation.find(' ')))),
                  0)
            << Errors();
        CRaster written(Path("out.bmp").c_str(), kTypeBmp);
        ASSERT_TRUE(written.IsValid());
        EXPECT_EQ(written.GetBpp(), expected.GetBpp());
        EXPECT_TRUE(SamePixelColors(written, expected));
    }

    std::filesystem::path folder;
    CRaster source;
};

TEST_F(ImageOpsTool, EachOperationMatchesTheLibrary) {
    CRaster grey(source), left(source), right(source), mirrored(source), resampled(source),
        fast(source), cropped(source), lit(source), fewer(source), more(source);
    grey.GrayScale();
    left.RotateLeft();
    right.RotateRight();
    mirrored.Mirror();
    resampled.Resample(15, 40);
    fast.Resample(80, 9, true);
    cropped.Crop(30, 2, 5, 20);
    lit.Light(-15, 130);
    fewer.DecreaseBpp(4, true, nullptr);
    more.DecreaseBpp(1, false, nullptr);
    more.IncreaseBpp(8);
    Expect("grayscale", grey);
    Expect("rotate-left", left);
    Expect("rotate-right", right);
    Expect("mirror", mirrored);
    Expect("resample 15 40", resampled);
    Expect("resample 80 9 --fast", fast);
    Expect("crop 30 2 5 20", cropped);
    Expect("light -15 130", lit);
    Expect("decrease-bpp 4 --diffuse", fewer);
    Expect("alpha-strip", source);

    ASSERT_EQ(Tool("decrease-bpp " + Path("in.bmp") + " " + Path("one.bmp") + " 1"), 0);
    ASSERT_EQ(Tool("increase-bpp " + Path("one.bmp") + " " + Path("out.bmp") + " 8"), 0);
    CRaster written(Path("out.bmp").c_str(), kTypeBmp);
    EXPECT_TRUE(SamePixelColors(written, more));
}

TEST_F(ImageOpsTool, OptimalPaletteAsTheEditorBuildsIt) {
    CRaster expected(source);
    RGBQUAD palette[256] = {};
    OctreePalette octree(256, 7);
    ASSERT_TRUE(octree.AddImageColors(expected.GetDIB(), expected.GetSize()));
    octree.WritePalette(palette);
    ASSERT_TRUE(expected.DecreaseBpp(8, true, palette));
    Expect("decrease-bpp 8 --diffuse --optimal", expected);
}

TEST_F(ImageOpsTool, ReportsBadArgumentsAndFailures) {
    const std::string in = Path("in.bmp"), out = Path("out.bmp");
    EXPECT_EQ(Tool("resample " + in + " " + out + " 10"), 2);
    EXPECT_EQ(Tool("resample " + in + " " + out + " ten 10"), 2);
    EXPECT_EQ(Tool("mirror " + in + " " + Path("out.xyz")), 2);
    EXPECT_EQ(Tool("resample " + in + " " + out + " 0 10"), 1);
    EXPECT_EQ(Tool("crop " + in + " " + out + " 100 100 200 200"), 1);
    EXPECT_NE(Errors().find("outside"), std::string::npos);
    EXPECT_EQ(Tool("decrease-bpp " + in + " " + out + " 2"), 1);
    EXPECT_EQ(Tool("mirror " + Path("missing.bmp") + " " + out), 1);
    EXPECT_EQ(Tool("mirror " + in + " " + Path("no/such/folder/out.bmp")), 1);
    EXPECT_FALSE(std::filesystem::exists(out));
}

}  // namespace

#endif
