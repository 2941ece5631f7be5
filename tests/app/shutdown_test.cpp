// The program ends only through its shut-down, and never saves a picture without a Yes: the real
// program as a process, answering its real message boxes with the keyboard.
#include "editor/editor_fixture.h"
#include "platform/dialog_units.h"
#include "support/program_run.h"
#include "support/x11_input.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

QString Xdotool(const QStringList& arguments) {
    QProcess tool;
    tool.start("xdotool", arguments);
    tool.waitForFinished(5000);
    return QString::fromLatin1(tool.readAllStandardOutput());
}

// The program's visible windows titled `title` of a window type (its dialogs and message boxes
// by default).
std::vector<unsigned long> WindowsTitled(ProgramRun& run, const QString& title,
                                         const QString& type = "DIALOG") {
    std::vector<unsigned long> found;
    const QString pid = QString::number(run.process().processId());
    const QString output =
        Xdotool({"search", "--onlyvisible", "--pid", pid, "--name", '^' + title + '$'});
    for (const QString& id : output.split('\n', Qt::SkipEmptyParts)) {
        const unsigned long window = id.toULong();
        // The first standard type is the window's own; the others are fallbacks.
        const QStringList types =
            testx11::NetWmWindowType(window).filter(QRegularExpression("^_NET_WM_WINDOW_TYPE_"));
        if (types.value(0) == "_NET_WM_WINDOW_TYPE_" + type) found.push_back(window);
    }
    return found;
}

// Waits for the program's one dialog titled `title` and presses the keys on it.
bool Answer(ProgramRun& run, const QString& title, const QStringList& keys) {
    unsigned long box = 0;
    testx11::PumpUntil(
        [&] {
            const auto boxes = WindowsTitled(run, title);
            box = boxes.size() == 1 ? boxes.front() : 0;
            return box != 0;
        },
        15000);
    if (!box) return false;
    Xdotool({"windowactivate", "--sync", QString::number(box)});
    testx11::Pump(200);
    testx11::TapKeys(keys);
    return testx11::PumpUntil([&] { return !testx11::IsMapped(box); }, 5000);
}

// The program ran on after the box closed (a closing box once ended it).
bool StillRunningAfterAWhile(ProgramRun& run) {
    testx11::Pump(1500);
    return run.Running();
}

// A command-line call to the running program; its exit status, or -1.
int RunCall(const TempFolder& home, ProgramRun& run, const QStringList& arguments,
            int timeoutMs = 20000) {
    QProcess call;
    call.setProcessEnvironment(run.process().processEnvironment());
    call.setWorkingDirectory(home.path());
    call.start(QUILLET_BINARY, arguments);
    testx11::PumpUntil([&] { return call.state() == QProcess::NotRunning; }, timeoutMs);
    return call.state() == QProcess::NotRunning && call.exitStatus() == QProcess::NormalExit
               ? call.exitCode()
               : -1;
}

// Clicks the panel at a point given in its dialog units.
void ClickPanel(ProgramRun& run, QPoint units) {
    for (unsigned long window : run.Windows()) {
        const QRect rect = testx11::WindowScreenRect(window);
        if (rect.size() != QSize(248, 170)) continue;
        testx11::Click(rect.topLeft() +
                       platform::SkinUnitsToPixels(QRect(units, QSize(1, 1))).topLeft() +
                       QPoint(3, 3));
        return;
    }
    ADD_FAILURE() << "no panel on the screen";
}

struct Shutdown : ::testing::Test {
    void SetUp() override {
        run.AnswerMessagesOnScreen();
        ASSERT_TRUE(run.Start());
    }
    // A picture opened in the editor and mirrored there, not saved.
    void ModifyAPicture() {
        EditorFixture::Gradient(20, 10)->Save(home.File("a.bmp").toLocal8Bit().constData(), 0);
        original = home.Read("a.bmp");
        ASSERT_EQ(RunCall(home, run, {"--open", "a.bmp"}), 0);
        // Image > Mirror from the keyboard, once the editor has the picture and the focus.
        const auto editor = [this] { return WindowsTitled(run, "Quillet", "NORMAL"); };
        ASSERT_TRUE(testx11::PumpUntil([&] { return !editor().empty(); }, 10000));
        testx11::Pump(500);
        testx11::Click(testx11::WindowScreenRect(editor().front()).center());
        testx11::Pump(300);
        testx11::TapKeys({"Alt_L", "i"});
        testx11::Pump(300);
        for (const char* key : {"Down", "Down", "Down", "Down", "Return"}) {
            testx11::TapKey(key);
            testx11::Pump(60);
        }
        testx11::Pump(500);
    }
    TempFolder home;
    ProgramRun run{home};
    QByteArray original;
};

