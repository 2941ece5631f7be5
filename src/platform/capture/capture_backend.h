#pragma once

// Screen access behind one small interface, chosen at run time by what the session offers: the
// X server's root window, the wlroots screencopy protocol, or the desktop portal's Screenshot.
// No Qt here: quillet-tool loads the same code.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using Display = struct _XDisplay;

namespace platform::capture {

// A monitor: where its pixels lie in the desktop's picture (device pixels, unscaled), and where
// the session's layout puts it (logical coordinates; the same as the device ones on X11).
struct Output {
    std::string name;
    int x = 0, y = 0, width = 0, height = 0;
    int logicalX = 0, logicalY = 0, logicalWidth = 0, logicalHeight = 0;
    // Device pixels per logical pixel.
    double scale = 1.0;
};

// Pixels as 0xFFRRGGBB, rows top to bottom.
struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t* Row(int y) { return pixels.data() + std::size_t(y) * std::size_t(width); }
    const uint32_t* Row(int y) const { return pixels.data() + std::size_t(y) * std::size_t(width); }
    // A black picture; false when the size is out of bounds.
    bool Reset(int w, int h);
};

// Receives row `y` (0 at the top) of an area as 0xFFRRGGBB pixels.
using RowSink = std::function<void(int y, const uint32_t* row)>;

// One of the program's windows that has just been hidden, as much as a Wayland client knows of
// it: the output it showed on, and its size in logical pixels (where it lay, the compositor alone
// knows).
struct HiddenWindow {
    std::string output;
    int logicalWidth = 0, logicalHeight = 0;
};

// Watches outputs on which windows of the program are about to be hidden, so that a grab taken
// after Wait holds none of their pixels. Start it before the hide.
class RepaintWatch {
  public:
    virtual ~RepaintWatch() = default;
    // Called once, when the compositor has taken in the hide (the toolkit's connection is
    // synced). Blocks until each window's output shows, in a frame drawn after the hide, a part
    // at least about the window's size changed from before the hide, and then about one frame
    // has passed with nothing more changing there; at most `capMs`. True when it settled; false
    // when the cap passed or, at once, when the frames cannot tell (the caller waits out the
    // cap then).
    virtual bool Wait(const std::vector<HiddenWindow>& windows, int capMs) = 0;
};

class Backend {
  public:
    virtual ~Backend() = default;
    // "x11", "wlr-screencopy" or "portal".
    virtual const char* Name() const = 0;
    // The monitors as they lie in the desktop's picture; empty when the backend knows none.
    virtual std::vector<Output> Outputs() = 0;
    // The size of the desktop's picture in device pixels; false when it is unknown.
    virtual bool DesktopSize(int& width, int& height) = 0;
    // Reads an area of the desktop (already clipped to it) and hands its rows to `sink`, top to
    // bottom. False, with the reason in `error`, when nothing was read.
    virtual bool ReadArea(int x, int y, int width, int height, const RowSink& sink,
                          std::string& error) = 0;
    // The whole desktop: every output's own pixels where the layout places it, black where no
    // output shows.
    virtual bool Desktop(Picture& picture, std::string& error);
    // Asks a backend whose compositor can draw the pointer into its copies (wlr-screencopy) to
    // do so from now on; the others leave the pointer to the caller.
    virtual void SetOverlayPointer(bool /*overlay*/) {}
    // Starts watching the named outputs for the frames drawn after windows on them are hidden;
    // null when the backend learns nothing of the compositor's frames (the caller then waits a
    // fixed time) or draws nothing itself (X11 has its own watch).
    virtual std::unique_ptr<RepaintWatch> WatchRepaint(
        const std::vector<std::string>& /*outputs*/) {
        return nullptr;
    }
};

// Places outputs given in logical coordinates with their device sizes: each output's x is the
// x of the output left of it in its row (vertical extents overlap) plus that one's device width,
// and the logical gap between them; y likewise with the outputs above it in its column. Outputs
// adjacent in the layout stay adjacent in device pixels; the top-left one lands at 0,0.
void PlaceOutputs(std::vector<Output>& outputs);

// Hands the rows of an area of a whole-desktop picture to `sink`; false with `error` when the
// area does not lie within it.
bool ReadAreaOf(const Picture& desktop, int x, int y, int width, int height, const RowSink& sink,
                std::string& error);

// Whether the program runs in a Wayland session (WAYLAND_DISPLAY set, or XDG_SESSION_TYPE says
// so).
bool IsWaylandSession();

// Whether a Wayland compositor answers at WAYLAND_DISPLAY; false with the reason.
bool CanReachWayland(std::string& error);

// The backend for this session: on Wayland screencopy when the compositor offers it, else the
// portal; otherwise the X server's root window. QUILLET_CAPTURE_BACKEND (x11, wlr-screencopy,
// portal) picks one by name. `x11Display` gives the X connection to use (null: one of its own).
// Null, with the reason in `error`, when the session offers none.
std::unique_ptr<Backend> OpenBackend(std::function<Display*()> x11Display, std::string& error);

}  // namespace platform::capture
