#include "platform/capture/capture_backend.h"

#include "platform/capture/portal_backend.h"
#include "platform/capture/screencopy_backend.h"
#include "platform/capture/wayland_connection.h"
#include "platform/capture/x11_backend.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace platform::capture {

namespace {
// Larger than any desktop; keeps a bad size from a server or a file from asking for gigabytes.
constexpr long long kMaxPixels = 1LL << 28;
constexpr int kMaxSide = 1 << 16;
}  // namespace

bool Picture::Reset(int w, int h) {
    if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide || 1LL * w * h > kMaxPixels) {
        width = height = 0;
        pixels.clear();
        return false;
    }
    width = w;
    height = h;
    pixels.assign(std::size_t(w) * std::size_t(h), 0xFF000000u);
    return true;
}

bool Backend::Desktop(Picture& picture, std::string& error) {
    int width = 0, height = 0;
    if (!DesktopSize(width, height) || !picture.Reset(width, height)) {
        error = "the size of the desktop is not known";
        return false;
    }
    std::vector<uint8_t> shown(std::size_t(width) * std::size_t(height), 0);
    const std::vector<Output> outputs = Outputs();
    if (outputs.empty()) std::fill(shown.begin(), shown.end(), 1);
    for (const Output& output : outputs) {
        const int left = std::clamp(output.x, 0, width);
        const int right = std::clamp(output.x + output.width, 0, width);
        for (int y = std::max(output.y, 0); y < std::min(output.y + output.height, height); ++y)
            std::fill(shown.begin() + std::ptrdiff_t(y) * width + left,
                      shown.begin() + std::ptrdiff_t(y) * width + right, 1);
    }
    return ReadArea(
        0, 0, width, height,
        [&](int y, const uint32_t* row) {
            uint32_t* out = picture.Row(y);
            const uint8_t* mask = shown.data() + std::size_t(y) * width;
            for (int x = 0; x < width; ++x) out[x] = mask[x] ? row[x] : 0xFF000000u;
        },
        error);
}

namespace {

// One direction of the layout: the position and size along it, logical and device, and the
// logical position and size across it.
struct Axis {
    int Output::*logical;
    int Output::*logicalSize;
    int Output::*device;
    int Output::*deviceSize;
    int Output::*across;
    int Output::*acrossSize;
};

// Places every output along one axis: after the outputs before it in its band across (a row for
// x, a column for y), in the order of their logical positions so that those are placed first.
void PlaceAlong(std::vector<Output>& outputs, const Axis& axis) {
    int least = INT_MAX;
    for (const Output& o : outputs) least = std::min(least, o.*axis.logical);
    std::vector<std::size_t> order(outputs.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return outputs[a].*axis.logical < outputs[b].*axis.logical;
    });
    for (std::size_t i : order) {
        Output& o = outputs[i];
        long long at = o.*axis.logical - least;
        bool afterAnother = false;
        for (std::size_t j : order) {
            const Output& before = outputs[j];
            if (j == i || before.*axis.logical + before.*axis.logicalSize > o.*axis.logical)
                continue;
            if (before.*axis.across >= o.*axis.across + o.*axis.acrossSize ||
                o.*axis.across >= before.*axis.across + before.*axis.acrossSize)
                continue;  // another band
            const long long after =
                1LL * (before.*axis.device) + before.*axis.deviceSize +
                (o.*axis.logical - before.*axis.logical - before.*axis.logicalSize);
            at = afterAnother ? std::max(at, after) : after;
            afterAnother = true;
        }
        o.*axis.device = static_cast<int>(std::clamp<long long>(at, 0, kMaxSide));
    }
}

}  // namespace

void PlaceOutputs(std::vector<Output>& outputs) {
    PlaceAlong(outputs, {&Output::logicalX, &Output::logicalWidth, &Output::x, &Output::width,
                         &Output::logicalY, &Output::logicalHeight});
    PlaceAlong(outputs, {&Output::logicalY, &Output::logicalHeight, &Output::y, &Output::height,
                         &Output::logicalX, &Output::logicalWidth});
}

bool IsWaylandSession() {
    const char* display = std::getenv("WAYLAND_DISPLAY");
    const char* type = std::getenv("XDG_SESSION_TYPE");
    return (display && *display) || (type && std::strcmp(type, "wayland") == 0);
}

bool CanReachWayland(std::string& error) {
    return WaylandConnection::Open(error) != nullptr;
}

std::unique_ptr<Backend> OpenBackend(std::function<Display*()> x11Display, std::string& error) {
    const char* forced = std::getenv("QUILLET_CAPTURE_BACKEND");
    const std::string want = forced ? forced : "";
    if (!want.empty() && want != "x11" && want != "wlr-screencopy" && want != "portal") {
        error = "QUILLET_CAPTURE_BACKEND names no backend (x11, wlr-screencopy or portal): " + want;
        return nullptr;
    }
    if (want == "x11" || (want.empty() && !IsWaylandSession()))
        return OpenX11Backend(std::move(x11Display), error);
    std::shared_ptr<WaylandConnection> wayland = WaylandConnection::Open(error);
    if (want != "portal" && wayland && wayland->HasScreencopy())
        return std::make_unique<ScreencopyBackend>(wayland);
    if (want == "wlr-screencopy") {
        if (wayland) error = "the compositor does not offer wlr-screencopy";
        return nullptr;
    }
    // The portal needs no Wayland connection of ours; with one it knows the outputs' layout.
    error.clear();
    return std::make_unique<PortalBackend>(wayland);
}

bool ReadAreaOf(const Picture& desktop, int x, int y, int width, int height, const RowSink& sink,
                std::string& error) {
    if (x < 0 || y < 0 || width <= 0 || height <= 0 || x + width > desktop.width ||
        y + height > desktop.height) {
        error = "the area lies outside the desktop";
        return false;
    }
    for (int row = 0; row < height; ++row) sink(row, desktop.Row(y + row) + x);
    return true;
}

}  // namespace platform::capture
