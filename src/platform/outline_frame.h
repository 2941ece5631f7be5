#pragma once

#include <QRect>

namespace platform {

// A black frame, 3 pixels wide, laid over another program's window to mark it: a window of our
// own, shaped to the frame, passing every input through and never managed, so nothing is drawn
// into the foreign window. Rectangles in device pixels of the root window.
class COutlineFrame {
  public:
    static constexpr int kWidth = 3;

    COutlineFrame() = default;
    ~COutlineFrame();
    COutlineFrame(const COutlineFrame&) = delete;
    COutlineFrame& operator=(const COutlineFrame&) = delete;

    void Show(const QRect& rect);
    void Hide();

    unsigned long window() const { return window_; }
    bool visible() const { return visible_; }

  private:
    bool Create();

    unsigned long window_ = 0;
    bool visible_ = false;
};

}  // namespace platform