TEST_F(Shutdown, ClosingThePropertiesWithTheEditorHiddenKeepsTheProgram) {
    ASSERT_EQ(RunCall(home, run, {"--properties"}), 0);
    ASSERT_TRUE(Answer(run, "Properties", {"Escape"}));
    EXPECT_TRUE(StillRunningAfterAWhile(run));
    EXPECT_EQ(RunCall(home, run, {"--quit"}), 0);
    EXPECT_EQ(run.WaitForExit(), 0);
}

TEST_F(Shutdown, ATestPickKeepsTheProgramAndItsClientCapture) {
    QWidget target;
    target.setWindowTitle("pick me");
    target.setGeometry(100, 120, 300, 200);
    target.show();
    ASSERT_TRUE(testx11::PumpUntil([&] { return target.isVisible(); }));
    testx11::Pump(500);

    // The panel's Window menu, its last item: Test.
    ClickPanel(run, {85, 50});
    testx11::Pump(800);
    for (const char* key : {"Down", "Down", "Down", "Down", "Down", "Down", "Return"}) {
        testx11::TapKey(key);
        testx11::Pump(60);
    }
    testx11::Pump(1500);  // the balloon takes the pointer
    testx11::Click(target.mapToGlobal(target.rect().center()));
    ASSERT_TRUE(Answer(run, "Quillet", {"Return"})) << "HWND";
    ASSERT_TRUE(Answer(run, "Quillet", {"Return"})) << "0";
    EXPECT_TRUE(testx11::PumpUntil([&] { return home.Exists("cache/IT-0.bmp"); }, 10000));
    EXPECT_TRUE(StillRunningAfterAWhile(run));
}

TEST_F(Shutdown, OkOnTheFullTableBoxKeepsTheProgramWithItsCaptures) {
    for (int i = 0; i < 99; ++i)
        ASSERT_EQ(RunCall(home, run, {"--capture", "desktop", "--wait"}), 0);
    // The hundredth capture pushes the oldest out of the table and says so.
    QProcess hundredth;
    hundredth.setProcessEnvironment(run.process().processEnvironment());
    hundredth.setWorkingDirectory(home.path());
    hundredth.start(QUILLET_BINARY, {"--capture", "desktop"});
    ASSERT_TRUE(Answer(run, "Quillet", {"Return"}));
    hundredth.waitForFinished(5000);
    EXPECT_TRUE(StillRunningAfterAWhile(run));
    EXPECT_TRUE(home.Exists("cache/IT-99.bmp"));
    EXPECT_EQ(RunCall(home, run, {"--quit"}), 0);
    EXPECT_EQ(run.WaitForExit(), 0);
}

TEST_F(Shutdown, ThePanelsExitAsksAndCancelKeepsTheProgram) {
    ModifyAPicture();
    ClickPanel(run, {151, 87});
    ASSERT_TRUE(Answer(run, "Quillet", {"Escape"}));
    EXPECT_TRUE(StillRunningAfterAWhile(run));
    EXPECT_EQ(home.Read("a.bmp"), original);
}

// A second exit request while the question is up only brings it forward; No then saves nothing.
TEST_F(Shutdown, ASecondQuitDuringTheQuestionThenNoLeavesTheFile) {
    ModifyAPicture();
    ASSERT_EQ(RunCall(home, run, {"--quit"}), 0);
    ASSERT_TRUE(
        testx11::PumpUntil([&] { return WindowsTitled(run, "Quillet").size() == 1; }, 10000));
    ASSERT_EQ(RunCall(home, run, {"--quit"}), 0);
    EXPECT_FALSE(
        testx11::PumpUntil([&] { return WindowsTitled(run, "Quillet").size() != 1; }, 1500))
        << "one question, never a second stacked on it";
    ASSERT_TRUE(Answer(run, "Quillet", {"Alt_L", "n"}));
    EXPECT_EQ(run.WaitForExit(), 0);
    EXPECT_EQ(home.Read("a.bmp"), original);
}

TEST_F(Shutdown, SigtermDuringTheQuestionThenNoLeavesTheFile) {
    ModifyAPicture();
    ASSERT_EQ(RunCall(home, run, {"--quit"}), 0);
    ASSERT_TRUE(
        testx11::PumpUntil([&] { return WindowsTitled(run, "Quillet").size() == 1; }, 10000));
    run.process().terminate();
    testx11::Pump(1000);
    ASSERT_TRUE(Answer(run, "Quillet", {"Alt_L", "n"}));
    EXPECT_EQ(run.WaitForExit(), 0);
    EXPECT_EQ(home.Read("a.bmp"), original);
}

}  // namespace
