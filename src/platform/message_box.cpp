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

}  // namespace

int ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                MessageButtons buttons) {
    const MessageBoxCall call{text, caption, icon, buttons};
    if (Recorder()) return Recorder()(call);
    if (const char* log = std::getenv("QUILLET_MESSAGE_LOG"); log && *log) {
        // Scripted runs (the tests of the whole program) read the messages from a file.
        if (std::FILE* file = std::fopen(log, "a")) {
            std::fprintf(file, "%s|%s\n", caption.c_str(), text.c_str());
            std::fclose(file);
        }
        return kAnswerOk;
    }
    if (Presenter().show) {
        if (const int answer = Presenter().show(call)) return answer;
    }
    std::fprintf(stderr, "%s%s%s\n", caption.c_str(), caption.empty() ? "" : ": ", text.c_str());
    return kAnswerOk;
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
