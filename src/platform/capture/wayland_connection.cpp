#include "platform/capture/wayland_connection.h"

#include "wlr-screencopy-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>

namespace platform::capture {

namespace {

constexpr int kSetupTimeoutMs = 5000;
// Output counts beyond this are a misbehaving compositor, not a desktop.
constexpr std::size_t kMaxOutputs = 64;

using State = WaylandConnection::OutputState;

State& Of(void* data) {
    return *static_cast<State*>(data);
}

void OutputGeometry(void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t,
                    const char*, const char*, int32_t transform) {
    Of(data).geometryX = x;
    Of(data).geometryY = y;
    Of(data).transform = transform;
}
void OutputMode(void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
    if (!(flags & WL_OUTPUT_MODE_CURRENT)) return;
    Of(data).modeWidth = width;
    Of(data).modeHeight = height;
}
void OutputDone(void*, wl_output*) {}
void OutputScale(void* data, wl_output*, int32_t factor) {
    Of(data).scale = std::max(factor, 1);
}
void OutputName(void* data, wl_output*, const char* name) {
    if (name) Of(data).name = name;
}
void OutputDescription(void*, wl_output*, const char*) {}
const wl_output_listener kOutputListener = {OutputGeometry, OutputMode, OutputDone,
                                            OutputScale,    OutputName, OutputDescription};

void XdgPosition(void* data, zxdg_output_v1*, int32_t x, int32_t y) {
    Of(data).logicalX = x;
    Of(data).logicalY = y;
    Of(data).hasLogicalPosition = true;
}
void XdgSize(void* data, zxdg_output_v1*, int32_t width, int32_t height) {
    Of(data).logicalWidth = width;
    Of(data).logicalHeight = height;
    Of(data).hasLogicalSize = true;
}
void XdgDone(void*, zxdg_output_v1*) {}
void XdgName(void* data, zxdg_output_v1*, const char* name) {
    if (name && Of(data).name.empty()) Of(data).name = name;
}
void XdgDescription(void*, zxdg_output_v1*, const char*) {}
const zxdg_output_v1_listener kXdgOutputListener = {XdgPosition, XdgSize, XdgDone, XdgName,
                                                    XdgDescription};

const wl_registry_listener kRegistryListener = {&WaylandConnection::Global,
                                                &WaylandConnection::GlobalRemove};

}  // namespace

WaylandConnection::~WaylandConnection() {
    for (auto& state : outputs_) {
        if (state->xdgOutput) zxdg_output_v1_destroy(state->xdgOutput);
        if (state->output) wl_output_destroy(state->output);
    }
    if (xdgOutputs_) zxdg_output_manager_v1_destroy(xdgOutputs_);
    if (screencopy_) zwlr_screencopy_manager_v1_destroy(screencopy_);
    if (shm_) wl_shm_destroy(shm_);
    if (registry_) wl_registry_destroy(registry_);
    if (display_) wl_display_disconnect(display_);
}

std::shared_ptr<WaylandConnection> WaylandConnection::Open(std::string& error) {
    std::shared_ptr<WaylandConnection> connection(new WaylandConnection);
    connection->display_ = wl_display_connect(nullptr);
    if (!connection->display_) {
        error = "no Wayland compositor answers (WAYLAND_DISPLAY)";
        return nullptr;
    }
    connection->registry_ = wl_display_get_registry(connection->display_);
    wl_registry_add_listener(connection->registry_, &kRegistryListener, connection.get());
    // The globals, then what the new output objects send about themselves.
    if (!connection->Sync(kSetupTimeoutMs) || !connection->Sync(kSetupTimeoutMs)) {
        error = "the Wayland compositor does not answer";
        return nullptr;
    }
    return connection;
}

void WaylandConnection::Global(void* data, wl_registry* registry, uint32_t name,
                               const char* interface, uint32_t version) {
    auto* self = static_cast<WaylandConnection*>(data);
    const std::string_view kind = interface;
    if (kind == wl_shm_interface.name && !self->shm_) {
        self->shm_ = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    } else if (kind == zwlr_screencopy_manager_v1_interface.name && !self->screencopy_) {
        self->screencopy_ = static_cast<zwlr_screencopy_manager_v1*>(wl_registry_bind(
            registry, name, &zwlr_screencopy_manager_v1_interface, std::min(version, 3u)));
    } else if (kind == zxdg_output_manager_v1_interface.name && !self->xdgOutputs_) {
        self->xdgOutputs_ = static_cast<zxdg_output_manager_v1*>(wl_registry_bind(
            registry, name, &zxdg_output_manager_v1_interface, std::min(version, 3u)));
        for (auto& state : self->outputs_) self->AddXdgOutput(*state);
    } else if (kind == wl_output_interface.name && self->outputs_.size() < kMaxOutputs) {
        auto state = std::make_unique<OutputState>();
        state->owner = self;
        state->globalName = name;
        state->output = static_cast<wl_output*>(
            wl_registry_bind(registry, name, &wl_output_interface, std::min(version, 4u)));
        wl_output_add_listener(state->output, &kOutputListener, state.get());
        self->AddXdgOutput(*state);
        self->outputs_.push_back(std::move(state));
    }
}

void WaylandConnection::GlobalRemove(void* data, wl_registry*, uint32_t name) {
    auto* self = static_cast<WaylandConnection*>(data);
    auto& outputs = self->outputs_;
    for (auto it = outputs.begin(); it != outputs.end(); ++it) {
        if ((*it)->globalName != name) continue;
        if ((*it)->xdgOutput) zxdg_output_v1_destroy((*it)->xdgOutput);
        wl_output_release((*it)->output);
        outputs.erase(it);
        return;
    }
}

void WaylandConnection::AddXdgOutput(OutputState& state) {
    if (!xdgOutputs_ || state.xdgOutput) return;
    state.xdgOutput = zxdg_output_manager_v1_get_xdg_output(xdgOutputs_, state.output);
    zxdg_output_v1_add_listener(state.xdgOutput, &kXdgOutputListener, &state);
}

bool WaylandConnection::Broken() const {
    return !display_ || wl_display_get_error(display_) != 0;
}

bool WaylandConnection::DispatchUntil(const std::function<bool()>& done, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (Broken()) return false;
        while (wl_display_prepare_read(display_) != 0) {
            if (wl_display_dispatch_pending(display_) < 0) return false;
            if (done()) return true;
        }
        wl_display_flush(display_);
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) {
            wl_display_cancel_read(display_);
            return false;
        }
        pollfd fd{wl_display_get_fd(display_), POLLIN, 0};
        const int ready = poll(&fd, 1, static_cast<int>(left));
        if (ready <= 0) {
            wl_display_cancel_read(display_);
            if (ready < 0 && errno == EINTR) continue;
            if (ready < 0) return false;
            continue;  // the deadline is checked above
        }
        if (wl_display_read_events(display_) < 0) return false;
        if (wl_display_dispatch_pending(display_) < 0) return false;
    }
    return true;
}

