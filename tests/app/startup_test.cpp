// The real program, started as a process in a fresh working folder.
#include "app/quillet_app.h"
#include "support/program_run.h"
#include "support/x11_input.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QThread>

#include <gtest/gtest.h>

#include <cstring>

namespace {

constexpr int kMenuExit = 2;  // START, EXIT, ...

QByteArray ExpectedFirstRecord(const QString& home) {
    QByteArray bytes(616, '\0');
    bytes[0] = 1;
    std::memcpy(bytes.data() + 4, ".bmp", 4);
    bytes[32] = 0x3C;
    bytes[36] = 0x50;
    bytes[40] = 1;
    bytes[44] = 1;
    const QByteArray session = (home + "/bin/session0/").toLocal8Bit();
    std::memcpy(bytes.data() + 48, session.constData(), session.size());
    std::memcpy(bytes.data() + 568, "IMG", 3);
    return bytes;
}

int StoredSession(const TempFolder& home) {
    const QByteArray bytes = home.Read("quillet.ini");
    return bytes.size() == 616 ? *reinterpret_cast<const qint32*>(bytes.constData() + 604) : -1;
}

void StartAndEndByTrayExit(const TempFolder& home) {
    ProgramRun run(home);
    ASSERT_TRUE(run.Start());
    run.ChooseTrayMenuItem(kMenuExit);
    ASSERT_EQ(run.WaitForExit(), 0);
}

TEST(Startup, FirstStartWritesDefaultsAndFoldersButNoSessionFolder) {
    TempFolder home;
    ProgramRun run(home);
    ASSERT_TRUE(run.Start({"picture.bmp"}));  // a file named on the command line is not opened

    EXPECT_EQ(home.Read("quillet.ini"), ExpectedFirstRecord(home.path()));
    for (const char* folder : {"cache", "bin", "bin/thumbnails", "cache/thumbnails"}) {
        EXPECT_TRUE(QDir(home.File(folder)).exists()) << folder;
    }
    EXPECT_FALSE(home.Exists("bin/session0"));
    EXPECT_TRUE(run.Messages().isEmpty()) << run.Messages().toStdString();
    for (unsigned long window : run.Windows()) {
        const QSize size = testx11::WindowScreenRect(window).size();
        EXPECT_TRUE(size.width() <= 248 && size.height() <= 170)
            << "only the tray icon and the panel show, no document window";
    }

    QSettings profile(home.File(".config/Norvane Software/Quillet.conf"), QSettings::IniFormat);
    EXPECT_EQ(profile.value("Quillet/CACHEXT").toString(), ".bmp");
    EXPECT_EQ(profile.value("Quillet/HTMLIMGEXT").toString(), ".jpg");

    run.ChooseTrayMenuItem(kMenuExit);
    EXPECT_EQ(run.WaitForExit(), 0);
    EXPECT_FALSE(home.Exists("SESSIONS.INI")) << "an unused session stays out of the history";
}

TEST(Startup, EveryStartAdvancesTheSessionNumber) {
    TempFolder home;
    StartAndEndByTrayExit(home);
    EXPECT_EQ(StoredSession(home), 0);
    StartAndEndByTrayExit(home);
    EXPECT_EQ(StoredSession(home), 1);
    StartAndEndByTrayExit(home);
    EXPECT_EQ(StoredSession(home), 2);
    const QByteArray bytes = home.Read("quillet.ini");
    EXPECT_EQ(QByteArray(bytes.constData() + 48), (home.path() + "/bin/session2/").toLocal8Bit());
}

TEST(Startup, ShortSettingsFileKeepsTheOtherDefaults) {
    TempFolder home;
    home.Write("quillet.ini", QByteArray(4, '\0') + ".png");
    {
        ProgramRun run(home);
        ASSERT_TRUE(run.Start());
    }
    const QByteArray bytes = home.Read("quillet.ini");
    ASSERT_EQ(bytes.size(), 616);
    EXPECT_EQ(bytes[0], 0) << "the file's own bytes win";
    EXPECT_EQ(QByteArray(bytes.constData() + 4), QByteArray(".png"));
    EXPECT_EQ(bytes[36], 0x50) << "beyond the file the default stays";
    EXPECT_EQ(StoredSession(home), 1);
}

TEST(Startup, SecondInstanceIsRefusedAndTheFirstKeepsRunning) {
    TempFolder home;
    ProgramRun first(home);
    ASSERT_TRUE(first.Start());
    const QByteArray settings = home.Read("quillet.ini");

    ProgramRun second(home);
    EXPECT_NE(second.RunToEnd(), 0);
    EXPECT_EQ(second.Messages(), "Quillet|Application is already running.\n");
    EXPECT_TRUE(first.Running());
    EXPECT_NE(first.TrayIconWindow(), 0u);
    EXPECT_EQ(home.Read("quillet.ini"), settings) << "the refused start touches nothing";
}

TEST(Startup, LockOfACrashedInstanceIsTakenOver) {
    TempFolder home;
    QDir().mkpath(home.File(".runtime"));
    home.Write(".runtime/Quillet.lock",
               "999999\nquillet\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    ProgramRun run(home);
    EXPECT_TRUE(run.Start());
    EXPECT_TRUE(run.Messages().isEmpty());
}

// Nothing may be written when the working folder cannot be named or does not fit the paths.
TEST(Startup, WorkingFolderThatCannotBeUsedStopsTheStartBeforeAnyWrite) {
    TempFolder home;
    QString deep = home.path();
    while (deep.size() < 300) deep += "/a-rather-long-folder-name";
    ASSERT_TRUE(QDir().mkpath(deep));
    {
        ProgramRun run(home);
        run.process().setWorkingDirectory(deep);
        EXPECT_NE(run.RunToEnd(), 0);
        EXPECT_TRUE(
            run.Messages().startsWith("Quillet|The folder Quillet was started from has a "
                                      "path of " +
                                      QString::number(deep.size()) + " characters"))
            << run.Messages().toStdString();
    }
    EXPECT_TRUE(QDir(deep).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));

    // A folder removed under the starting program has no name at all.
    QFile::remove(home.File(".messages"));
    ASSERT_TRUE(QDir().mkpath(home.File("gone")));
    ProgramRun run(home);
    run.process().setWorkingDirectory(home.File("gone"));
    run.process().setArguments({"-c", "rmdir \"$PWD\" && exec \"$0\"", QUILLET_BINARY});
    run.process().setProgram("/bin/sh");
    EXPECT_NE(run.RunToEnd(), 0);
    EXPECT_TRUE(
        run.Messages().startsWith("Quillet|Quillet cannot tell which folder it was started "
                                  "from"))
        << run.Messages().toStdString();
    for (const char* written : {"quillet.ini", "cache", "bin", ".config"})
        EXPECT_FALSE(home.Exists(written)) << written;
}

// A bare X server: no window manager, no tray. Quillet runs from its panel there, says so once
// per profile, takes commands, and a plain second start brings the panel back.
TEST(Startup, WithoutANotificationAreaQuilletRunsFromItsPanel) {
    QProcess server;
    server.setProgram("Xvfb");
    // -noreset: the server would otherwise reset when the last program leaves, refusing the next
    // start for a moment.
    server.setArguments(
        {"-displayfd", "1", "-noreset", "-nolisten", "tcp", "-screen", "0", "640x480x24"});
    server.start();
    ASSERT_TRUE(server.waitForReadyRead(10000));
    const QString display = ":" + QString::fromLatin1(server.readLine()).trimmed();
    // Under load the server may name its display before it takes connections: wait until it does.
    QProcess probe;
    probe.setStandardOutputFile(QProcess::nullDevice());
    probe.setStandardErrorFile(QProcess::nullDevice());
    bool reachable = false;
    for (int attempt = 0; attempt < 100 && !reachable; ++attempt) {
        probe.start("xdpyinfo", {"-display", display});
        reachable = probe.waitForFinished(5000) && probe.exitCode() == 0;
        if (!reachable) QThread::msleep(100);
    }
    ASSERT_TRUE(reachable) << "test server " << display.toStdString() << " never answered";

    TempFolder home;
    ProgramRun run(home);
    auto env = run.process().processEnvironment();
    env.insert("DISPLAY", display);
    run.process().setProcessEnvironment(env);
    // On that display: a command's exit status and output, or the panel's window.
    const auto call = [&](const QStringList& arguments, QString* output = nullptr) {
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(home.path());
        process.start(arguments.value(0) == "xdotool" ? "xdotool" : QUILLET_BINARY,
                      arguments.value(0) == "xdotool" ? arguments.mid(1) : arguments);
        if (!process.waitForFinished(40000)) return -1;
        if (output) *output = QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
        return process.exitCode();
    };
    // The panel: the program's 248 x 170 window.
    const auto panelWindow = [&] {
        QString windows;
        call({"xdotool", "search", "--onlyvisible", "--name", "^Quillet$"}, &windows);
        for (const QString& window : windows.split('\n', Qt::SkipEmptyParts)) {
            QString geometry;
            call({"xdotool", "getwindowgeometry", "--shell", window}, &geometry);
            if (geometry.contains("WIDTH=248\nHEIGHT=170")) return window;
        }
        return QString();
    };
    const auto panelShown = [&] { return !panelWindow().isEmpty(); };
    const QString notice = QString("Quillet|") + CQuilletApp::kNoTrayMessage + "\n";

    // A command with no instance starts one, which captures and answers.
    QString captured;
    ASSERT_EQ(call({"--capture", "desktop", "--wait"}, &captured), 0);
    EXPECT_EQ(captured, home.File("cache/IT-0.bmp"));
    ASSERT_TRUE(testx11::PumpUntil(panelShown, 10000)) << "the panel is the program's window";
    ASSERT_TRUE(testx11::PumpUntil([&] { return run.Messages() == notice; }, 5000))
        << run.Messages().toStdString();

    // Escape (the panel's Cancel) hides it; a plain second start brings it back, without a word.
    call({"xdotool", "windowfocus", "--sync", panelWindow(), "key", "Escape"});
    ASSERT_TRUE(testx11::PumpUntil([&] { return !panelShown(); }, 5000));
    ProgramRun second(home);
    second.process().setProcessEnvironment(env);
    EXPECT_EQ(second.RunToEnd(), 0);
    EXPECT_TRUE(testx11::PumpUntil(panelShown, 5000));
    EXPECT_EQ(run.Messages(), notice) << "no \"Application is already running.\"";

    EXPECT_EQ(call({"--quit"}), 0);
    EXPECT_EQ(run.WaitForExit(), 0);
    // The next start says nothing.
    ProgramRun again(home);
    again.process().setProcessEnvironment(env);
    again.process().start();
    EXPECT_TRUE(testx11::PumpUntil(panelShown, 15000));
    testx11::Pump(1000);
    EXPECT_EQ(run.Messages(), notice);
    EXPECT_EQ(call({"--quit"}), 0);
    EXPECT_EQ(again.WaitForExit(), 0);
    server.terminate();
    server.waitForFinished(5000);
}

}  // namespace
