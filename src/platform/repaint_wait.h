#pragma once

#include <QPointer>
#include <QRect>
#include <QRegion>
#include <QWindow>

#include <memory>
#include <vector>

namespace platform {

namespace capture {
class RepaintWatch;
}

// Waits until the screen shows what lies under windows of ours that are being hidden, so that a
// grab taken right after holds none of their pixels. It watches from its own X connection:
//   - the windows (or their window manager's frames) have been unmapped;
//   - the root window's damage has covered the part of `area` they occupied, reported after
//     the unmap (so where a compositing manager runs, it is its frame that covered it);
//   - no damage has touched that part for about one frame (the programs beneath repainted).
// Construct it before hiding the windows, then hide them and call Wait. Without an X display it
// waits the whole cap, as a fixed wait would.
class CRepaintWait {
  public:
    static constexpr int kFrameMs = 17;

    // `windows`: X ids of our own windows about to be hidden; `area`: the part of the root
    // window that matters, in device pixels.
    CRepaintWait(const std::vector<unsigned long>& windows, const QRect& area);
    ~CRepaintWait();
    CRepaintWait(const CRepaintWait&) = delete;
    CRepaintWait& operator=(const CRepaintWait&) = delete;

    // Nothing of ours lies on the area: a grab needs no wait.
    bool Empty() const;

    // Blocks, keeping the program's own windows painting and user input held back, until the
    // area has settled or `capMs` have passed. True when it settled before the cap.
    bool Wait(int capMs);

    // The screen area the windows covered inside `area`, as their shapes give it.
    const QRegion& Target() const;

  private:
    struct Watch;
    std::unique_ptr<Watch> watch_;
};

// The same on Wayland, where a client learns nothing of other programs' windows: construct it
// before hiding the program's shown top-level windows; Wait then makes sure the compositor has
// taken in the hide (a sync on the toolkit's own connection) and waits for the capture backend to
// see each window's output drawn again over at least the window's size, then quiet for about
// one frame (wlr-screencopy). Where the backend learns nothing of the compositor's frames (the
// portal), Wait waits the whole cap when a window was shown.
class CWaylandRepaintWait {
  public:
    CWaylandRepaintWait();
    ~CWaylandRepaintWait();
    CWaylandRepaintWait(const CWaylandRepaintWait&) = delete;
    CWaylandRepaintWait& operator=(const CWaylandRepaintWait&) = delete;

    // No window of ours is shown: a grab needs no wait.
    bool Empty() const { return shown_.empty(); }
    // Blocks, keeping user input held back, until the screen no longer shows the windows that
    // were hidden since the construction, or `capMs` have passed. True when it settled first.
    bool Wait(int capMs);

  private:
    std::vector<QPointer<QWindow>> shown_;
    std::unique_ptr<capture::RepaintWatch> watch_;
};

// Waits for an area of the screen to stop changing (a window raised over others repaints what
// was covered): about one frame without damage there, at most `capMs`.
bool WaitForQuietArea(const QRect& area, int capMs);

// Whether a compositing manager runs on the display's default screen.
bool CompositorRunning();

// The X ids of the program's top-level windows that are shown and lie (partly) on `area`
// (device pixels), other than the tray icon and other windows embedded in foreign ones.
std::vector<unsigned long> OwnWindowsOn(const QRect& area);

}  // namespace platform
