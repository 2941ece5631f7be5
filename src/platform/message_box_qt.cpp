// The message boxes of the desktop program: QMessageBox while a QApplication runs.
// Linked whole wherever the Qt platform layer is, so the presenter is in place before main().
#include "platform/message_box.h"

#include <QApplication>
#include <QMessageBox>

namespace platform {

namespace {

QMessageBox::Icon ToQtIcon(MessageIcon icon) {
    switch (icon) {
        case MessageIcon::Information:
            return QMessageBox::Information;
        case MessageIcon::Warning:
            return QMessageBox::Warning;
        case MessageIcon::Error:
            return QMessageBox::Critical;
        case MessageIcon::Question:
            return QMessageBox::Question;
        case MessageIcon::None:
            break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons ToQtButtons(MessageButtons buttons) {
    switch (buttons) {
        case MessageButtons::OkCancel:
            return QMessageBox::Ok | QMessageBox::Cancel;
        case MessageButtons::YesNo:
            return QMessageBox::Yes | QMessageBox::No;
        case MessageButtons::YesNoCancel:
            return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        case MessageButtons::Ok:
            break;
    }
    return QMessageBox::Ok;
}

// A box whose loop ended without a button (its window closed by other means, the loop ended
// from elsewhere) returns no button: it stays unanswered, never OK.
int FromQtAnswer(int answer) {
    switch (answer) {
        case QMessageBox::Ok:
            return kAnswerOk;
        case QMessageBox::Cancel:
            return kAnswerCancel;
        case QMessageBox::Yes:
            return kAnswerYes;
        case QMessageBox::No:
            return kAnswerNo;
        default:
            return kAnswerNone;
    }
}

bool HasApplication() {
    return qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
}

int ShowBox(const MessageBoxCall& call) {
    if (!HasApplication()) return 0;
    QMessageBox box(ToQtIcon(call.icon), QString::fromStdString(call.caption),
                    QString::fromStdString(call.text), ToQtButtons(call.buttons));
    return FromQtAnswer(box.exec());
}

void BeepIfRunning() {
    if (HasApplication()) QApplication::beep();
}

const bool installed = (SetMessagePresenter({ShowBox, BeepIfRunning}), true);

}  // namespace

}  // namespace platform
