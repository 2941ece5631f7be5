#include "platform/fixed_wait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

namespace platform {

namespace {
int g_holds = 0;  // waits under way that hold input back (they may nest)
}  // namespace

InputHold::InputHold() {
    ++g_holds;
}

InputHold::~InputHold() {
    if (--g_holds > 0 || !QCoreApplication::instance()) return;
    // Qt keeps the held input queued but looks at the queue again only when more input arrives:
    // the event loop hands it on as soon as it runs again, unless another wait holds it by then
    // (that one's end hands it on).
    QTimer::singleShot(0, QCoreApplication::instance(), [] {
        if (g_holds == 0) QCoreApplication::processEvents();
    });
}

void FixedWait(int milliseconds) {
    const InputHold hold;
    QElapsedTimer clock;
    clock.start();
    const auto flags = QEventLoop::ExcludeUserInputEvents;
    while (true) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(flags);
        const qint64 left = milliseconds - clock.elapsed();
        if (left <= 0) break;
        QThread::msleep(static_cast<unsigned long>(left < 5 ? left : 5));
    }
    QCoreApplication::processEvents(flags);
}

}  // namespace platform
