// quillet-tool capture: the program's own grab, without any window and without Qt.
#include "cli/command_registry.h"
#include "cli/file_types.h"
#include "cli/tool_module.h"
#include "image/raster.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace {

// The grab lives in a module with the capture backends, so that no other command loads X11,
// Wayland or D-Bus. False with the reason in `error`.
bool Grab(CRaster& image, int x, int y, int width, int height, bool pointer, std::string& error) {
    using Entry = bool (*)(CRaster*, int, int, int, int, bool);
    using ErrorEntry = const char* (*)();
    static const auto grab =
        reinterpret_cast<Entry>(cli::ModuleEntry("quillet-tool-capture.so", "QuilletToolGrab"));
    static const auto why = reinterpret_cast<ErrorEntry>(
        cli::ModuleEntry("quillet-tool-capture.so", "QuilletToolGrabError"));
    if (grab && grab(&image, x, y, width, height, pointer)) return true;
    error = why ? why() : "the capture module cannot be loaded";
    return false;
}

int Capture(cli::Arguments args) {
    std::string typeName;
    if (!cli::TakeTypeOption(args, typeName)) return 2;
    // --delay N (0 to 10 seconds) and --pointer.
    int delay = 0;
    if (!cli::TakeIntOption(args, "--delay", delay)) return 2;
    if (delay < 0 || delay > 10) {
        std::fprintf(stderr, "--delay needs a number of seconds from 0 to 10\n");
        return 2;
    }
    const bool pointer = cli::TakeFlag(args, "--pointer");
    int x = 0, y = 0, w = 1 << 30, h = 1 << 30;
    const bool desktop = args.size() == 2 && args[0] == "desktop";
    if (!desktop) {
        if (args.size() != 6 || args[0] != "rect") {
            std::fprintf(stderr,
                         "usage: quillet-tool capture desktop OUT | capture rect X Y W H "
                         "OUT [--type NAME] [--delay N] [--pointer]\n");
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
    if (delay > 0) std::this_thread::sleep_for(std::chrono::seconds(delay));
    CRaster image;
    std::string error;
    if (!Grab(image, x, y, w, h, pointer, error)) {
        std::fprintf(stderr, "nothing to capture: %s\n", error.c_str());
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
    {"capture",
     "capture desktop OUT | capture rect X Y W H OUT [--type NAME] [--delay N] [--pointer]",
     Capture});

}  // namespace
