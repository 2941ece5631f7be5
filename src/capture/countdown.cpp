#include "capture/countdown.h"

#include "platform/global_keys.h"
#include "platform/repaint_wait.h"
#include "platform/screen_grab.h"

#include <QCursor>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QPainter>
#include <QTimer>

#include <cmath>

namespace {

constexpr int kFollowMs = 30;
constexpr int kHideWaitMs = 500;
constexpr QPoint kBesidePointer{18, 20};  // below and right of the pointer's hot spot
constexpr QSize kSize{34, 26};
constexpr unsigned long kEscapeKeysym = 0xff1b;

}  // namespace

CCountdown::CCountdown()
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::X11BypassWindowManagerHint) {
    setObjectName("Quillet count-down");
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    resize(kSize);
}

CCountdown::~CCountdown() = default;

bool CCountdown::Run(int seconds) {
    cancelled_ = false;
    shown_ = seconds;
    platform::GlobalKeys escape;
    escape.Grab({{"Escape", kEscapeKeysym, platform::GlobalKeys::kNone, [this] { Cancel(); }}});

    QEventLoop loop;
    loop_ = &loop;
    QElapsedTimer clock;
    clock.start();
    QTimer follow;
    connect(&follow, &QTimer::timeout, this, [&] {
        const qint64 left = seconds * 1000LL - clock.elapsed();
        if (left <= 0) {
            loop.quit();
            return;
        }
        const int secondsLeft = static_cast<int>((left + 999) / 1000);
        if (secondsLeft != shown_) {
            shown_ = secondsLeft;
            update();
            emit tick(shown_);
        }
        FollowPointer();
    });
    FollowPointer();
    show();
    raise();
    emit tick(shown_);
    follow.start(kFollowMs);
    if (!cancelled_) loop.exec();
    follow.stop();
    loop_ = nullptr;
    escape.Release();

    // Gone from the screen before anything is grabbed.
    const QRect screen = platform::ScreenRect();
    platform::CRepaintWait gone(platform::OwnWindowsOn(screen), screen);
    hide();
    if (!gone.Empty()) gone.Wait(kHideWaitMs);
    return !cancelled_;
}

void CCountdown::Cancel() {
    cancelled_ = true;
    if (loop_) loop_->quit();
}

void CCountdown::FollowPointer() {
    const QPoint at = QCursor::pos() + kBesidePointer;
    if (pos() != at) move(at);
}

void CCountdown::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(40, 44, 52));
    painter.setPen(QColor(250, 250, 250));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
    QFont big = font();
    big.setBold(true);
    big.setPixelSize(16);
    painter.setFont(big);
    painter.drawText(rect(), Qt::AlignCenter, QString::number(shown_));
}

void CCountdown::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        Cancel();
        return;
    }
    QWidget::keyPressEvent(event);
}
