// Commands handed to the running program from a second process, as scripts and key bindings do.
#include "support/program_run.h"
#include "support/x11_input.h"

#include <QFile>
#include <QImage>
#include <QProcess>

#include <gtest/gtest.h>

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

TEST(RemoteCommand, WithoutAnInstanceTheCommandStartsOneAndQuitEndsIt) {
    TempFolder home;
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
    EXPECT_EQ(RunCall(home, {"--unknown"}), 2);

    // A plain start is still refused while the instance runs.
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

}  // namespace
