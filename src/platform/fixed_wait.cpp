#include "platform/fixed_wait.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QThread>

namespace platform {

void FixedWait(int milliseconds) {
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