bool WaylandConnection::Sync(int timeoutMs) {
    if (Broken()) return false;
    bool done = false;
    static const wl_callback_listener listener = {[](void* data, wl_callback* callback, uint32_t) {
        *static_cast<bool*>(data) = true;
        wl_callback_destroy(callback);
    }};
    wl_callback* callback = wl_display_sync(display_);
    wl_callback_add_listener(callback, &listener, &done);
    if (DispatchUntil([&done] { return done; }, timeoutMs)) return true;
    // A late answer must not write to this frame's flag: it goes to no object now.
    if (!done) wl_callback_destroy(callback);
    return false;
}

WaylandConnection::OutputState* WaylandConnection::Find(const std::string& name) {
    for (auto& state : outputs_) {
        if (state->name == name) return state.get();
    }
    return nullptr;
}

std::vector<Output> WaylandConnection::Outputs() {
    std::vector<Output> outputs;
    if (!Sync(kSetupTimeoutMs)) return outputs;
    for (auto& state : outputs_) {
        if (state->modeWidth <= 0 || state->modeHeight <= 0) continue;
        Output output;
        output.name =
            state->name.empty() ? "output-" + std::to_string(state->globalName) : state->name;
        if (state->name.empty()) state->name = output.name;
        // A turned output shows its mode on its side.
        const bool turned = state->transform % 2 == 1;
        output.width = turned ? state->modeHeight : state->modeWidth;
        output.height = turned ? state->modeWidth : state->modeHeight;
        output.logicalX = state->hasLogicalPosition ? state->logicalX : state->geometryX;
        output.logicalY = state->hasLogicalPosition ? state->logicalY : state->geometryY;
        if (state->hasLogicalSize && state->logicalWidth > 0 && state->logicalHeight > 0) {
            output.logicalWidth = state->logicalWidth;
            output.logicalHeight = state->logicalHeight;
        } else {
            output.logicalWidth = output.width / state->scale;
            output.logicalHeight = output.height / state->scale;
        }
        output.scale = double(output.width) / std::max(output.logicalWidth, 1);
        outputs.push_back(output);
    }
    PlaceOutputs(outputs);
    return outputs;
}

bool ReadableShmFormat(uint32_t format) {
    return format == WL_SHM_FORMAT_ARGB8888 || format == WL_SHM_FORMAT_XRGB8888 ||
           format == WL_SHM_FORMAT_ABGR8888 || format == WL_SHM_FORMAT_XBGR8888;
}

bool ShmBuffer::Make(wl_shm* shm, uint32_t format_, uint32_t width_, uint32_t height_,
                     uint32_t stride_, uint32_t maxSide) {
    if (buffer && format == format_ && width == width_ && height == height_ && stride == stride_)
        return true;
    Drop();
    if (width_ == 0 || height_ == 0 || width_ > maxSide || height_ > maxSide ||
        stride_ < width_ * 4 || stride_ > maxSide * 16)
        return false;
    size = std::size_t(stride_) * height_;
    fd = memfd_create("quillet-screencopy", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, static_cast<off_t>(size)) != 0) return false;
    void* mapped = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (mapped == MAP_FAILED) return false;
    data = mapped;
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<int32_t>(size));
    buffer = wl_shm_pool_create_buffer(pool, 0, static_cast<int32_t>(width_),
                                       static_cast<int32_t>(height_), static_cast<int32_t>(stride_),
                                       format_);
    wl_shm_pool_destroy(pool);
    format = format_, width = width_, height = height_, stride = stride_;
    return buffer != nullptr;
}

void ShmBuffer::Drop() {
    if (buffer) wl_buffer_destroy(buffer);
    if (data) munmap(data, size);
    if (fd >= 0) close(fd);
    buffer = nullptr, data = nullptr, fd = -1, size = 0;
    format = width = height = stride = 0;
}

}  // namespace platform::capture
