#pragma once

#include <QRect>
#include <QRegion>

#include <memory>
#include <vector>

namespace platform {

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

// Waits for an area of the screen to stop changing (a window raised over others repaints what
// was covered): about one frame without damage there, at most `capMs`.
bool WaitForQuietArea(const QRect& area, int capMs);

// Whether a compositing manager runs on the display's default screen.
bool CompositorRunning();

// The X ids of the program's top-level windows that are shown and lie (partly) on `area`
// (device pixels), other than the tray icon and other windows embedded in foreign ones.
std::vector<unsigned long> OwnWindowsOn(const QRect& area);

}  // namespace platform
