#pragma once

#include <functional>
#include <string>

namespace platform {

enum class MessageIcon { None, Information, Warning, Error, Question };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };

// Answers, numbered as the classic message-box results.
enum MessageAnswer { kAnswerOk = 1, kAnswerCancel = 2, kAnswerYes = 6, kAnswerNo = 7 };

struct MessageBoxCall {
    std::string text;
    std::string caption;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
};

// The one place where the program tells the user something in a message box.
// Without a running QApplication (quillet-tool) the text goes to stderr and the answer is OK.
int ShowMessage(const std::string& text, const std::string& caption,
                MessageIcon icon = MessageIcon::None, MessageButtons buttons = MessageButtons::Ok);

// With QUILLET_MESSAGE_LOG set to a file, each message is appended there as "caption|text"
// and answered OK (scripted runs of the whole program).
// Tests install a recorder that sees every call and gives the answer; an empty one removes it.
using MessageBoxRecorder = std::function<int(const MessageBoxCall&)>;
void SetMessageBoxRecorder(MessageBoxRecorder recorder);

// How the running program shows a box: `show` returns the answer, or 0 when it cannot show one
// (then the text goes to stderr). The Qt platform layer installs QMessageBox here; quillet-tool,
// which links no Qt, keeps stderr.
struct MessagePresenter {
    std::function<int(const MessageBoxCall&)> show;
    std::function<void()> beep;
};
void SetMessagePresenter(MessagePresenter presenter);

// The system's warning sound.
void Beep();

}  // namespace platform
