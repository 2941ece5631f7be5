// The screen grab of quillet-tool, with the capture backends: loaded only by the capture command.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

// The image library's header first: Xlib's macros would clash with its names.
#include "image/raster.h"
#include "platform/capture/capture_backend.h"
#include "platform/x11_cursor.h"

#include <X11/Xlib.h>

namespace {
std::string g_error;
}  // namespace

// The screen area as a 24-bit image, bottom row first as the image object keeps it; what no monitor
// shows is black, as in the program's own captures. False without a screen to read or when the
// area lies outside it (QuilletToolGrabError says why).
extern "C" __attribute__((visibility("default"))) bool QuilletToolGrab(CRaster* image, int x, int y,
                                                                       int width, int height,
                                                                       bool pointer) {
    using namespace platform::capture;
    g_error.clear();
    std::unique_ptr<Backend> backend = OpenBackend(nullptr, g_error);
    if (!backend) return false;
    int screenWidth = 0, screenHeight = 0;
    backend->DesktopSize(screenWidth, screenHeight);
    const int left = std::max(x, 0), top = std::max(y, 0);
    const int right = std::min<long long>(0LL + x + width, screenWidth);
    const int bottom = std::min<long long>(0LL + y + height, screenHeight);
    std::vector<Output> monitors = backend->Outputs();
    if (monitors.empty()) {
        Output whole;
        whole.width = screenWidth;
        whole.height = screenHeight;
        monitors.push_back(whole);
    }
    if (right <= left || bottom <= top) {
        g_error = "the area lies outside the screen";
        return false;
    }
    if (!image->Create(right - left, bottom - top, 24, image->GetType())) {
        g_error = "the area is too large";
        return false;
    }
    const uint32_t rows = image->GetHeight(), columns = image->GetWidth();
    // The pointer as the X server shows it, or drawn by the compositor on Wayland.
    platform::PointerImage cursor;
    backend->SetOverlayPointer(pointer);
    if (pointer && std::string(backend->Name()) == "x11") {
        if (Display* display = XOpenDisplay(nullptr)) {
            cursor = platform::ReadPointerImage(display);
            XCloseDisplay(display);
        }
    }
    std::vector<uint32_t> line;
    return backend->ReadArea(
        left, top, right - left, bottom - top,
        [&](int row, const uint32_t* pixels) {
            if (!cursor.empty()) {
                line.assign(pixels, pixels + (right - left));
                platform::BlendPointerRow(cursor, left, top + row, line.data(), right - left);
                pixels = line.data();
            }
            uint8_t* out = image->GetBits(rows - 1 - static_cast<uint32_t>(row));
            std::memset(out, 0, 3 * size_t{columns});
            const int screenY = top + row;
            for (const Output& monitor : monitors) {
                if (screenY < monitor.y || screenY >= monitor.y + monitor.height) continue;
                const int from = std::max(monitor.x, left) - left;
                const int to = std::min(monitor.x + monitor.width, right) - left;
                for (int i = std::max(from, 0); i < to; ++i) {
                    out[3 * i] = static_cast<uint8_t>(pixels[i]);
                    out[3 * i + 1] = static_cast<uint8_t>(pixels[i] >> 8);
                    out[3 * i + 2] = static_cast<uint8_t>(pixels[i] >> 16);
                }
            }
        },
        g_error);
}

// Why the last grab failed.
extern "C" __attribute__((visibility("default"))) const char* QuilletToolGrabError() {
    return g_error.c_str();
}
