// quillet-tool convert and info: the image library on files, type ids from the extensions
// (or --type for a file whose extension names no format).

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/command_registry.h"
#include "cli/file_types.h"
#include "image/codecs.h"
#include "image/raster.h"

namespace {

constexpr const char* kConvertUsage = "convert IN OUT [--frame N] [--quality Q] [--type NAME]";
constexpr const char* kInfoUsage = "info FILE [--frame N] [--type NAME]";

// The library's own message where it gave one, else what failed and, where the system said, why.
int Fail(const CRaster& image, const char* fallback, const std::string& path, int error = 0) {
    if (*image.GetLastError())
        std::fprintf(stderr, "%s\n", image.GetLastError());
    else if (error != 0)
        std::fprintf(stderr, "%s %s: %s\n", fallback, path.c_str(), std::strerror(error));
    else
        std::fprintf(stderr, "%s %s\n", fallback, path.c_str());
    return 1;
}

int Convert(cli::Arguments args) {
    int frame = 0;
    int quality = -1;
    std::string typeName;
    if (!cli::TakeIntOption(args, "--frame", frame) ||
        !cli::TakeIntOption(args, "--quality", quality) || !cli::TakeTypeOption(args, typeName))
        return 2;
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: quillet-tool %s\n", kConvertUsage);
        return 2;
    }
    if (quality != -1 && (quality < 0 || quality > 100)) {
        std::fprintf(stderr, "quality must be 0 to 100\n");
        return 2;
    }
    uint32_t inType = 0, outType = 0;
    if (!cli::FileType(args[0], typeName, inType) || !cli::FileType(args[1], typeName, outType))
        return 2;

    CRaster image(inType);
    image.SetFrame(frame);
    if (!image.Load(args[0].c_str(), inType)) return Fail(image, "cannot read", args[0]);
    if (quality >= 0) image.SetEncodeQuality(static_cast<uint8_t>(quality));
    image.SetLastError("");
    errno = 0;
    if (!image.Save(args[1].c_str(), outType)) return Fail(image, "cannot write", args[1], errno);
    return 0;
}

int Info(cli::Arguments args) {
    int frame = 0;
    std::string typeName;
    if (!cli::TakeIntOption(args, "--frame", frame) || !cli::TakeTypeOption(args, typeName))
        return 2;
    if (args.size() != 1) {
        std::fprintf(stderr, "usage: quillet-tool %s\n", kInfoUsage);
        return 2;
    }
    uint32_t type = 0;
    if (!cli::FileType(args[0], typeName, type)) return 2;
    CRaster image(type);
    image.SetFrame(frame);
    if (!image.Load(args[0].c_str(), type)) return Fail(image, "cannot read", args[0]);
    std::printf("width: %u\nheight: %u\nbits: %u\ntype: %u (%s)\nframes: %d\nsize: %u\n",
                image.GetWidth(), image.GetHeight(), image.GetBpp(), image.GetType(),
                ImageFormatName(image.GetType()), std::max(image.GetFrameCount(), 1),
                image.GetSize());
    return 0;
}

const bool registered = cli::RegisterCommand({"convert", kConvertUsage, Convert}) &&
                        cli::RegisterCommand({"info", kInfoUsage, Info});

}  // namespace
