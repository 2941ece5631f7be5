#include "platform/message_box.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace platform {

namespace {

MessageBoxRecorder& Recorder() {
    static MessageBoxRecorder recorder;
    return recorder;
}

MessagePresenter& Presenter() {
    static MessagePresenter presenter;
    return presenter;
}

// The answer as the recorder, the scripted log, the screen or stderr gives it.
int AskSomewhere(const MessageBoxCall& call) {
    if (Recorder()) return Recorder()(call);
    if (const char* log = std::getenv("QUILLET_MESSAGE_LOG"); log && *log) {
        // Scripted runs (the tests of the whole program) read the messages from a file.
        if (std::FILE* file = std::fopen(log, "a")) {
            std::fprintf(file, "%s|%s\n", call.caption.c_str(), call.text.c_str());
            std::fclose(file);
        }
        return kAnswerNone;
    }
    if (Presenter().show) {
        if (const int answer = Presenter().show(call)) return answer;
    }
    std::fprintf(stderr, "%s%s%s\n", call.caption.c_str(), call.caption.empty() ? "" : ": ",
                 call.text.c_str());
    return kAnswerNone;
}

}  // namespace

int ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                MessageButtons buttons) {
    const int answer = AskSomewhere({text, caption, icon, buttons});
    return IsAnswerOf(answer, buttons) ? answer : UnansweredAnswer(buttons);
}

int UnansweredAnswer(MessageButtons buttons) {
    switch (buttons) {
        case MessageButtons::OkCancel:
        case MessageButtons::YesNoCancel:
            return kAnswerCancel;
        case MessageButtons::YesNo:
            return kAnswerNo;
        case MessageButtons::Ok:
            break;
    }
    return kAnswerOk;
}

bool IsAnswerOf(int answer, MessageButtons buttons) {
    switch (buttons) {
        case MessageButtons::Ok:
            return answer == kAnswerOk;
        case MessageButtons::OkCancel:
            return answer == kAnswerOk || answer == kAnswerCancel;
        case MessageButtons::YesNo:
            return answer == kAnswerYes || answer == kAnswerNo;
        case MessageButtons::YesNoCancel:
            return answer == kAnswerYes || answer == kAnswerNo || answer == kAnswerCancel;
    }
    return false;
}

void SetMessageBoxRecorder(MessageBoxRecorder recorder) {
    Recorder() = std::move(recorder);
}

void SetMessagePresenter(MessagePresenter presenter) {
    Presenter() = std::move(presenter);
}

void Beep() {
    if (Presenter().beep) Presenter().beep();
}

}  // namespace platform
