#pragma once

#include <functional>
#include <string>

namespace platform {

enum class MessageIcon { None, Information, Warning, Error, Question };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };

// Answers, numbered as the classic message-box results; kAnswerNone: the box ended without one.
enum MessageAnswer {
    kAnswerNone = -1,
    kAnswerOk = 1,
    kAnswerCancel = 2,
    kAnswerYes = 6,
    kAnswerNo = 7
};

struct MessageBoxCall {
    std::string text;
    std::string caption;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
};

// The one place where the program tells the user something in a message box. The answer is
// always one of the box's own buttons: a box that ends without one (closed, or its loop ended
// from elsewhere) gives UnansweredAnswer. Without a running QApplication (quillet-tool) the text
// goes to stderr and the box counts as unanswered.
int ShowMessage(const std::string& text, const std::string& caption,
                MessageIcon icon = MessageIcon::None, MessageButtons buttons = MessageButtons::Ok);

// The answer of a box that closed without one: the choice that changes nothing. Cancel where the
// box offers it, No on a Yes/No question, OK on a notice. Nothing is ever saved or replaced
// without an explicit Yes or OK.
int UnansweredAnswer(MessageButtons buttons);
// Whether `answer` is one of the buttons the box shows.
bool IsAnswerOf(int answer, MessageButtons buttons);

// With QUILLET_MESSAGE_LOG set to a file, each message is appended there as "caption|text"
// and left unanswered (scripted runs of the whole program).
// Tests install a recorder that sees every call and gives the answer; an empty one removes it.
using MessageBoxRecorder = std::function<int(const MessageBoxCall&)>;
void SetMessageBoxRecorder(MessageBoxRecorder recorder);

// How the running program shows a box: `show` returns the answer (any value that is not one of
// the box's buttons counts as unanswered), or 0 when it cannot show one (then the text goes to
// stderr). The Qt platform layer installs QMessageBox here; quillet-tool,
// which links no Qt, keeps stderr.
struct MessagePresenter {
    std::function<int(const MessageBoxCall&)> show;
    std::function<void()> beep;
};
void SetMessagePresenter(MessagePresenter presenter);

// The system's warning sound.
void Beep();

}  // namespace platform
