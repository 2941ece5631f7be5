#pragma once

#include <QWidget>

// The delay before a capture: a small count-down of the seconds left, following the pointer
// beside it, above every window and never taking the focus or the input. Escape cancels it,
// whichever window has the focus.
class CCountdown : public QWidget {
    Q_OBJECT

  public:
    CCountdown();
    ~CCountdown() override;

    // Counts `seconds` down; false when the user cancelled. When it returns the count-down has
    // left the screen and what lay under it has been redrawn.
    bool Run(int seconds);

    // The seconds shown now.
    int shown() const { return shown_; }

  signals:
    void tick(int secondsLeft);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void FollowPointer();
    void Cancel();

    int shown_ = 0;
    bool cancelled_ = false;
    class QEventLoop* loop_ = nullptr;
};
