// quillet-tool capture: the program's own grab, without any window and without Qt.
#include "cli/command_registry.h"
#include "cli/file_types.h"
#include "image/raster.h"
#include "platform/x11_grab.h"

#include <X11/Xlib.h>

#include <algorithm>
#include <cstdio>

namespace {

// The screen area as a 24-bit image, bottom row first as the image object keeps it.
bool Grab(CRaster& image, int x, int y, int width, int height) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    int screenWidth = 0, screenHeight = 0;
    platform::RootSize(display, screenWidth, screenHeight);
    const int left = std::max(x, 0), top = std::max(y, 0);
    const int right = std::min<long long>(0LL + x + width, screenWidth);
    const int bottom = std::min<long long>(0LL + y + height, screenHeight);
    bool read = false;
    if (right > left && bottom > top &&
        image.Create(right - left, bottom - top, 24, image.GetType())) {
        const uint32_t rows = image.GetHeight(), columns = image.GetWidth();
        read = platform::ReadRootArea(
            display, left, top, right - left, bottom - top,
            [&image, rows, columns](int row, const uint32_t* pixels) {
                uint8_t* out = image.GetBits(rows - 1 - static_cast<uint32_t>(row));
                for (uint32_t i = 0; i < columns; ++i) {
                    out[3 * i] = static_cast<uint8_t>(pixels[i]);
                    out[3 * i + 1] = static_cast<uint8_t>(pixels[i] >> 8);
                    out[3 * i + 2] = static_cast<uint8_t>(pixels[i] >> 16);
                }
            });
    }
    XCloseDisplay(display);
    return read;
}

int Capture(cli::Arguments args) {
    std::string typeName;
    if (!cli::TakeTypeOption(args, typeName)) return 2;
    int x = 0, y = 0, w = 1 << 30, h = 1 << 30;
    const bool desktop = args.size() == 2 && args[0] == "desktop";
    if (!desktop) {
        if (args.size() != 6 || args[0] != "rect") {
            std::fprintf(stderr,
                         "usage: quillet-tool capture desktop OUT | capture rect X Y W H "
                         "OUT [--type NAME]\n");
            return 2;
        }
        if (!cli::ParseInt(args[1], x) || !cli::ParseInt(args[2], y) ||
            !cli::ParseInt(args[3], w) || !cli::ParseInt(args[4], h)) {
            return 2;
        }
        if (w <= 0 || h <= 0) {
            std::fprintf(stderr, "the width and height must be positive\n");
            return 2;
        }
    }
    const std::string& out = args.back();
    uint32_t type = 0;
    if (!cli::FileType(out, typeName, type)) return 2;
    CRaster image;
    if (!Grab(image, x, y, w, h)) {
        std::fprintf(stderr,
                     "nothing to capture: no X display, or the area lies outside the screen\n");
        return 1;
    }
    if (!image.Save(out.c_str(), type)) {
        std::fprintf(stderr, "%s\n",
                     image.GetLastError()[0] ? image.GetLastError() : "cannot write the file");
        return 1;
    }
    return 0;
}

const bool registered = cli::RegisterCommand(
    {"capture", "capture desktop OUT | capture rect X Y W H OUT [--type NAME]", Capture});

}  // namespace
