#include "workspace/slide_animation.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimerEvent>
#include <QWidget>

#include <algorithm>

CSlideAnimation::CSlideAnimation(QWidget& window, Direction direction, int& hiddenFlag,
                                 std::function<QRect()> reference)
    : window_(window),
      direction_(direction),
      hiddenFlag_(hiddenFlag),
      reference_(std::move(reference)) {}

void CSlideAnimation::SetSize(int width, int height) {
    width_ = width;
    height_ = height;
}

void CSlideAnimation::Toggle() {
    k_ = 1;
    hiddenFlag_ = hiddenFlag_ ? 0 : 1;
    Arm();
}

void CSlideAnimation::Stop() {
    Disarm();
    hiddenFlag_ = 1;
}

QPoint CSlideAnimation::Position(const QRect& reference, int travel) const {
    const QScreen* primary = QGuiApplication::primaryScreen();
    const QRect bounds = primary ? primary->availableGeometry() : QRect();
    // Along the reference's edge the window is kept inside the bounds where it fits.
    const auto fit = [](int position, int low, int high) {
        return high >= low ? std::clamp(position, low, high) : low;
    };
    if (direction_ == Direction::Left) {
        const bool right = !bounds.isEmpty() && reference.left() - width_ < bounds.left() &&
                           reference.right() + width_ <= bounds.right();
        const int x = right ? reference.right() + 1 - width_ + travel : reference.left() - travel;
        const int y = bounds.isEmpty()
                          ? reference.top()
                          : fit(reference.top(), bounds.top(), bounds.bottom() + 1 - height_);
        return {x, y};
    }
    const bool down = !bounds.isEmpty() && reference.top() - height_ < bounds.top() &&
                      reference.bottom() + height_ <= bounds.bottom();
    const int y = down ? reference.bottom() + 1 - height_ + travel : reference.top() - travel;
    const int x = bounds.isEmpty()
                      ? reference.left()
                      : fit(reference.left(), bounds.left(), bounds.right() + 1 - width_);
    return {x, y};
}

QPoint CSlideAnimation::OutPosition(const QRect& reference, int gap) const {
    return Position(reference, Extent() + gap);
}

void CSlideAnimation::Step() {
    Disarm();
    const QRect reference = reference_();
    const int extent = Extent();
    // A window narrower than ten pixels still moves, one pixel a step.
    const int step = std::max(1, extent / 10);
    const bool slidingIn = hiddenFlag_ != 0;
    if (step * k_ <= extent) {
        // Out: `step * k` pixels from under the reference; in: that much closer to it.
        const int travel = slidingIn ? extent - step * k_ : step * k_;
        window_.setGeometry(QRect(Position(reference, travel), QSize(width_, height_ - 2)));
        if (!slidingIn && !window_.isVisible()) window_.show();
        ++k_;
        Arm();
    }
    if (slidingIn && step * k_ >= extent) {
        Disarm();
        window_.hide();
    }
}

void CSlideAnimation::timerEvent(QTimerEvent* event) {
    if (event->timerId() == timerId_) Step();
}

void CSlideAnimation::Arm() {
    Disarm();
    timerId_ = startTimer(kTimerMs, Qt::PreciseTimer);
}

void CSlideAnimation::Disarm() {
    if (timerId_ != 0) killTimer(timerId_);
    timerId_ = 0;
}
