#include "workspace/slide_animation.h"

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

QPoint CSlideAnimation::Position(const QRect& reference, int offset) const {
    const bool out = hiddenFlag_ == 0;
    if (direction_ == Direction::Left) {
        return out ? QPoint(reference.left() - offset, reference.top())
                   : QPoint(reference.left() - width_ + offset, reference.top());
    }
    return out ? QPoint(reference.left(), reference.top() - offset)
               : QPoint(reference.left(), reference.top() + offset - height_);
}

void CSlideAnimation::Step() {
    Disarm();
    const QRect reference = reference_();
    const int extent = Extent();
    // A window narrower than ten pixels still moves, one pixel a step.
    const int step = std::max(1, extent / 10);
    const bool slidingIn = hiddenFlag_ != 0;
    if (step * k_ <= extent) {
        window_.setGeometry(QRect(Position(reference, step * k_), QSize(width_, height_ - 2)));
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
