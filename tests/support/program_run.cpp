#include "support/program_run.h"

#include "support/x11_input.h"

#include <QDir>
#include <QProcessEnvironment>

ProgramRun::ProgramRun(const TempFolder& home) : home_(home) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString runtime = home.File(".runtime");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    env.insert("XDG_RUNTIME_DIR", runtime);
    env.insert("XDG_CONFIG_HOME", home.File(".config"));
    env.insert("QUILLET_MESSAGE_LOG", home.File(".messages"));
    process_.setProcessEnvironment(env);
    process_.setWorkingDirectory(home.path());
    process_.setProgram(QUILLET_BINARY);
    process_.setProcessChannelMode(QProcess::ForwardedChannels);
}

ProgramRun::~ProgramRun() {
    if (Running()) {
        process_.terminate();
        if (!process_.waitForFinished(5000)) process_.kill();
        process_.waitForFinished(2000);
    }
}

void ProgramRun::AnswerMessagesOnScreen() {
    QProcessEnvironment env = process_.processEnvironment();
    env.remove("QUILLET_MESSAGE_LOG");
    process_.setProcessEnvironment(env);
}

bool ProgramRun::Start(const QStringList& arguments) {
    process_.setArguments(arguments);
    process_.start();
    if (!process_.waitForStarted(5000)) return false;
    return testx11::PumpUntil([this] { return TrayIconWindow() != 0 || !Running(); }, 15000) &&
           Running();
}

int ProgramRun::RunToEnd(int timeoutMs) {
    process_.start();
    if (!process_.waitForStarted(5000)) return -1;
    return WaitForExit(timeoutMs);
}

int ProgramRun::WaitForExit(int timeoutMs) {
    // The process may have ended already while the test pumped events.
    if (Running() && !process_.waitForFinished(timeoutMs)) return -1;
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

QString ProgramRun::Messages() const {
    return QString::fromUtf8(home_.Read(".messages"));
}

std::vector<unsigned long> ProgramRun::Windows() const {
    return testx11::FindViewableWindows("quillet", static_cast<long>(process_.processId()));
}

unsigned long ProgramRun::TrayIconWindow() const {
    // The tray icon is the program's only viewable window right after start-up.
    for (unsigned long window : Windows()) {
        const QRect rect = testx11::WindowScreenRect(window);
        if (rect.width() <= 64 && rect.height() <= 64) return window;
    }
    return 0;
}

void ProgramRun::ChooseTrayMenuItem(int downPresses) {
    QStringList keys;
    for (int i = 0; i < downPresses; ++i) keys << "Down";
    ChooseTrayMenuItem(keys << "Return");
}

void ProgramRun::ChooseTrayMenuItem(const QStringList& keys) {
    // The program may still be busy (a capture holds input back until the panel is back), so the
    // keys wait for the menu's window, the one the window manager does not frame: pressed earlier
    // they would go to whatever has the focus.
    const unsigned long trayIcon = TrayIconWindow();
    const auto menuShown = [trayIcon] {
        for (unsigned long window : testx11::FindViewableWindows("quillet")) {
            if (window != trayIcon && testx11::IsOverrideRedirect(window) &&
                !testx11::NetWmWindowType(window).contains("_NET_WM_WINDOW_TYPE_TOOLTIP"))
                return true;
        }
        return false;
    };
    const QRect icon = testx11::WindowScreenRect(trayIcon);
    testx11::Click(icon.center(), 3);
    testx11::PumpUntil(menuShown, 10000);
    testx11::Pump(150);  // the menu takes the keyboard as it maps
    for (const QString& key : keys) {
        testx11::TapKey(key.toLatin1().constData());
        testx11::Pump(60);
    }
    testx11::Pump(140);
}
