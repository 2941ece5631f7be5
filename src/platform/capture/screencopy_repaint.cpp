// Telling when the compositor has drawn the screen without windows just hidden: copies of the
// outputs that complete only when something was drawn, with the rectangles drawn since the last
// one (the wlroots screencopy's copy_with_damage).
#include "platform/capture/screencopy_backend.h"

#include "platform/capture/wayland_connection.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace platform::capture {

namespace {

using Clock = std::chrono::steady_clock;

class ScreencopyRepaintWatch;

// The largest output watched; a larger one is not watched (the cap stands in).
constexpr uint32_t kMaxSide = 8192;

// One watched output: first one copy of what it shows before the hide, then a copy always under
// way that completes when the compositor has drawn the output again.
struct WatchedOutput {
    ScreencopyRepaintWatch* watch = nullptr;
    WaylandConnection::OutputState* state = nullptr;
    zwlr_screencopy_frame_v1* frame = nullptr;
    // The buffer offered for the copy under way, and the one made for it (kept while the offers
    // stay the same).
    uint32_t format = 0, width = 0, height = 0, stride = 0;
    bool offered = false;
    ShmBuffer shm;
    bool failed = false;
    // What the output showed before the hide, and in its last copy; rows of `width` pixels.
    std::vector<uint32_t> before, last;
    int copyWidth = 0, copyHeight = 0;

    ~WatchedOutput() {
        if (frame) zwlr_screencopy_frame_v1_destroy(frame);
    }
    bool MakeBuffer(wl_shm* wlShm) {
        return shm.Make(wlShm, format, width, height, stride, kMaxSide);
    }
    // The copy just completed, as rows of `width` pixels without their unused byte.
    std::vector<uint32_t> Pixels() const {
        std::vector<uint32_t> pixels(std::size_t(width) * height);
        for (uint32_t y = 0; y < height; ++y) {
            const auto* row = reinterpret_cast<const uint32_t*>(
                static_cast<const uint8_t*>(shm.data) + std::size_t(y) * stride);
            for (uint32_t x = 0; x < width; ++x)
                pixels[std::size_t(y) * width + x] = row[x] & 0xFFFFFFu;
        }
        return pixels;
    }
};

}  // namespace

std::vector<RepaintRect> ChangedParts(const std::vector<uint32_t>& a,
                                      const std::vector<uint32_t>& b, int width, int height) {
    // Changed pixels gathered in tiles, each with the exact extent of its changes; touching
    // tiles (diagonals too) form one part.
    constexpr int kTile = 16;
    std::vector<RepaintRect> parts;
    if (width <= 0 || height <= 0 || a.size() != std::size_t(width) * height ||
        b.size() != a.size())
        return parts;
    const int columns = (width + kTile - 1) / kTile, rows = (height + kTile - 1) / kTile;
    struct Extent {
        int left = 0, top = 0, right = -1, bottom = -1;  // inclusive; empty while right < left
        bool Empty() const { return right < left; }
        void Add(int x0, int y0, int x1, int y1) {
            if (Empty()) {
                left = x0, top = y0, right = x1, bottom = y1;
                return;
            }
            left = std::min(left, x0), top = std::min(top, y0);
            right = std::max(right, x1), bottom = std::max(bottom, y1);
        }
    };
    std::vector<Extent> tiles(std::size_t(columns) * rows);
    for (int y = 0; y < height; ++y) {
        const uint32_t* rowA = a.data() + std::size_t(y) * width;
        const uint32_t* rowB = b.data() + std::size_t(y) * width;
        for (int x = 0; x < width; ++x)
            if (rowA[x] != rowB[x])
                tiles[std::size_t(y / kTile) * columns + x / kTile].Add(x, y, x, y);
    }
    std::vector<bool> seen(tiles.size());
    std::vector<int> stack;
    for (std::size_t start = 0; start < tiles.size(); ++start) {
        if (seen[start] || tiles[start].Empty()) continue;
        Extent part;
        seen[start] = true;
        stack.assign(1, int(start));
        while (!stack.empty()) {
            const int tile = stack.back();
            stack.pop_back();
            const Extent& e = tiles[tile];
            part.Add(e.left, e.top, e.right, e.bottom);
            const int tx = tile % columns, ty = tile / columns;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = tx + dx, ny = ty + dy;
                    if (nx < 0 || ny < 0 || nx >= columns || ny >= rows) continue;
                    const std::size_t next = std::size_t(ny) * columns + nx;
                    if (seen[next] || tiles[next].Empty()) continue;
                    seen[next] = true;
                    stack.push_back(int(next));
                }
        }
        parts.push_back(
            {part.left, part.top, part.right - part.left + 1, part.bottom - part.top + 1});
    }
    return parts;
}

namespace {

class ScreencopyRepaintWatch : public RepaintWatch {
  public:
    ScreencopyRepaintWatch(std::shared_ptr<WaylandConnection> connection,
                           const std::vector<std::string>& outputs);
    ~ScreencopyRepaintWatch() override;
    bool Wait(const std::vector<HiddenWindow>& windows, int capMs) override;

