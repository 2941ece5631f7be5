#include "platform/capture/screencopy_backend.h"

#include "platform/capture/wayland_connection.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <algorithm>
#include <cstring>

namespace platform::capture {

namespace {

constexpr int kCopyTimeoutMs = 5000;
constexpr uint32_t kArgb8888 = WL_SHM_FORMAT_ARGB8888, kXrgb8888 = WL_SHM_FORMAT_XRGB8888,
                   kAbgr8888 = WL_SHM_FORMAT_ABGR8888, kXbgr8888 = WL_SHM_FORMAT_XBGR8888;
constexpr uint32_t kMaxSide = 1u << 16;

// One output's copy under way.
struct Frame {
    WaylandConnection::OutputState* state = nullptr;
    Output output;
    zwlr_screencopy_frame_v1* frame = nullptr;
    uint32_t format = 0, width = 0, height = 0, stride = 0;
    bool offered = false;  // a buffer it can read was offered
    bool buffersDone = false, ready = false, failed = false;
    uint32_t flags = 0;
    ShmBuffer shm;

    ~Frame() {
        if (frame) zwlr_screencopy_frame_v1_destroy(frame);
    }
    bool Finished() const { return ready || failed; }
};

Frame& Of(void* data) {
    return *static_cast<Frame*>(data);
}

void FrameBuffer(void* data, zwlr_screencopy_frame_v1*, uint32_t format, uint32_t width,
                 uint32_t height, uint32_t stride) {
    Frame& frame = Of(data);
    if (frame.offered || !ReadableShmFormat(format)) return;
    frame.offered = true;
    frame.format = format;
    frame.width = width;
    frame.height = height;
    frame.stride = stride;
}
void FrameFlags(void* data, zwlr_screencopy_frame_v1*, uint32_t flags) {
    Of(data).flags = flags;
}
void FrameReady(void* data, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {
    Of(data).ready = true;
}
void FrameFailed(void* data, zwlr_screencopy_frame_v1*) {
    Of(data).failed = true;
}
void FrameDamage(void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t, uint32_t) {}
void FrameDmabuf(void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {}
void FrameBuffersDone(void* data, zwlr_screencopy_frame_v1*) {
    Of(data).buffersDone = true;
}
const zwlr_screencopy_frame_v1_listener kFrameListener = {
    FrameBuffer, FrameFlags, FrameReady, FrameFailed, FrameDamage, FrameDmabuf, FrameBuffersDone};

}  // namespace

bool OutputsExtent(const std::vector<Output>& outputs, int& width, int& height) {
    if (outputs.empty()) return false;
    width = height = 0;
    for (const Output& output : outputs) {
        width = std::max(width, output.x + output.width);
        height = std::max(height, output.y + output.height);
    }
    return width > 0 && height > 0;
}

bool PlaceOutputPixels(Picture& picture, const Output& output, const uint8_t* source,
                       int sourceWidth, int sourceHeight, int stride, uint32_t shmFormat,
                       int transform, bool yInvert) {
    if (!ReadableShmFormat(shmFormat)) return false;
    const bool swapRedBlue = shmFormat == kAbgr8888 || shmFormat == kXbgr8888;
    const bool turned = transform % 2 == 1;
    const int shownWidth = turned ? sourceHeight : sourceWidth;
    const int shownHeight = turned ? sourceWidth : sourceHeight;
    const int width = std::min(shownWidth, output.width);
    const int height = std::min(shownHeight, output.height);
    const int W = sourceWidth, H = sourceHeight;
    for (int y = 0; y < height; ++y) {
        const int py = output.y + y;
        if (py < 0 || py >= picture.height) continue;
        uint32_t* out = picture.Row(py);
        for (int x = 0; x < width; ++x) {
            const int px = output.x + x;
            if (px < 0 || px >= picture.width) continue;
            // Where the pixel shown at x, y lies in the output's own buffer.
            int sx = x, sy = y;
            switch (transform) {
                case 1:
                    sx = y, sy = H - 1 - x;
                    break;
                case 2:
                    sx = W - 1 - x, sy = H - 1 - y;
                    break;
                case 3:
                    sx = W - 1 - y, sy = x;
                    break;
                case 4:
                    sx = W - 1 - x, sy = y;
                    break;
                case 5:
                    sx = y, sy = x;
                    break;
                case 6:
                    sx = x, sy = H - 1 - y;
                    break;
                case 7:
                    sx = W - 1 - y, sy = H - 1 - x;
                    break;
                default:
                    break;
            }
            if (yInvert) sy = H - 1 - sy;
            uint32_t pixel;
            std::memcpy(&pixel, source + std::size_t(sy) * stride + std::size_t(sx) * 4, 4);
            if (swapRedBlue)
                pixel = (pixel & 0xFF00u) | (pixel & 0xFFu) << 16 | (pixel >> 16 & 0xFFu);
            out[px] = pixel | 0xFF000000u;
        }
    }
    return true;
}

ScreencopyBackend::ScreencopyBackend(std::shared_ptr<WaylandConnection> connection)
    : connection_(std::move(connection)) {}

std::vector<Output> ScreencopyBackend::Outputs() {
    return connection_->Outputs();
}

bool ScreencopyBackend::DesktopSize(int& width, int& height) {
    return OutputsExtent(connection_->Outputs(), width, height);
}

bool ScreencopyBackend::ReadArea(int x, int y, int width, int height, const RowSink& sink,
                                 std::string& error) {
    Picture desktop;
    if (!Capture(desktop, error)) return false;
    return ReadAreaOf(desktop, x, y, width, height, sink, error);
}

bool ScreencopyBackend::Capture(Picture& picture, std::string& error) {
    const std::vector<Output> outputs = connection_->Outputs();
    int width = 0, height = 0;
    if (!OutputsExtent(outputs, width, height)) {
        error = connection_->Broken() ? "the connection to the Wayland compositor broke"
                                      : "the compositor shows no output";
        return false;
    }
    if (!picture.Reset(width, height)) {
        error = "the desktop is too large to capture";
        return false;
    }
    // Every output asked at once; each then gets its buffer, and all are copied together.
    std::vector<std::unique_ptr<Frame>> frames;
    const bool listsBuffers =
        wl_proxy_get_version(reinterpret_cast<wl_proxy*>(connection_->screencopy())) >= 3;
    for (const Output& output : outputs) {
        auto frame = std::make_unique<Frame>();
        frame->state = connection_->Find(output.name);
        frame->output = output;
        if (!frame->state) continue;
        frame->frame = zwlr_screencopy_manager_v1_capture_output(
            connection_->screencopy(), overlayPointer_ ? 1 : 0, frame->state->output);
        zwlr_screencopy_frame_v1_add_listener(frame->frame, &kFrameListener, frame.get());
        frames.push_back(std::move(frame));
    }
    const auto offered = [&] {
        return std::all_of(frames.begin(), frames.end(), [&](const auto& f) {
            return f->failed || (listsBuffers ? f->buffersDone : f->offered);
        });
    };
    if (!connection_->DispatchUntil(offered, kCopyTimeoutMs)) {
        error = "the Wayland compositor did not offer the screen's pixels in time";
        return false;
    }
    for (auto& frame : frames) {
        if (frame->failed) continue;
        if (!frame->offered || !frame->shm.Make(connection_->shm(), frame->format, frame->width,
                                                frame->height, frame->stride, kMaxSide)) {
            error = "the Wayland compositor offers the screen's pixels in no format Quillet reads";
            return false;
        }
        zwlr_screencopy_frame_v1_copy(frame->frame, frame->shm.buffer);
    }
    const auto finished = [&] {
        return std::all_of(frames.begin(), frames.end(),
                           [](const auto& f) { return f->Finished(); });
    };
    if (!connection_->DispatchUntil(finished, kCopyTimeoutMs)) {
        error = "the Wayland compositor did not copy the screen in time";
        return false;
    }
    for (auto& frame : frames) {
        if (frame->failed) {
            error = "the Wayland compositor could not copy the output " + frame->output.name;
            return false;
        }
        PlaceOutputPixels(picture, frame->output, static_cast<const uint8_t*>(frame->shm.data),
                          int(frame->width), int(frame->height), int(frame->stride), frame->format,
                          frame->state->transform,
                          frame->flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT);
    }
    return true;
}

}  // namespace platform::capture
