// quillet-tool capture: the program's own grab, without any window.
#include "cli/command_registry.h"
#include "image/qt/raster_qt.h"
#include "image/raster.h"
#include "platform/screen_grab.h"

#include <cstdio>

namespace {

int SaveCapture(const QImage& bitmap, const std::string& out) {
    const int type = RasterTypeFromPath(out);
    if (type < 0) {
        std::fprintf(stderr, "%s: unknown image type (use .bmp, .png, .jpg, .tif, ...)\n",
                     out.c_str());
        return 2;
    }
    if (bitmap.isNull()) {
        std::fprintf(stderr,
                     "nothing to capture: no X display, or the area lies outside the screen\n");
        return 1;
    }
    CRaster image;
    CreateFromHBITMAP(image, bitmap);
    if (!image.Save(out.c_str(), static_cast<uint32_t>(type))) {
        std::fprintf(stderr, "%s\n",
                     image.GetLastError()[0] ? image.GetLastError() : "cannot write the file");
        return 1;
    }
    return 0;
}

int Capture(const cli::Arguments& args) {
    if (args.size() == 2 && args[0] == "desktop")
        return SaveCapture(platform::GrabWholeScreen(), args[1]);
    if (args.size() == 6 && args[0] == "rect") {
        int x = 0, y = 0, w = 0, h = 0;
        if (!cli::ParseInt(args[1], x) || !cli::ParseInt(args[2], y) ||
            !cli::ParseInt(args[3], w) || !cli::ParseInt(args[4], h)) {
            return 2;
        }
        if (w <= 0 || h <= 0) {
            std::fprintf(stderr, "the width and height must be positive\n");
            return 2;
        }
        return SaveCapture(platform::GrabScreenArea(QRect(x, y, w, h)), args[5]);
    }
    std::fprintf(stderr, "usage: quillet-tool capture desktop OUT | capture rect X Y W H OUT\n");
    return 2;
}

const bool registered =
    cli::RegisterCommand({"capture", "capture desktop OUT | capture rect X Y W H OUT", Capture});

}  // namespace
