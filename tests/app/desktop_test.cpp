// Starting the program the way a desktop does: options, its own folder, installed files.
#include "support/program_run.h"

#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

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

}  // namespace
