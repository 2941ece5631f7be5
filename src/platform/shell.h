#pragma once

#include <functional>
#include <string>
#include <vector>

namespace platform {

// One request to the desktop: open a document with its usual program, or start a program.
struct ShellCall {
    enum class Kind { Open, Start };
    Kind kind = Kind::Open;
    std::string target;  // the document, or the program
    std::vector<std::string> arguments;
};

// Opens a file with the desktop's program for it (a page in the browser). False when nothing
// could be started.
bool OpenWithShell(const std::string& path);
// Starts a program with its arguments, without a shell in between, and does not wait for it.
bool StartProgram(const std::string& program, const std::vector<std::string>& arguments);

// Tests record the calls instead of starting anything: the recorder's answer is the result.
// An empty recorder removes it.
using ShellRecorder = std::function<bool(const ShellCall&)>;
void SetShellRecorder(ShellRecorder recorder);

// The mail composer: QUILLET_MAIL_COMMAND when set, otherwise xdg-email. Empty when it cannot be
// found.
std::string MailProgram();
// Asks the mail composer for a message with the file attached.
bool ComposeMail(const std::string& subject, const std::string& attachment);

}  // namespace platform
