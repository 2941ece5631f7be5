#pragma once

#include "platform/capture/capture_backend.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct wl_buffer;
struct wl_display;
struct wl_registry;
struct wl_shm;
struct wl_output;
struct zwlr_screencopy_manager_v1;
struct zxdg_output_manager_v1;
struct zxdg_output_v1;

namespace platform::capture {

// The program's own connection to the Wayland compositor (beside the toolkit's): its outputs
// with their modes, scales and logical layout, shared memory, and the screencopy manager when
// the compositor offers one. Every wait on the compositor has a time limit.
class WaylandConnection {
  public:
    // One output as the compositor describes it.
    struct OutputState {
        WaylandConnection* owner = nullptr;
        uint32_t globalName = 0;
        wl_output* output = nullptr;
        zxdg_output_v1* xdgOutput = nullptr;
        std::string name;
        int modeWidth = 0, modeHeight = 0;
        int scale = 1;
        int transform = 0;
        int geometryX = 0, geometryY = 0;
        int logicalX = 0, logicalY = 0, logicalWidth = 0, logicalHeight = 0;
        bool hasLogicalPosition = false, hasLogicalSize = false;
    };

    ~WaylandConnection();
    // Connects to the compositor of WAYLAND_DISPLAY; null, with the reason, when none answers.
    static std::shared_ptr<WaylandConnection> Open(std::string& error);

    bool HasScreencopy() const { return screencopy_ != nullptr; }
    // The outputs placed in the desktop's device pixels (PlaceOutputs), after taking in what the
    // compositor changed since the last call. Empty when the connection is broken.
    std::vector<Output> Outputs();
    // The compositor's objects for the output named `name`, or null.
    OutputState* Find(const std::string& name);

    // Handles the compositor's events until `done` holds; false when the time ran out or the
    // connection broke.
    bool DispatchUntil(const std::function<bool()>& done, int timeoutMs);
    // Waits until the compositor has handled every request sent so far.
    bool Sync(int timeoutMs);
    bool Broken() const;

    wl_display* display() const { return display_; }
    wl_shm* shm() const { return shm_; }
    zwlr_screencopy_manager_v1* screencopy() const { return screencopy_; }

    // The registry's events.
    static void Global(void* data, wl_registry* registry, uint32_t name, const char* interface,
                       uint32_t version);
    static void GlobalRemove(void* data, wl_registry* registry, uint32_t name);

  private:
    WaylandConnection() = default;
    void AddXdgOutput(OutputState& state);

    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    wl_shm* shm_ = nullptr;
    zwlr_screencopy_manager_v1* screencopy_ = nullptr;
    zxdg_output_manager_v1* xdgOutputs_ = nullptr;
    std::vector<std::unique_ptr<OutputState>> outputs_;
};

// Whether Quillet reads pixels in this shared-memory format (the 32-bit RGB ones).
bool ReadableShmFormat(uint32_t format);

// Shared memory for the compositor to copy an output into, made for the buffer it offered.
struct ShmBuffer {
    uint32_t format = 0, width = 0, height = 0, stride = 0;
    int fd = -1;
    void* data = nullptr;
    std::size_t size = 0;
    wl_buffer* buffer = nullptr;

    ShmBuffer() = default;
    ShmBuffer(const ShmBuffer&) = delete;
    ShmBuffer& operator=(const ShmBuffer&) = delete;
    ~ShmBuffer() { Drop(); }
    // Kept when it already has this shape; false when the offer is not sound (a side over
    // `maxSide`, rows shorter than their pixels) or the memory cannot be had.
    bool Make(wl_shm* shm, uint32_t format, uint32_t width, uint32_t height, uint32_t stride,
              uint32_t maxSide);
    void Drop();
};

}  // namespace platform::capture
