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

void PlaceOutputs(std::vector<Output>& outputs) {
    if (outputs.empty()) return;
    int minX = INT_MAX, minY = INT_MAX;
    for (const Output& o : outputs) {
        minX = std::min(minX, o.logicalX);
        minY = std::min(minY, o.logicalY);
    }
    std::vector<std::size_t> order(outputs.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    // Columns first: every output left of one comes before it.
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return outputs[a].logicalX < outputs[b].logicalX;
    });
    for (std::size_t i : order) {
        Output& o = outputs[i];
        long long x = o.logicalX - minX;
        bool besideAnother = false;
        for (std::size_t j : order) {
            const Output& left = outputs[j];
            if (j == i || left.logicalX + left.logicalWidth > o.logicalX) continue;
            if (left.logicalY >= o.logicalY + o.logicalHeight ||
                o.logicalY >= left.logicalY + left.logicalHeight)
                continue;  // another row
            const long long after =
                1LL * left.x + left.width + (o.logicalX - left.logicalX - left.logicalWidth);
            x = besideAnother ? std::max(x, after) : after;
            besideAnother = true;
        }
        o.x = static_cast<int>(std::clamp<long long>(x, 0, kMaxSide));
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return outputs[a].logicalY < outputs[b].logicalY;
    });
    for (std::size_t i : order) {
        Output& o = outputs[i];
        long long y = o.logicalY - minY;
        bool belowAnother = false;
        for (std::size_t j : order) {
            const Output& above = outputs[j];
            if (j == i || above.logicalY + above.logicalHeight > o.logicalY) continue;
            if (above.logicalX >= o.logicalX + o.logicalWidth ||
                o.logicalX >= above.logicalX + above.logicalWidth)
                continue;  // another column
            const long long after =
                1LL * above.y + above.height + (o.logicalY - above.logicalY - above.logicalHeight);
            y = belowAnother ? std::max(y, after) : after;
            belowAnother = true;
        }
        o.y = static_cast<int>(std::clamp<long long>(y, 0, kMaxSide));
    }
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
