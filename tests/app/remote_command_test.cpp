// Commands handed to the running program from a second process, as scripts and key bindings do.
#include "app/remote_command.h"
#include "editor/editor_fixture.h"
#include "support/program_run.h"
#include "support/x11_input.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace {

// A command-line call beside the instance, with the instance's environment.
struct Call {
    explicit Call(const TempFolder& home, const QStringList& arguments) : env(home) {
        process.setProcessEnvironment(env.process().processEnvironment());
        process.setWorkingDirectory(home.path());
        process.setProgram(QUILLET_BINARY);
        process.setArguments(arguments);
        process.start();
    }
    // The exit status, or -1 when the call did not end in time.
    int Finish(int timeoutMs = 20000) {
        testx11::PumpUntil([this] { return process.state() == QProcess::NotRunning; }, timeoutMs);
        if (process.state() != QProcess::NotRunning) return -1;
        output = QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
        errors = QString::fromLocal8Bit(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
    ProgramRun env;  // only lends its environment
    QProcess process;
    QString output, errors;
};

int RunCall(const TempFolder& home, const QStringList& arguments) {
    return Call(home, arguments).Finish();
}

int FullScreenWindows() {
    const QSize screen = testx11::GrabScreen().size();
    int count = 0;
    for (unsigned long window : testx11::FindViewableWindows("quillet"))
        if (testx11::WindowScreenRect(window).size() == screen) ++count;
    return count;
}

// A socket file with nobody listening, as a crashed instance leaves it.
bool LeaveStaleSocket(const QString& path) {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, QFile::encodeName(path).constData(),
                 sizeof address.sun_path - 1);
    const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return bound && QFile::exists(path);
}

// Visible windows titled `title`, as the window manager lists them.
int WindowsNamed(const QString& title) {
    QProcess search;
    search.start("xdotool", {"search", "--onlyvisible", "--name", '^' + title + '$'});
    search.waitForFinished(5000);
    return static_cast<int>(search.readAllStandardOutput().count('\n'));
}

void PressKeys(const QString& keys) {
    QProcess::execute("xdotool", {"key", keys});
}

TEST(RemoteCommand, WithoutAnInstanceTheCommandStartsOneAndQuitEndsIt) {
    TempFolder home;
    ASSERT_TRUE(QDir().mkpath(home.File(".runtime")));
    QFile::setPermissions(home.File(".runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_TRUE(LeaveStaleSocket(home.File(".runtime/Quillet.socket")));
    Call capture(home, {"--capture", "desktop", "--wait", "--folder", "own"});
    ASSERT_EQ(capture.Finish(40000), 0) << capture.errors.toStdString();
    EXPECT_EQ(capture.output, home.File("own/cache/IT-0.bmp"));
    const QImage captured(capture.output);
    const QImage screen = testx11::GrabScreen();
    ASSERT_EQ(captured.size(), screen.size());
    // The panel and the preview are back at the bottom since: the top is as captured.
    const QRect top(0, 0, screen.width(), screen.height() / 2);
    EXPECT_EQ(captured.copy(top).convertToFormat(QImage::Format_RGB32),
              screen.copy(top).convertToFormat(QImage::Format_RGB32));

    Call bad(home, {"--capture"});
    EXPECT_EQ(bad.Finish(), 2);
    EXPECT_TRUE(bad.errors.contains("--capture KIND")) << "the usage is printed";
    EXPECT_EQ(RunCall(home, {"--wait", "--show"}), 2);
    EXPECT_EQ(RunCall(home, {"--quit", "--unknown"}), 2);
    EXPECT_EQ(RunCall(home, {"--quit", "--open"}), 2);

    // A plain start is still refused while the instance runs (the bad calls left it alone).
    ProgramRun plain(home);
    EXPECT_NE(plain.RunToEnd(), 0);
    EXPECT_EQ(plain.Messages(), "Quillet|Application is already running.\n");

    EXPECT_EQ(RunCall(home, {"--quit"}), 0);
    EXPECT_TRUE(testx11::PumpUntil([&] { return !home.Exists(".runtime/Quillet.lock"); }, 10000));
    EXPECT_FALSE(home.Exists(".runtime/Quillet.socket"));
}

TEST(RemoteCommand, RectangleWaitsForTheDragOrTheCancelAndRefusesASecondCapture) {
    TempFolder home;
    ProgramRun instance(home);
    ASSERT_TRUE(instance.Start());

    Call drag(home, {"--capture", "rectangle", "--wait"});
    ASSERT_TRUE(testx11::PumpUntil([] { return FullScreenWindows() == 1; }, 10000));
    Call second(home, {"--capture", "desktop"});
    EXPECT_EQ(second.Finish(), 3);
    EXPECT_EQ(second.errors.count('\n'), 1) << second.errors.toStdString();
    EXPECT_EQ(FullScreenWindows(), 1) << "never a second overlay";

    testx11::MoveMouse({40, 50});
    testx11::ButtonDown();
    for (int step = 1; step <= 10; ++step) {
        testx11::MoveMouse({40 + step * 10, 50 + step * 8});
        testx11::Pump(30);
    }
    testx11::ButtonUp();
    ASSERT_EQ(drag.Finish(), 0) << drag.errors.toStdString();
    ASSERT_FALSE(drag.output.isEmpty());
    EXPECT_EQ(QImage(drag.output).size(), QSize(98, 78));

    Call cancelled(home, {"--capture", "rectangle", "--wait"});
    ASSERT_TRUE(testx11::PumpUntil([] { return FullScreenWindows() == 1; }, 10000));
    testx11::Click({200, 200}, 3);
    EXPECT_EQ(cancelled.Finish(), 1);
    EXPECT_TRUE(cancelled.output.isEmpty());

    EXPECT_EQ(RunCall(home, {"--quit"}), 0);
    EXPECT_EQ(instance.WaitForExit(), 0);
}

TEST(RemoteCommand, PropertiesOpenOnceAndQuitWritesTheHistoryAsExitDoes) {
    TempFolder home;
    EditorFixture::Gradient(20, 10)->Save(home.File("a.bmp").toLocal8Bit().constData(), 0);
    ProgramRun instance(home);
    ASSERT_TRUE(instance.Start());

    // A saved picture makes the session one the history keeps.
    ASSERT_EQ(RunCall(home, {"--open", "a.bmp"}), 0);
    const auto sessionList = [&home] {
        return QDir(home.File("bin")).entryList({"session*"}, QDir::Dirs).value(0) + "/SESSION.MRU";
    };
    // File > Save from the keyboard, once the editor has it.
    bool saved = false;
    for (int attempt = 0; attempt < 20 && !saved; ++attempt) {
        PressKeys("alt+f");
        testx11::Pump(200);
        PressKeys("s");
        saved = testx11::PumpUntil([&] { return home.Exists("bin/" + sessionList()); }, 500);
    }
    ASSERT_TRUE(saved);

    EXPECT_EQ(RunCall(home, {"--properties"}), 0);
    ASSERT_TRUE(testx11::PumpUntil([] { return WindowsNamed("Properties") == 1; }, 10000));
    EXPECT_EQ(RunCall(home, {"--properties"}), 0);
    EXPECT_FALSE(testx11::PumpUntil([] { return WindowsNamed("Properties") > 1; }, 1500))
        << "the open dialog is raised, not a second one stacked on it";

    EXPECT_EQ(RunCall(home, {"--quit"}), 0);
    EXPECT_EQ(instance.WaitForExit(), 0);
    const QString session = QFileInfo(home.File("bin/" + sessionList())).absolutePath();
    EXPECT_EQ(home.Read("SESSIONS.INI"), (session + "/\n").toLocal8Bit());
}

// The receiving side in this process, so that what a command did can be looked at directly.
struct LocalServerFixture : EditorFixture {
    void SetUp() override {
        EditorFixture::SetUp();
        ASSERT_TRUE(QDir().mkpath(home.File(".runtime")));
        QFile::setPermissions(home.File(".runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    std::unique_ptr<remote::CCommandServer> server;
};

TEST_F(LocalServerFixture, OpenOpensEachFileAsFileOpenWould) {
    server = std::make_unique<remote::CCommandServer>();
    ASSERT_TRUE(server->Listen(home.File(".runtime/Quillet.socket")));
    Gradient(20, 10)->Save(home.File("a.bmp").toLocal8Bit().constData(), 0);
    Gradient(8, 6)->Save(home.File("b.bmp").toLocal8Bit().constData(), 0);
    home.Write("broken.bmp", "BM not a picture");

    Call open(home, {"--open", "a.bmp", "b.bmp", "broken.bmp"});
    ASSERT_EQ(open.Finish(), 0) << open.errors.toStdString();
    ASSERT_TRUE(testx11::PumpUntil([this] { return messages.size() == 1; }));
    const std::vector<CLumoDoc*> documents = frame->docTemplate()->documents();
    ASSERT_EQ(documents.size(), 2u);
    EXPECT_EQ(documents[0]->image->GetWidth(), 20u);
    EXPECT_EQ(documents[1]->image->GetWidth(), 8u);
}

TEST_F(LocalServerFixture, APeerOfAnotherUserIsRefused) {
    // This process's commands count as another user's.
    server = std::make_unique<remote::CCommandServer>(getuid() + 1);
    ASSERT_TRUE(server->Listen(home.File(".runtime/Quillet.socket")));
    Call open(home, {"--open", "a.bmp"});
    EXPECT_EQ(open.Finish(), 1);
    EXPECT_TRUE(open.errors.contains("did not answer")) << open.errors.toStdString();
    testx11::Pump(100);
    EXPECT_TRUE(frame->docTemplate()->documents().empty());
    EXPECT_TRUE(messages.empty()) << "the file was never looked at";
}

}  // namespace
