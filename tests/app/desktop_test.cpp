// Starting the program the way a desktop does: options, its own folder, installed files.
#include "support/program_run.h"
#include "support/x11_input.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/keysym.h>

namespace {

constexpr int kMenuExit = 2;

bool FolderIsEmpty(const QString& path) {
    return QDir(path).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
}

// Neither needs a display, and neither may write a settings file.
TEST(Desktop, HelpAndVersionPrintAndTouchNothing) {
    TempFolder home;
    for (const char* option : {"--help", "--version"}) {
        QProcess run;
        run.setWorkingDirectory(home.path());
        auto env = QProcessEnvironment::systemEnvironment();
        env.remove("DISPLAY");
        env.insert("XDG_CONFIG_HOME", home.File(".config"));
        run.setProcessEnvironment(env);
        run.start(QUILLET_BINARY, {option, "--folder", home.File("made")});
        ASSERT_TRUE(run.waitForFinished(10000)) << option;
        EXPECT_EQ(run.exitCode(), 0) << option;
        const QString out = QString::fromUtf8(run.readAllStandardOutput());
        EXPECT_TRUE(out.contains(option == QString("--help") ? "--folder DIR" : "Quillet 2.0"))
            << out.toStdString();
        EXPECT_TRUE(FolderIsEmpty(home.path())) << option;
    }
}

TEST(Desktop, FolderOptionKeepsEveryFileInThatFolder) {
    TempFolder home;
    ProgramRun run(home);
    ASSERT_TRUE(run.Start({"--folder", "own/quillet"}));
    EXPECT_TRUE(home.Exists("own/quillet/quillet.ini"));
    EXPECT_TRUE(QDir(home.File("own/quillet/bin/thumbnails")).exists());
    run.ChooseTrayMenuItem(kMenuExit);
    EXPECT_EQ(run.WaitForExit(), 0);
    for (const char* stray : {"quillet.ini", "bin", "cache"}) EXPECT_FALSE(home.Exists(stray));

    // A file where the folder should be is reported, and nothing is written.
    home.Write("taken", "x");
    ProgramRun refused(home);
    refused.process().setArguments({"--folder=taken"});
    EXPECT_EQ(refused.RunToEnd(), 1);
    EXPECT_TRUE(refused.Messages().startsWith("Quillet|Quillet cannot use the folder \"taken\""))
        << refused.Messages().toStdString();
    EXPECT_FALSE(home.Exists("quillet.ini"));
}

// What a desktop menu shows and starts: the installed tree, its entry, and the program run by
// the entry's command line, with its files in its own data folder.
TEST(Desktop, InstalledTreeStartsInItsOwnFolder) {
    TempFolder home;
    const QString root = home.File("root");
    const QString prefix = root + QUILLET_INSTALL_PREFIX;
    QProcess install;
    auto env = QProcessEnvironment::systemEnvironment();
    env.insert("DESTDIR", root);
    install.setProcessEnvironment(env);
    install.start(QUILLET_CMAKE, {"--install", QUILLET_BUILD_DIR});
    ASSERT_TRUE(install.waitForFinished(60000));
    ASSERT_EQ(install.exitCode(), 0) << install.readAllStandardError().toStdString();

    const QString bin = prefix + "/" QUILLET_INSTALL_BINDIR "/";
    const QString data = prefix + "/" QUILLET_INSTALL_DATADIR "/";
    QStringList expected = {bin + "quillet",
                            bin + "quillet-tool",
                            prefix + "/" QUILLET_INSTALL_LIBDIR "/libQuilletHook.so",
                            prefix + "/" QUILLET_INSTALL_LIBDIR "/quillet/quillet-tool-tiff.so",
                            prefix + "/" QUILLET_INSTALL_LIBDIR "/quillet/quillet-tool-capture.so",
                            prefix + "/" QUILLET_INSTALL_MANDIR "/man1/quillet-tool.1",
                            data + "applications/quillet.desktop",
                            data + "icons/hicolor/scalable/apps/quillet.svg"};
    for (const char* size : {"16", "32", "48", "64", "128", "256"})
        expected << data + "icons/hicolor/" + size + "x" + size + "/apps/quillet.png";
    for (const QString& file : expected) EXPECT_TRUE(QFile::exists(file)) << file.toStdString();

    const QString entry = data + "applications/quillet.desktop";
    QProcess validate;
    validate.start("desktop-file-validate", {entry});
    ASSERT_TRUE(validate.waitForFinished(10000)) << "desktop-file-validate (scripts/bootstrap)";
    EXPECT_EQ(validate.exitCode(), 0) << validate.readAllStandardOutput().toStdString();

    // The entry's command line without its key-file escapes is a valid shell command line.
    QFile entryFile(entry);
    ASSERT_TRUE(entryFile.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(entryFile.readAll());
    const auto exec =
        QRegularExpression("^Exec=(.*)$", QRegularExpression::MultilineOption).match(text);
    ASSERT_TRUE(exec.hasMatch());
    QString command = exec.captured(1).replace("\\\\", "\\");
    command.replace(QUILLET_INSTALL_PREFIX "/" QUILLET_INSTALL_BINDIR "/quillet", bin + "quillet");

    ProgramRun run(home);
    auto runEnv = run.process().processEnvironment();
    runEnv.insert("XDG_DATA_HOME", home.File("data"));
    runEnv.remove("LD_LIBRARY_PATH");
    run.process().setProcessEnvironment(runEnv);
    run.process().setProgram("/bin/sh");
    // exec: the program is the process the test started, as a menu's launcher would have it.
    ASSERT_TRUE(run.Start({"-c", "exec " + command})) << command.toStdString();
    EXPECT_TRUE(home.Exists("data/quillet/quillet.ini"));
    EXPECT_FALSE(home.Exists("quillet.ini"));

    // Launchers offer the entry's actions; "Capture Desktop" reaches the running instance.
    EXPECT_TRUE(text.contains("Actions=capture-desktop;capture-rectangle;show-panel;"));
    const auto action = QRegularExpression(
                            "\\[Desktop Action capture-desktop\\]\nName=Capture "
                            "Desktop\nExec=(.*)$",
                            QRegularExpression::MultilineOption)
                            .match(text);
    ASSERT_TRUE(action.hasMatch());
    QString actionCommand = action.captured(1).replace("\\\\", "\\");
    actionCommand.replace(QUILLET_INSTALL_PREFIX "/" QUILLET_INSTALL_BINDIR "/quillet",
                          bin + "quillet");
    QProcess capture;
    capture.setProcessEnvironment(runEnv);
    capture.setWorkingDirectory(home.path());
    capture.start("/bin/sh", {"-c", "exec " + actionCommand});
    ASSERT_TRUE(testx11::PumpUntil([&] { return capture.state() == QProcess::NotRunning; }, 20000));
    EXPECT_EQ(capture.exitCode(), 0) << actionCommand.toStdString();
    EXPECT_TRUE(
        testx11::PumpUntil([&] { return home.Exists("data/quillet/cache/IT-0.bmp"); }, 10000));
    run.ChooseTrayMenuItem(kMenuExit);
    EXPECT_EQ(run.WaitForExit(), 0);
}

int CapturesIn(const QString& folder) {
    return QDir(folder).entryList({"IT-*.bmp"}, QDir::Files).size();
}

// Print captures the desktop with or without Num Lock; a key another client holds (here
// Alt+Print) is named once and left alone.
TEST(Desktop, PrintKeyCapturesAndAHeldKeyIsLeftToItsHolder) {
    Display* other = XOpenDisplay(nullptr);
    ASSERT_NE(other, nullptr);
    const KeyCode print = XKeysymToKeycode(other, XK_Print);
    XGrabKey(other, print, Mod1Mask, DefaultRootWindow(other), True, GrabModeAsync, GrabModeAsync);
    XSync(other, False);

    TempFolder home;
    ProgramRun run(home);
    ASSERT_TRUE(run.Start());
    // The keys are taken just after the tray icon shows.
    testx11::PumpUntil([&] { return !run.Messages().isEmpty(); });
    EXPECT_EQ(run.Messages(),
              "Quillet|Another program already uses Alt+Print, so Quillet goes on without that "
              "key.\n");

    testx11::TapKey("Print");
    EXPECT_TRUE(testx11::PumpUntil([&] { return CapturesIn(home.File("cache")) == 1; }, 10000));
    testx11::TapKey("Num_Lock");
    testx11::TapKey("Print");
    testx11::TapKey("Num_Lock");
    EXPECT_TRUE(testx11::PumpUntil([&] { return CapturesIn(home.File("cache")) == 2; }, 10000))
        << "with Num Lock on";

    run.ChooseTrayMenuItem(kMenuExit);
    EXPECT_EQ(run.WaitForExit(), 0);

    // The same key still held at the next start is not announced again.
    ProgramRun again(home);
    ASSERT_TRUE(again.Start());
    testx11::Pump(1500);
    EXPECT_EQ(again.Messages().count('\n'), 1) << again.Messages().toStdString();
    again.process().terminate();
    EXPECT_EQ(again.WaitForExit(), 0);
    XCloseDisplay(other);
}

// A key pressed while the picking balloon waits (here opened from the tray's WINDOWCLIENT) is
// not acted on: no second balloon, no capture of the balloon.
TEST(Desktop, CaptureKeysWaitWhileThePickingBalloonIsUp) {
    TempFolder home;
    ProgramRun run(home);
    ASSERT_TRUE(run.Start());
    const auto windows = [] { return testx11::FindViewableWindows("quillet").size(); };
    const std::size_t before = windows();
    run.ChooseTrayMenuItem({"Down", "Down", "Down", "Down", "Right", "Down", "Return"});
    ASSERT_TRUE(testx11::PumpUntil([&] { return windows() == before + 1; }, 10000))
        << "the balloon";

    testx11::TapKey("Print");
    testx11::TapKeys({"Alt_L", "Print"});
    EXPECT_FALSE(testx11::PumpUntil(
        [&] { return windows() > before + 1 || CapturesIn(home.File("cache")) > 0; }, 1500));
    testx11::TapKey("Escape");
    EXPECT_TRUE(testx11::PumpUntil([&] { return windows() == before; }, 10000))
        << "one Escape ends the only balloon";
    EXPECT_EQ(CapturesIn(home.File("cache")), 0);
    run.process().terminate();  // ends as EXIT does
    EXPECT_EQ(run.WaitForExit(), 0);
}

}  // namespace