    void Ask(WatchedOutput& output);
    void Copy(WatchedOutput& output);
    void Drawn(WatchedOutput& output);
    void Failed(WatchedOutput& output);
    // Takes in a copy of the output drawn after the hide.
    void Look(WatchedOutput& output, const std::vector<uint32_t>& pixels);

  private:
    // A window waited for: its size in its output's buffer pixels, and the part of the output
    // that changed as much as that, once one did.
    struct Waited {
        WatchedOutput* output = nullptr;
        int width = 0, height = 0;
        bool gone = false;
        RepaintRect where;
    };

    std::shared_ptr<WaylandConnection> connection_;
    std::vector<std::unique_ptr<WatchedOutput>> outputs_;
    std::vector<Waited> waited_;
    // Set when the compositor answers the sync sent after the hide: frames that complete from
    // then on were drawn after it.
    bool synced_ = false;
    wl_callback* sync_ = nullptr;
    bool drawn_ = false;  // a frame that counts completed since the last look
    Clock::time_point lastChangeThere_;
};

bool Overlap(const RepaintRect& a, const RepaintRect& b) {
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height &&
           b.y < a.y + a.height;
}

WatchedOutput& Of(void* data) {
    return *static_cast<WatchedOutput*>(data);
}

void FrameBuffer(void* data, zwlr_screencopy_frame_v1*, uint32_t format, uint32_t width,
                 uint32_t height, uint32_t stride) {
    WatchedOutput& output = Of(data);
    if (output.offered || !ReadableShmFormat(format)) return;
    output.offered = true;
    output.format = format, output.width = width, output.height = height, output.stride = stride;
    // Before version 3 the offers end with this one.
    if (wl_proxy_get_version(reinterpret_cast<wl_proxy*>(output.frame)) < 3)
        output.watch->Copy(output);
}
void FrameFlags(void*, zwlr_screencopy_frame_v1*, uint32_t) {}
void FrameReady(void* data, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {
    Of(data).watch->Drawn(Of(data));
}
void FrameFailed(void* data, zwlr_screencopy_frame_v1*) {
    Of(data).watch->Failed(Of(data));
}
void FrameDamage(void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t, uint32_t) {}
void FrameDmabuf(void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {}
void FrameBuffersDone(void* data, zwlr_screencopy_frame_v1*) {
    Of(data).watch->Copy(Of(data));
}
const zwlr_screencopy_frame_v1_listener kWatchListener = {
    FrameBuffer, FrameFlags, FrameReady, FrameFailed, FrameDamage, FrameDmabuf, FrameBuffersDone};

// How long the copies of what the outputs show before the hide may take.
constexpr int kBeforeTimeoutMs = 200;

ScreencopyRepaintWatch::ScreencopyRepaintWatch(std::shared_ptr<WaylandConnection> connection,
                                               const std::vector<std::string>& outputs)
    : connection_(std::move(connection)) {
    for (const std::string& name : outputs) {
        WaylandConnection::OutputState* state = connection_->Find(name);
        if (!state || std::any_of(outputs_.begin(), outputs_.end(),
                                  [&](const auto& o) { return o->state == state; }))
            continue;
        auto output = std::make_unique<WatchedOutput>();
        output->watch = this;
        output->state = state;
        Ask(*output);
        outputs_.push_back(std::move(output));
    }
    // What each output shows while the windows are still there; the copies that follow wait
    // for the compositor to draw again.
    connection_->DispatchUntil(
        [this] {
            return std::all_of(outputs_.begin(), outputs_.end(),
                               [](const auto& o) { return o->failed || !o->before.empty(); });
        },
        kBeforeTimeoutMs);
    for (auto& output : outputs_)
        if (output->before.empty()) Failed(*output);
}

ScreencopyRepaintWatch::~ScreencopyRepaintWatch() {
    // A late answer must not reach this object.
    if (sync_ && !synced_) wl_callback_destroy(sync_);
}

void ScreencopyRepaintWatch::Ask(WatchedOutput& output) {
    output.offered = false;
    output.frame = zwlr_screencopy_manager_v1_capture_output(connection_->screencopy(), 0,
                                                             output.state->output);
    zwlr_screencopy_frame_v1_add_listener(output.frame, &kWatchListener, &output);
}

void ScreencopyRepaintWatch::Failed(WatchedOutput& output) {
    output.failed = true;
    if (output.frame) zwlr_screencopy_frame_v1_destroy(output.frame);
    output.frame = nullptr;
}

void ScreencopyRepaintWatch::Copy(WatchedOutput& output) {
    if (!output.frame) return;
    if (!output.offered || !output.MakeBuffer(connection_->shm())) return Failed(output);
    if (output.before.empty())
        zwlr_screencopy_frame_v1_copy(output.frame, output.shm.buffer);
    else
        zwlr_screencopy_frame_v1_copy_with_damage(output.frame, output.shm.buffer);
}

void ScreencopyRepaintWatch::Look(WatchedOutput& output, const std::vector<uint32_t>& pixels) {
    // A window has left the screen once a part of its output at least about its size shows
    // something else than before the hide; after that, any change there is the screen still
    // settling.
    const int width = output.copyWidth, height = output.copyHeight;
    const std::vector<RepaintRect> gone = ChangedParts(output.before, pixels, width, height);
    const std::vector<RepaintRect> moving = ChangedParts(output.last, pixels, width, height);
    for (Waited& window : waited_) {
        if (window.output != &output) continue;
        if (!window.gone) {
            for (const RepaintRect& part : gone) {
                if (part.width < window.width - window.width / 8 ||
                    part.height < window.height - window.height / 8)
                    continue;
                window.gone = true;
                window.where = part;
                lastChangeThere_ = Clock::now();
            }
            continue;
        }
        for (const RepaintRect& part : moving)
            if (Overlap(part, window.where)) lastChangeThere_ = Clock::now();
    }
}

void ScreencopyRepaintWatch::Drawn(WatchedOutput& output) {
    zwlr_screencopy_frame_v1_destroy(output.frame);
    output.frame = nullptr;
    if (output.failed) return;
    std::vector<uint32_t> pixels = output.Pixels();
    const int width = int(output.width), height = int(output.height);
    if (output.before.empty()) {
        output.before = pixels;
        output.last = std::move(pixels);
        output.copyWidth = width, output.copyHeight = height;
        return Ask(output);
    }
    if (width != output.copyWidth || height != output.copyHeight) return Failed(output);
    if (synced_) {
        Look(output, pixels);
        drawn_ = true;
    }
    output.last = std::move(pixels);
    Ask(output);
}

bool ScreencopyRepaintWatch::Wait(const std::vector<HiddenWindow>& windows, int capMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(capMs);
    const auto left = [&deadline] {
        return int(
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
    };
    for (const HiddenWindow& window : windows) {
        const auto found = std::find_if(outputs_.begin(), outputs_.end(), [&](const auto& o) {
            return o->state->name == window.output;
        });
        // An output that is not watched tells nothing.
        if (found == outputs_.end() || (*found)->failed) return false;
        WatchedOutput& output = **found;
        // The window's size in the output's buffer: its pixels at the output's scale, turned with
        // the output, and no larger than the output (what lies beyond is drawn by no one).
        const WaylandConnection::OutputState& state = *output.state;
        const bool turned = state.transform % 2 == 1;
        const int shownWidth = turned ? state.modeHeight : state.modeWidth;
        const double scale = state.hasLogicalSize && state.logicalWidth > 0 && shownWidth > 0
                                 ? double(shownWidth) / state.logicalWidth
                                 : double(state.scale);
        int width = int(std::floor(window.logicalWidth * scale));
        int height = int(std::floor(window.logicalHeight * scale));
        if (turned) std::swap(width, height);
        if (state.modeWidth > 0) width = std::min(width, state.modeWidth);
        if (state.modeHeight > 0) height = std::min(height, state.modeHeight);
        if (width <= 0 || height <= 0) continue;
        waited_.push_back({&output, width, height, false, {}});
    }
    if (waited_.empty()) return true;

    // Everything the compositor sends before answering this sync was drawn before the hide.
    static const wl_callback_listener listener = {[](void* data, wl_callback* callback, uint32_t) {
        *static_cast<bool*>(data) = true;
        wl_callback_destroy(callback);
    }};
    sync_ = wl_display_sync(connection_->display());
    wl_callback_add_listener(sync_, &listener, &synced_);

    constexpr int kFrameMs = 17;
    bool lookedAtLast = false;
    while (true) {
        if (connection_->Broken()) return false;
        // The last copy before the answer may already show the windows gone.
        if (synced_ && !lookedAtLast) {
            lookedAtLast = true;
            for (auto& output : outputs_)
                if (!output->failed) Look(*output, output->last);
        }
        // No frame will tell any more.
        if (std::any_of(waited_.begin(), waited_.end(),
                        [](const Waited& w) { return w.output->failed && !w.gone; }))
            return false;
        int slice = left();
        if (slice <= 0) return false;
        if (synced_ &&
            std::all_of(waited_.begin(), waited_.end(), [](const Waited& w) { return w.gone; })) {
            const int quiet = int(std::chrono::duration_cast<std::chrono::milliseconds>(
                                      Clock::now() - lastChangeThere_)
                                      .count());
            if (quiet >= kFrameMs) return true;
            slice = std::min(slice, kFrameMs - quiet);
        }
        drawn_ = false;
        connection_->DispatchUntil([this] { return drawn_; }, slice);
    }
}

}  // namespace

std::unique_ptr<RepaintWatch> ScreencopyBackend::WatchRepaint(
    const std::vector<std::string>& outputs) {
    // Copies that wait for something drawn came with the protocol's second version.
    if (outputs.empty() ||
        wl_proxy_get_version(reinterpret_cast<wl_proxy*>(connection_->screencopy())) < 2)
        return nullptr;
    return std::make_unique<ScreencopyRepaintWatch>(connection_, outputs);
}

}  // namespace platform::capture
