// quillet-tool convert and info on real files.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
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
    EXPECT_NE(Tool("convert " + Path("p.bmp")).status, 0);
    EXPECT_NE(Tool("convert " + Path("p.bmp") + " " + Path("q.png") + " --quality 101").status, 0);
    EXPECT_EQ(Tool("info " + Path("gone.bmp")).status, 1);
}

// The formats beyond the workspace's extensions: WBMP both ways, metafiles read only, and a
// file whose extension says nothing named with --type.
TEST_F(ImageCommands, EveryFormatOfTheLibrary) {
    CRaster mono = MakePattern(12, 7, 1);
    mono.SetPaletteIndex(0, 0, 0, 0);
    mono.SetPaletteIndex(1, 255, 255, 255);
    ASSERT_TRUE(mono.Save(Path("m.bmp").c_str(), kTypeBmp));
    ASSERT_EQ(Tool("convert " + Path("m.bmp") + " " + Path("m.wbmp")).status, 0);
    CRaster back(Path("m.wbmp").c_str(), kTypeWbmp);
    EXPECT_TRUE(SamePixels(back, mono));
    std::rename(Path("m.wbmp").c_str(), Path("m.data").c_str());
    EXPECT_EQ(Tool("info " + Path("m.data")).status, 2);
    EXPECT_EQ(
        Tool("info " + Path("m.data") + " --type WBMP").output.rfind("width: 12\nheight: 7\n", 0),
        0u);
    EXPECT_EQ(Tool("convert " + Path("m.data") + " " + Path("m.out") + " --type bmp").status, 1);
    EXPECT_EQ(Tool("info " + Path("m.data") + " --type xyz").status, 2);

    // An enhanced metafile of 8 x 6 pixels with no drawing records: header, end of file.
    std::vector<uint32_t> emf = {1,       108, 0, 0,  7, 5, 0, 0,   211, 158, 0x464D4520,
                                 0x10000, 128, 2, 16, 0, 0, 0, 960, 960, 254, 254};
    emf.resize(27);
    emf.insert(emf.end(), {14, 20, 0, 0, 20});
    std::FILE* file = std::fopen(Path("t.emf").c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(emf.data(), 4, emf.size(), file);  // little-endian words on this machine
    std::fclose(file);
    const Outcome info = Tool("info " + Path("t.emf"));
    EXPECT_EQ(info.output.rfind("width: 8\nheight: 6\nbits: 24\ntype: 9 (WMF)\n", 0), 0u)
        << info.output;
    const Outcome save = Tool("convert " + Path("m.bmp") + " " + Path("m.wmf"));
    EXPECT_EQ(save.status, 1);
    EXPECT_EQ(save.output, "Save WMF not supported\n");
}

// The grab comes from the tool's module: a part of the screen, at its size.
TEST_F(ImageCommands, CaptureThroughItsModule) {
    if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
    const Outcome outcome = Tool("capture rect 3 2 40 30 " + Path("c.png"));
    ASSERT_EQ(outcome.status, 0) << outcome.output;
    CRaster back(Path("c.png").c_str(), kTypePng);
    EXPECT_EQ(back.GetWidth(), 40u);
    EXPECT_EQ(back.GetHeight(), 30u);
}

// Plain conversions must start fast: the tool loads no Qt, X11 or libtiff (those come in
// modules, on demand).
TEST_F(ImageCommands, ToolLinksOnlyWhatConversionsNeed) {
    std::FILE* pipe = popen(("ldd " + std::string(QUILLET_TOOL)).c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string libraries;
    char chunk[512];
    for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
        libraries.append(chunk, got);
    pclose(pipe);
    EXPECT_NE(libraries.find("libpng"), std::string::npos);
    for (const char* name : {"libQt", "libX11", "libtiff"})
        EXPECT_EQ(libraries.find(name), std::string::npos) << libraries;
}

#endif  // QUILLET_TOOL
