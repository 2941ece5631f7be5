#include "app/quillet_app.h"
#include "app/remote_command.h"
#include "platform/capture/capture_backend.h"
#include "platform/message_box.h"
#include "platform/termination_signals.h"
#include "platform/x11_display.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

constexpr const char* kUsage =
    "Usage: quillet [--folder DIR] [COMMAND]\n"
    "Screen capture and image workspace for the Linux desktop (X11 and Wayland). Quillet\n"
    "keeps its settings, captures and sessions in its working folder (the folder it is started\n"
    "from).\n"
    "\n"
    "  --folder DIR  make DIR the working folder (created when missing)\n"
    "  --help        print this text and exit\n"
    "  --version     print the version and exit\n"
    "\n"
    "While Quillet runs: Print captures the desktop, Shift+Print a rectangle,\n"
    "Alt+Print the window picked with the pointer.\n"
    "\n"
    "Commands to the running Quillet (it is started first when none runs):\n"
    "  --capture KIND  capture: desktop, rectangle, window, client, control, dropdown\n"
    "                  or page (a browser's whole page)\n"
    "  --wait          with --capture: wait for the capture and print its file's path\n"
    "  --delay N       with --capture: count N seconds (0 to 10) down first\n"
    "  --pointer       with --capture: include the mouse pointer\n"
    "  --open FILE...  open the files in the image editor\n"
    "  --show          show the panel\n"
    "  --properties    open the properties\n"
    "  --quit          end Quillet as EXIT does\n"
    "Exit status: 0 done, 1 cancelled or failed, 2 bad command line, 3 Quillet busy.\n";

struct StartOptions {
    bool help = false;
    bool version = false;
    std::string folder;       // empty: the folder the program was started from
    remote::Command command;  // for the running instance; no verb: a plain start
    std::string error;        // a malformed command line: the usage, and nothing is touched
};

// The path made absolute as bytes: a name that is not UTF-8 stays the name it is.
QByteArray AbsolutePath(const char* path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return QByteArray::fromStdString(
        (error ? std::filesystem::path(path) : absolute).lexically_normal().string());
}

// The one reader of the command line. Plain words open nothing, except the files after --open;
// after "--" every argument is a plain word.
StartOptions ReadOptions(int argc, char** argv) {
    StartOptions options;
    remote::Command& command = options.command;
    auto fail = [&options](const std::string& error) {
        if (options.error.empty()) options.error = error;
    };
    auto setVerb = [&](const char* verb) {
        if (!command.verb.isEmpty() && command.verb != verb) fail("give one command at a time");
        command.verb = verb;
    };
    bool openFiles = false;  // plain words after --open are its files
    bool wordsOnly = false;  // after "--"
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (wordsOnly || argument.size() < 2 || argument[0] != '-') {
            if (openFiles) command.files << AbsolutePath(argv[i]);
            continue;
        }
        // "--name=value" and "--name value" alike for the options that take a value.
        const std::size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        std::optional<std::string> value;
        if (equals != std::string::npos) value = argument.substr(equals + 1);
        const bool takesValue = name == "--folder" || name == "--capture" || name == "--delay";
        if (takesValue && !value) {
            if (i + 1 < argc) value = argv[++i];
        } else if (!takesValue && value) {
            fail(name + " takes no value");
            continue;
        }
        if (argument == "--") {
            wordsOnly = true;
        } else if (name == "--help" || name == "-h") {
            options.help = true;
        } else if (name == "--version") {
            options.version = true;
        } else if (name == "--folder") {
            if (!value || value->empty())
                fail("--folder needs the folder to use");
            else
                options.folder = *value;
        } else if (name == "--capture") {
            setVerb("capture");
            if (!value)
                fail("--capture needs a kind of capture");
            else if (!remote::IsCaptureKind(QString::fromLocal8Bit(*value)))
                fail("unknown kind of capture \"" + *value + "\"");
            else
                command.argument = QString::fromLocal8Bit(*value);
        } else if (name == "--open") {
            setVerb("open");
            openFiles = true;
        } else if (name == "--show") {
            setVerb("show");
        } else if (name == "--properties") {
            setVerb("properties");
        } else if (name == "--quit") {
            setVerb("quit");
        } else if (name == "--wait") {
            command.wait = true;
        } else if (name == "--delay") {
            bool number = false;
            const int seconds = value ? QString::fromLocal8Bit(*value).toInt(&number) : 0;
            if (!number || !remote::IsCaptureDelay(seconds))
                fail("--delay needs a number of seconds from 0 to 10");
            else
                command.delay = seconds;
        } else if (name == "--pointer") {
            command.pointer = true;
        } else {
            fail("unknown option " + argument);
        }
    }
    if (command.verb == "open" && command.files.isEmpty()) fail("--open needs a file");
    if (command.wait && command.verb != "capture") fail("--wait goes with --capture");
    if ((command.delay >= 0 || command.pointer) && command.verb != "capture")
        fail("--delay and --pointer go with --capture");
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
    if (!options.error.empty()) {
        std::fprintf(stderr, "quillet: %s\n%s", options.error.c_str(), kUsage);
        return remote::kExitUsage;
    }
    if (options.help || options.version) {
        if (options.help) std::printf("%s", kUsage);
        if (options.version) std::printf("Quillet %s\n", QUILLET_VERSION);
        return 0;
    }
    // Handed over to the running instance; nothing here needs the screen.
    if (!options.command.verb.isEmpty()) return remote::RunClient(options.command, options.folder);

    if (platform::capture::IsWaylandSession()) {
        // A Wayland session: Qt's own Wayland platform (an X11 client there sees neither the
        // screen nor the pointer); the screen comes through the compositor or the portal.
        std::string error;
        if (!platform::capture::CanReachWayland(error)) {
            std::fprintf(stderr, "Quillet cannot start in this Wayland session: %s.\n",
                         error.c_str());
            return 1;
        }
        if (!qEnvironmentVariable("QT_QPA_PLATFORM").startsWith("wayland"))
            qputenv("QT_QPA_PLATFORM", "wayland");
    } else {
        // Quillet sees the screen and the pointer through X11.
        if (!platform::HasX11Session()) {
            std::fprintf(stderr,
                         "Quillet needs an X11 (Xorg) or a Wayland session: it cannot see the "
                         "screen or the pointer without one.\n");
            return 1;
        }
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    CQuilletApp app(argc, argv);
    if (!options.folder.empty()) {
        const std::string failure = EnterFolder(options.folder);
        if (!failure.empty()) {
            platform::ShowMessage(failure, "Quillet", platform::MessageIcon::Error);
            return 1;
        }
    }
    if (!app.InitInstance()) return app.ExitInstance(app.handedToRunningInstance ? 0 : 1);
    platform::HandleTerminationSignals([&app] { app.Shutdown(); });
    return app.ExitInstance(app.exec());
}
