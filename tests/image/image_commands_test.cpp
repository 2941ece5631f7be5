// quillet-tool convert and info on real files.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "test_images.h"

#ifdef QUILLET_TOOL

namespace {

struct Outcome {
    int status = -1;
    std::string output;  // stdout and stderr
};

Outcome Tool(const std::string& arguments) {
    Outcome outcome;
    std::FILE* pipe = popen((std::string(QUILLET_TOOL) + " " + arguments + " 2>&1").c_str(), "r");
    if (!pipe) return outcome;
    char chunk[512];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) outcome.output.append(chunk, got);
    const int status = pclose(pipe);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

}  // namespace

class ImageCommands : public TempFolderTest {};

TEST_F(ImageCommands, ConvertBetweenFormatsAndDescribe) {
    CRaster image = MakePattern(31, 17, 24);
    ASSERT_TRUE(image.Save(Path("in.bmp").c_str(), kTypeBmp));
    for (const char* name : {"a.png", "a.TIF", "a.bmp"}) {
        ASSERT_EQ(Tool("convert " + Path("in.bmp") + " " + Path(name)).status, 0) << name;
        CRaster back(Path(name).c_str(), static_cast<uint32_t>(RasterTypeFromPath(name)));
        EXPECT_TRUE(SamePixels(back, image)) << name;
    }
    EXPECT_EQ(Tool("convert " + Path("a.png") + " " + Path("a.jpeg") + " --quality 30").status, 0);
    const Outcome info = Tool("info " + Path("a.jpeg"));
    EXPECT_EQ(info.status, 0);
    EXPECT_EQ(info.output, "width: 31\nheight: 17\nbits: 24\ntype: 2 (JPEG)\nframes: 1\nsize: " +
                               std::to_string(image.GetSize()) + "\n");
}

TEST_F(ImageCommands, FramesOfAMultiPageFile) {
    CRaster a = MakePattern(4, 4, 24), b = MakePattern(6, 2, 8);
    CRaster* pages[] = {&a, &b};
    std::FILE* file = std::fopen(Path("p.tif").c_str(), "wb");
    ASSERT_NE(file, nullptr);
    ASSERT_TRUE(CRaster().Encode(file, pages, 2, kTypeTiff));
    std::fclose(file);
    const Outcome info = Tool("info " + Path("p.tif") + " --frame 1");
    EXPECT_NE(info.output.find("width: 6\n"), std::string::npos) << info.output;
    EXPECT_NE(info.output.find("frames: 2\n"), std::string::npos);
    EXPECT_EQ(Tool("convert " + Path("p.tif") + " " + Path("b.png") + " --frame 1").status, 0);
    CRaster back(Path("b.png").c_str(), kTypePng);
    EXPECT_TRUE(SamePixels(back, b));
    const Outcome missing = Tool("convert " + Path("p.tif") + " " + Path("c.png") + " --frame 2");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.output, "Error: page not present in TIFF file\n");
}

TEST_F(ImageCommands, FailuresSayWhy) {
    CRaster palette = MakePattern(3, 3, 4);
    ASSERT_TRUE(palette.Save(Path("p.bmp").c_str(), kTypeBmp));
    Outcome out = Tool("convert " + Path("p.bmp") + " " + Path("p.jpg"));
    EXPECT_EQ(out.status, 1);
    EXPECT_EQ(out.output, "JPEG can save only RGB or GreyScale images\n");
    out = Tool("convert " + Path("p.bmp") + " " + Path("none/p.png"));
    EXPECT_EQ(out.status, 1);
    EXPECT_NE(out.output.find("cannot write"), std::string::npos);
    std::FILE* junk = std::fopen(Path("junk.png").c_str(), "wb");
    std::fputs("not a picture", junk);
    std::fclose(junk);
    out = Tool("info " + Path("junk.png"));
    EXPECT_EQ(out.status, 1);
    EXPECT_FALSE(out.output.empty());
    EXPECT_NE(Tool("convert " + Path("p.bmp") + " " + Path("p.wbmp")).status, 0);
    EXPECT_NE(Tool("convert " + Path("p.bmp")).status, 0);
    EXPECT_NE(Tool("convert " + Path("p.bmp") + " " + Path("q.png") + " --quality 101").status, 0);
    EXPECT_EQ(Tool("info " + Path("gone.bmp")).status, 1);
}

#endif  // QUILLET_TOOL
