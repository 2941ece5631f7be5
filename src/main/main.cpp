#include "app/quillet_app.h"
#include "app/remote_command.h"
#include "ids.h"
#include "platform/message_box.h"
#include "platform/termination_signals.h"
#include "platform/x11_display.h"
#include "capture/mw.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

constexpr const char* kUsage =
    "Usage: quillet [--folder DIR] [COMMAND]\n"
    "Screen capture and image workspace for the X11 desktop. Quillet keeps its settings,\n"
    "captures and sessions in its working folder (the folder it is started from).\n"
    "\n"
    "  --folder DIR  make DIR the working folder (created when missing)\n"
    "  --help        print this text and exit\n"
    "  --version     print the version and exit\n"
    "\n"
    "While Quillet runs: Print captures the desktop, Shift+Print a rectangle,\n"
    "Alt+Print the window picked with the pointer.\n"
    "\n";

struct StartOptions {
    bool help = false;
    bool version = false;
    std::string folder;  // empty: the folder the program was started from
    std::string error;   // a malformed command line
};

// Only the options are read; any other argument is left alone (no file named there is opened).
StartOptions ReadOptions(int argc, char** argv) {
    StartOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            options.help = true;
        } else if (argument == "--version") {
            options.version = true;
        } else if (argument == "--folder" || argument.starts_with("--folder=")) {
            if (argument == "--folder") {
                if (i + 1 >= argc) {
                    options.error = "--folder needs the folder to use";
                    continue;
                }
                options.folder = argv[++i];
            } else {
                options.folder = argument.substr(std::strlen("--folder="));
            }
            if (options.folder.empty()) options.error = "--folder needs the folder to use";
        }
    }
    return options;
}

// Makes the folder (created when missing) the working folder; an empty string on success.
std::string EnterFolder(const std::string& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (!error && !std::filesystem::is_directory(folder, error))
        error = std::make_error_code(std::errc::not_a_directory);
    if (!error) std::filesystem::current_path(folder, error);
    if (!error) return {};
    return "Quillet cannot use the folder \"" + folder + "\" for its files (" + error.message() +
           ").";
}

}  // namespace

int main(int argc, char** argv) {
    const StartOptions options = ReadOptions(argc, argv);
    // The commands for the running instance (an unknown option is caught there too).
    const remote::CommandLine commandLine = remote::ReadCommand(argc, argv);
    const std::string& error = options.error.empty() ? commandLine.error : options.error;
    if (!error.empty()) {
        std::fprintf(stderr, "quillet: %s\n%s%s", error.c_str(), kUsage, remote::kCommandUsage);
        return remote::kExitUsage;
    }
    if (options.help || options.version) {
        if (options.help) std::printf("%s%s", kUsage, remote::kCommandUsage);
        if (options.version) std::printf("Quillet %s\n", QUILLET_VERSION);
        return 0;
    }
    // Handed over to the running instance; nothing here needs the screen.
    if (!commandLine.command.verb.isEmpty())
        return remote::RunClient(commandLine.command, options.folder);

    // Quillet sees the screen and the pointer through X11; a Wayland session hides both.
    const char* sessionType = std::getenv("XDG_SESSION_TYPE");
    if (!platform::HasX11Session() || (sessionType && std::strcmp(sessionType, "wayland") == 0 &&
                                       !std::getenv("QUILLET_ALLOW_XWAYLAND"))) {
        std::fprintf(stderr,
                     "Quillet needs an X11 session (Xorg): it cannot see the screen or the pointer "
                     "without one.\n");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    CQuilletApp app(argc, argv);
    if (!options.folder.empty()) {
        const std::string failure = EnterFolder(options.folder);
        if (!failure.empty()) {
            platform::ShowMessage(failure, "Quillet", platform::MessageIcon::Error);
            return 1;
        }
    }
    if (!app.InitInstance()) return app.ExitInstance(1);
    platform::HandleTerminationSignals([&app] { app.coordinator()->onCommand(ids::kCmdExit); });
    return app.ExitInstance(app.exec());
}
