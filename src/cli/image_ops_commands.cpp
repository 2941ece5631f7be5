// quillet-tool image operations: `quillet-tool OPERATION IN OUT [VALUES...] [FLAGS...]`, one
// operation per call, the file types taken from the extensions (or --type NAME).

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "cli/command_registry.h"
#include "cli/file_types.h"
#include "image/octree_palette.h"
#include "image/raster.h"

namespace {

struct Values {
    std::vector<int> numbers;        // the integer values after IN OUT
    std::vector<std::string> flags;  // the flags given
    bool Has(const char* flag) const {
        return std::find(flags.begin(), flags.end(), flag) != flags.end();
    }
};

struct Operation {
    const char* name;
    const char* arguments;  // after IN OUT, for the usage line
    size_t numberCount;
    std::vector<const char*> flags;
    // Applies the operation; prints its own message and returns false when it fails.
    std::function<bool(CRaster&, const Values&)> apply;
};

bool Check(bool done, const char* message) {
    if (!done) std::fprintf(stderr, "%s\n", message);
    return done;
}

std::string Usage(const Operation& op) {
    std::string usage = std::string(op.name) + " IN OUT";
    if (*op.arguments) usage += std::string(" ") + op.arguments;
    return usage;
}

int Run(const Operation& op, cli::Arguments args) {
    Values values;
    std::string typeName;
    if (!cli::TakeTypeOption(args, typeName)) return 2;
    for (const char* flag : op.flags)
        if (cli::TakeFlag(args, flag)) values.flags.push_back(flag);
    if (args.size() != 2 + op.numberCount) {
        std::fprintf(stderr, "usage: quillet-tool %s\n", Usage(op).c_str());
        return 2;
    }
    values.numbers.resize(op.numberCount);
    for (size_t i = 0; i < op.numberCount; ++i)
        if (!cli::ParseInt(args[2 + i], values.numbers[i])) return 2;
    uint32_t inType = 0, outType = 0;
    if (!cli::FileType(args[0], typeName, inType) || !cli::FileType(args[1], typeName, outType))
        return 2;

    CRaster image(inType);
    if (!image.Load(args[0].c_str(), inType)) {
        std::fprintf(stderr, "%s\n", *image.GetLastError() ? image.GetLastError() : "cannot read");
        return 1;
    }
    if (!op.apply(image, values)) return 1;
    image.SetLastError("");
    if (!image.Save(args[1].c_str(), outType)) {
        std::fprintf(stderr, "%s\n",
                     *image.GetLastError() ? image.GetLastError() : "cannot write the file");
        return 1;
    }
    return 0;
}

// The editor's colour reduction with an optimal palette: 24 bits first, then a palette of 16
// or 256 colours at 7 bits of colour resolution.
bool DecreaseOptimal(CRaster& image, int bits, bool diffuse) {
    if (!Check(image.IncreaseBpp(24), "cannot convert the image to 24 bits")) return false;
    if (bits != 4 && bits != 8) return image.DecreaseBpp(bits, diffuse, nullptr);
    const uint32_t colors = bits == 4 ? 16 : 256;
    std::vector<RGBQUAD> palette(colors);
    OctreePalette octree(colors, 7);
    if (!Check(octree.AddImageColors(image.GetDIB(), image.GetSize()), "cannot build a palette"))
        return false;
    octree.WritePalette(palette.data());
    return image.DecreaseBpp(bits, diffuse, palette.data());
}

const std::vector<Operation>& Operations() {
    static const std::vector<Operation> operations = {
        {"grayscale",
         "",
         0,
         {},
         [](CRaster& image, const Values&) { return Check(image.GrayScale(), "failed"); }},
        {"mirror",
         "",
         0,
         {},
         [](CRaster& image, const Values&) { return Check(image.Mirror(), "failed"); }},
        {"rotate-left",
         "",
         0,
         {},
         [](CRaster& image, const Values&) { return Check(image.RotateLeft(), "failed"); }},
        {"rotate-right",
         "",
         0,
         {},
         [](CRaster& image, const Values&) { return Check(image.RotateRight(), "failed"); }},
        {"resample",
         "W H [--fast]",
         2,
         {"--fast"},
         [](CRaster& image, const Values& v) {
             return Check(image.Resample(v.numbers[0], v.numbers[1], v.Has("--fast")),
                          "width and height must be positive and the result not too big");
         }},
        {"increase-bpp",
         "B",
         1,
         {},
         [](CRaster& image, const Values& v) {
             return Check(v.numbers[0] >= 0 && image.IncreaseBpp(v.numbers[0]),
                          "bits must be 4, 8 or 24 and not below the image's depth");
         }},
        {"decrease-bpp",
         "B [--diffuse] [--optimal]",
         1,
         {"--diffuse", "--optimal"},
         [](CRaster& image, const Values& v) {
             const int bits = v.numbers[0];
             if (!Check(bits == 1 || bits == 4 || bits == 8, "bits must be 1, 4 or 8"))
                 return false;
             if (v.Has("--optimal")) return DecreaseOptimal(image, bits, v.Has("--diffuse"));
             return Check(image.DecreaseBpp(bits, v.Has("--diffuse"), nullptr),
                          "bits must not be above the image's depth");
         }},
        {"crop",
         "L T R B",
         4,
         {},
         [](CRaster& image, const Values& v) {
             const auto& n = v.numbers;
             return Check(image.Crop(n[0], n[1], n[2], n[3]),
                          "the rectangle is empty or outside the image");
         }},
        {"light",
         "BRIGHTNESS CONTRAST",
         2,
         {},
         [](CRaster& image, const Values& v) {
             return Check(image.Light(v.numbers[0], v.numbers[1]), "failed");
         }},
        {"alpha-strip",
         "",
         0,
         {},
         [](CRaster& image, const Values&) { return Check(image.AlphaStrip(), "failed"); }},
    };
    return operations;
}

const bool registered = [] {
    for (const Operation& op : Operations()) {
        cli::RegisterCommand(
            {op.name, Usage(op), [&op](const cli::Arguments& args) { return Run(op, args); }});
    }
    return true;
}();

}  // namespace
