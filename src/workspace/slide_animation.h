#pragma once

#include <QObject>
#include <QRect>

#include <functional>

class QWidget;

// The slide of the capture preview and its two lists: ten steps on timer 1 every 10 ms, out of or
// back under a reference window (the panel for the preview, the preview for the lists). The slide
// stays within the primary monitor's available area: a window with no room on its side of the
// reference slides out on the other side, and is moved along the reference's edge to fit.
class CSlideAnimation : public QObject {
  public:
    enum class Direction {
        Left,  // out to the left of the reference's left edge (the preview, the capture list)
        Up,    // out above the reference's top edge (the drop list)
    };
    static constexpr int kTimerMs = 10;

    // `hiddenFlag` is the process-wide flag of this window: 1 while hidden or sliding in.
    CSlideAnimation(QWidget& window, Direction direction, int& hiddenFlag,
                    std::function<QRect()> reference);

    // The window's size, read once when it initialises.
    void SetSize(int width, int height);
    // Starts sliding out a hidden window, or back in one that is out.
    void Toggle();
    // Ends a slide at once, the window counting as in (hidden); the caller hides it.
    void Stop();
    // One tick of the timer.
    void Step();
    // Where the window lies when wholly out, `gap` pixels further from the reference.
    QPoint OutPosition(const QRect& reference, int gap = 0) const;

    bool IsOut() const { return hiddenFlag_ == 0; }
    bool IsRunning() const { return timerId_ != 0; }
    int stepCounter() const { return k_; }
    int width() const { return width_; }
    int height() const { return height_; }

  protected:
    void timerEvent(QTimerEvent* event) override;

  private:
    int Extent() const { return direction_ == Direction::Left ? width_ : height_; }
    // `travel` pixels out from under the reference.
    QPoint Position(const QRect& reference, int travel) const;
    void Arm();
    void Disarm();

    QWidget& window_;
    Direction direction_;
    int& hiddenFlag_;
    std::function<QRect()> reference_;
    int width_ = 0;
    int height_ = 0;
    int k_ = 0;
    int timerId_ = 0;
};
