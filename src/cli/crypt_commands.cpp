// quillet-tool encrypt / decrypt: the file encryption engine on the command line.
#include "cli/command_registry.h"

#include "tools/crypt/file_crypt.h"
#include "tools/crypt/wipe.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>

namespace {

constexpr const char* kPasswordUsage =
    "      The password is the first line of PATH (\"-\" reads it from standard input), or it is\n"
    "      asked for without echo when standard input is a terminal. --password P also works,\n"
    "      but other users can read P in the process list: keep it for throw-away passwords.";

// Reads one line without its line end; false at the end of the input before any character.
bool ReadLine(std::FILE* in, std::string& line) {
    line.clear();
    int c = 0;
    while ((c = std::fgetc(in)) != EOF && c != '\n') line.push_back(static_cast<char>(c));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return c != EOF || !line.empty();
}

bool ReadPasswordFile(const std::string& path, std::string& password) {
    std::FILE* in = path == "-" ? stdin : std::fopen(path.c_str(), "rb");
    if (!in) {
        std::fprintf(stderr, "cannot open the password file %s\n", path.c_str());
        return false;
    }
    ReadLine(in, password);  // an empty file gives an empty password, which the engine refuses
    if (in != stdin) std::fclose(in);
    return true;
}

// The terminal's settings while echo is off, put back however the prompt ends.
termios savedTerminal;
volatile sig_atomic_t echoOff = 0;

void RestoreEchoAndRaise(int signal) {
    if (echoOff) tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
    ::signal(signal, SIG_DFL);
    raise(signal);
}

// Echo goes off before the prompt shows, so that nothing typed after it is echoed or lost.
bool PromptWithoutEcho(const char* prompt, std::string& answer) {
    if (tcgetattr(STDIN_FILENO, &savedTerminal) != 0) return false;
    termios quiet = savedTerminal;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    const int signals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP};
    for (int s : signals) signal(s, RestoreEchoAndRaise);
    echoOff = 1;
    bool read = tcsetattr(STDIN_FILENO, TCSANOW, &quiet) == 0;
    if (read) {
        std::fprintf(stderr, "%s", prompt);
        std::fflush(stderr);
        read = ReadLine(stdin, answer);
    }
    tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
    echoOff = 0;
    for (int s : signals) signal(s, SIG_DFL);
    return read;
}

// Encryption asks twice, so that a mistyped password does not lock the data away.
bool PromptForPassword(bool decrypt, std::string& password) {
    if (!PromptWithoutEcho("Password: ", password)) return false;
    if (decrypt) return true;
    std::string again;
    const bool confirmed = PromptWithoutEcho("Password again: ", again) && again == password;
    filecrypt::Wipe(again);
    if (!confirmed) std::fprintf(stderr, "the passwords differ; nothing was written\n");
    return confirmed;
}

int Usage(bool decrypt) {
    std::fprintf(stderr, "usage: quillet-tool %s FILE [--password-file PATH | --password P]\n%s\n",
                 decrypt ? "decrypt" : "encrypt", kPasswordUsage);
    return 2;
}

// Writes "E_name" or "D_name" beside FILE and prints the engine's message.
int RunCrypt(cli::Arguments args, bool decrypt) {
    std::string password, passwordFile;
    const bool onCommandLine = std::find(args.begin(), args.end(), "--password") != args.end();
    const bool fromFile = std::find(args.begin(), args.end(), "--password-file") != args.end();
    const bool taken = cli::TakeStringOption(args, "--password", password) &&
                       cli::TakeStringOption(args, "--password-file", passwordFile);
    if (!taken || args.size() != 1 || (onCommandLine && fromFile)) return Usage(decrypt);
    const std::string input = args.front();

    if (fromFile && !ReadPasswordFile(passwordFile, password)) return 2;
    if (!onCommandLine && !fromFile) {
        if (!isatty(STDIN_FILENO)) {
            std::fprintf(stderr, "no password: give --password-file PATH, or run on a terminal\n");
            return 2;
        }
        if (!PromptForPassword(decrypt, password)) {
            filecrypt::Wipe(password);
            return 2;
        }
    }

    filecrypt::FileCrypt engine;
    engine.SetDecrypt(decrypt);
    engine.SetPassword(password);
    filecrypt::Wipe(password);
    try {
        std::printf("%s\n", engine.Run(input, filecrypt::OutputPathFor(input, decrypt)).c_str());
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}

const std::string kEncryptUsage = std::string(
                                      "encrypt FILE [--password-file PATH | --password P]\n"
                                      "      Writes E_FILE beside FILE.\n") +
                                  kPasswordUsage;
const std::string kDecryptUsage = std::string(
                                      "decrypt FILE [--password-file PATH | --password P]\n"
                                      "      Writes D_FILE beside FILE.\n") +
                                  kPasswordUsage;

const bool registered =
    cli::RegisterCommand({"encrypt", kEncryptUsage,
                          [](const cli::Arguments& args) { return RunCrypt(args, false); }}) &&
    cli::RegisterCommand({"decrypt", kDecryptUsage,
                          [](const cli::Arguments& args) { return RunCrypt(args, true); }});

}  // namespace
