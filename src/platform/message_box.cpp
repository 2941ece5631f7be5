#include "platform/message_box.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace platform {

namespace {

MessageBoxRecorder& Recorder() {
    static MessageBoxRecorder recorder;
    return recorder;
}

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

int FromQtAnswer(int answer) {
    switch (answer) {
        case QMessageBox::Cancel:
            return kAnswerCancel;
        case QMessageBox::Yes:
            return kAnswerYes;
        case QMessageBox::No:
            return kAnswerNo;
        default:
            return kAnswerOk;
    }
}

}  // namespace

int ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                MessageButtons buttons) {
    if (Recorder()) return Recorder()(MessageBoxCall{text, caption, icon, buttons});
    if (const char* log = std::getenv("QUILLET_MESSAGE_LOG"); log && *log) {
        // Scripted runs (the tests of the whole program) read the messages from a file.
        if (std::FILE* file = std::fopen(log, "a")) {
            std::fprintf(file, "%s|%s\n", caption.c_str(), text.c_str());
            std::fclose(file);
        }
        return kAnswerOk;
    }
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        std::fprintf(stderr, "%s%s%s\n", caption.c_str(), caption.empty() ? "" : ": ",
                     text.c_str());
        return kAnswerOk;
    }
    QMessageBox box(ToQtIcon(icon), QString::fromStdString(caption), QString::fromStdString(text),
                    ToQtButtons(buttons));
    return FromQtAnswer(box.exec());
}

void SetMessageBoxRecorder(MessageBoxRecorder recorder) {
    Recorder() = std::move(recorder);
}

void Beep() {
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) QApplication::beep();
}

}  // namespace platform
