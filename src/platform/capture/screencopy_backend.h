#pragma once

#include "platform/capture/capture_backend.h"

#include <memory>

namespace platform::capture {

class WaylandConnection;

// The wlroots screencopy protocol (sway, Hyprland, river, Wayfire, labwc): every output copied
// at its own scale into shared memory, without the pointer, and laid out by PlaceOutputs.
class ScreencopyBackend : public Backend {
  public:
    explicit ScreencopyBackend(std::shared_ptr<WaylandConnection> connection);
    const char* Name() const override { return "wlr-screencopy"; }
    std::vector<Output> Outputs() override;
    bool DesktopSize(int& width, int& height) override;
    bool ReadArea(int x, int y, int width, int height, const RowSink& sink,
                  std::string& error) override;
    // The whole desktop in one copy of every output.
    bool Desktop(Picture& picture, std::string& error) override { return Capture(picture, error); }
    bool Capture(Picture& picture, std::string& error);
    void SetOverlayPointer(bool overlay) override { overlayPointer_ = overlay; }
    // Copies of the outputs that complete when the compositor has drawn something, with what it
    // drew (screencopy_repaint.cpp).
    std::unique_ptr<RepaintWatch> WatchRepaint(const std::vector<std::string>& outputs) override;

  private:
    std::shared_ptr<WaylandConnection> connection_;
    bool overlayPointer_ = false;
};

// A rectangle of an output's buffer.
struct RepaintRect {
    int x = 0, y = 0, width = 0, height = 0;
};

// The parts in which two copies of an output (`width` x `height` pixels, rows top to bottom)
// differ: the extents of groups of changes lying within about 16 pixels of each other.
std::vector<RepaintRect> ChangedParts(const std::vector<uint32_t>& a,
                                      const std::vector<uint32_t>& b, int width, int height);

// The size of the desktop that `outputs` (placed) cover; false when they are none.
bool OutputsExtent(const std::vector<Output>& outputs, int& width, int& height);

// Copies an output's pixels (`source`, `sourceWidth` x `sourceHeight` with `stride` bytes a row,
// 32-bit in `shmFormat`) into `picture` at the output's place, turned and flipped as the output's
// transform shows them, upside down first when `yInvert`. False for a format it cannot read.
bool PlaceOutputPixels(Picture& picture, const Output& output, const uint8_t* source,
                       int sourceWidth, int sourceHeight, int stride, uint32_t shmFormat,
                       int transform, bool yInvert);

}  // namespace platform::capture
