#pragma once

#include "platform/capture/capture_backend.h"

#include <memory>

namespace platform::capture {

class WaylandConnection;

// The desktop portal's Screenshot (GNOME, KDE and any desktop with a portal): asked without a
// dialog; the file it returns is read and then deleted. One request at a time, in this program
// and among this user's programs: some portals write every screenshot to one fixed file. The
// Wayland connection, when there is one, tells where each output lies in the portal's picture,
// which is then brought to every output's own device pixels.
class PortalBackend : public Backend {
  public:
    explicit PortalBackend(std::shared_ptr<WaylandConnection> wayland);
    const char* Name() const override { return "portal"; }
    std::vector<Output> Outputs() override;
    bool DesktopSize(int& width, int& height) override;
    bool ReadArea(int x, int y, int width, int height, const RowSink& sink,
                  std::string& error) override;
    bool Desktop(Picture& picture, std::string& error) override;

  private:
    std::shared_ptr<WaylandConnection> wayland_;
    int lastWidth_ = 0, lastHeight_ = 0;  // without outputs: the last picture's size
};

// Asks the portal for a screenshot and waits for its answer; the file's path, or false with the
// reason (a refusal by the user or the portal among them).
bool PortalScreenshot(std::string& path, std::string& error, int timeoutMs);

// Reads a PNG file into `picture` (alpha dropped); false with the reason.
bool ReadPngFile(const std::string& path, Picture& picture, std::string& error);

// Brings the portal's picture of the whole layout (logical coordinates times one factor, the
// same for every output) to the outputs' own device pixels at their places (PlaceOutputs): an
// output at half the picture's scale is recovered exactly from its smoothed-up image where that
// checks out (RecoverFromDoubled); otherwise, and at other factors, each device pixel takes the
// picture's pixel under its centre. Without outputs the picture is taken as it is.
bool MapToOutputs(const Picture& shot, const std::vector<Output>& outputs, Picture& desktop,
                  std::string& error);

}  // namespace platform::capture
