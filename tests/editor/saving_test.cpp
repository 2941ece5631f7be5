// Saving and opening as a user meets them: read-only files, files of several images, names the
// editor cannot write, reasons in failure messages, and a file opened twice.
#include "editor_fixture.h"

#include "editor/image_prompt.h"
#include "ids.h"
#include "support/program_run.h"
#include "support/unprivileged.h"

#include <QFile>
#include <QProcess>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using EditorSaving = EditorFixture;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A 0444 picture is refused by Save As and by Save, with its name and the reason, and stays as
// it was, though its folder would let a new file take its place.
TEST_F(EditorSaving, ReadOnlyPicturesAreNeverReplaced) {
    {
        UnprivilegedScope probe;
        if (geteuid() == 0) GTEST_SKIP() << "cannot act as an unprivileged user here";
    }
    chmod(home.path().toLocal8Bit().constData(), 0777);
    const QString locked = home.File("locked.png");
    ASSERT_TRUE(Gradient(8, 8)->Save(locked.toLocal8Bit().constData(), kTypePng));
    const QByteArray before = home.Read("locked.png");
    CLumoDoc* doc = frame->docTemplate()->OpenDocumentFile(locked);
    ASSERT_NE(doc, nullptr);
    chmod(locked.toLocal8Bit().constData(), 0444);
    Command(doc, ids::kCmdMirror);
    SetImagePromptHook([&](ImagePromptRequest& request) {
        request.fileName = locked;
        return true;
    });
    {
        UnprivilegedScope user;
        ASSERT_NE(geteuid(), 0u);
        messages.clear();
        EXPECT_TRUE(Command(doc, ids::kCmdFileSave));
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_TRUE(Contains(messages[0], locked.toStdString())) << messages[0];
        EXPECT_TRUE(Contains(messages[0], "Permission denied")) << messages[0];
        EXPECT_TRUE(Command(doc, ids::kCmdFileSaveAs));
        EXPECT_EQ(messages.size(), 2u);
    }
    SetImagePromptHook(nullptr);
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(home.Read("locked.png"), before);
    EXPECT_EQ(QDir(home.path()).entryList(QDir::Files), QStringList{"locked.png"});
}

// Save over a file of three pages asks first: No opens Save As, Yes writes the one page.
TEST_F(EditorSaving, SavingOverAFileOfSeveralImagesAsksFirst) {
    std::unique_ptr<CRaster> pages[3] = {Gradient(10, 10), Gradient(12, 10), Gradient(14, 10)};
    CRaster* list[3] = {pages[0].get(), pages[1].get(), pages[2].get()};
    const QString tiff = home.File("scan.tif");
    std::FILE* file = std::fopen(tiff.toLocal8Bit().constData(), "wb");
    ASSERT_TRUE(pages[0]->Encode(file, list, 3, kTypeTiff));
    std::fclose(file);
    answer = platform::kAnswerCancel;  // only the first page is read
    CLumoDoc* doc = frame->docTemplate()->OpenDocumentFile(tiff);
    ASSERT_NE(doc, nullptr);
    Command(doc, ids::kCmdMirror);

    int prompts = 0;
    SetImagePromptHook([&](ImagePromptRequest&) {
        ++prompts;
        return false;
    });
    messages.clear();
    answer = platform::kAnswerNo;
    Command(doc, ids::kCmdFileSave);
    EXPECT_EQ(messages,
              std::vector<std::string>{
                  "This file holds 3 images; saving keeps only this one. Save it anyway?"});
    EXPECT_EQ(prompts, 1);
    CRaster third(kTypeTiff);
    third.SetFrame(2);
    EXPECT_TRUE(third.Load(tiff.toLocal8Bit().constData(), kTypeTiff)) << "the file is untouched";

    answer = platform::kAnswerYes;
    Command(doc, ids::kCmdFileSave);
    EXPECT_EQ(prompts, 1);
    EXPECT_FALSE(doc->IsModified());
    CRaster saved(kTypeTiff);
    ASSERT_TRUE(saved.Load(tiff.toLocal8Bit().constData(), kTypeTiff));
    EXPECT_EQ(saved.GetFrameCount(), 1);
    messages.clear();
    Command(doc, ids::kCmdFileSave);  // the file holds one picture now
    EXPECT_TRUE(messages.empty());
    SetImagePromptHook(nullptr);
}

// Save As to a name the editor cannot write says so and asks again; without a picture it is off.
TEST_F(EditorSaving, SaveAsNamesTheTypesItCanWriteAndNeedsAPicture) {
    frame->onCommand(ids::kCmdFileNew);
    EXPECT_FALSE(frame->MenuAction(ids::kCmdFileSaveAs)->isEnabled());

    CLumoDoc* doc = NewDocument(Gradient(6, 6));
    EXPECT_TRUE(frame->MenuAction(ids::kCmdFileSaveAs)->isEnabled());
    QStringList answers = {home.File("shot.xyz"), home.File("shot.png")};
    SetImagePromptHook([&](ImagePromptRequest& request) {
        if (answers.isEmpty()) return false;
        request.fileName = answers.takeFirst();
        return true;
    });
    Command(doc, ids::kCmdFileSaveAs);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0],
              "Quillet cannot save .xyz files; choose one of: .bmp, .gif, .jpg, .jpeg, .png, .ico, "
              ".tif, .tiff, .tga, .pcx.");
    EXPECT_TRUE(home.Exists("shot.png"));
    EXPECT_FALSE(home.Exists("shot.xyz"));
    EXPECT_EQ(doc->pathName(), home.File("shot.png").toStdString());
    SetImagePromptHook(nullptr);
}

// Failures say why: the system's reason for a save, and what was wrong with an operation.
TEST_F(EditorSaving, FailureMessagesGiveTheReason) {
    CLumoDoc* doc = NewDocument(Gradient(6, 6));
    const std::string missing = home.File("gone/x.png").toStdString();
    EXPECT_FALSE(doc->DoSave(missing, true));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Cannot save " + missing + ": No such file or directory.");

    messages.clear();
    EXPECT_FALSE(doc->RunWorker(ids::kCmdResize, 0, 5, 1));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0],
              "The picture cannot be resized to 0 x 5: both sizes must be at least 1 pixel.");
}

// However a file is named again (another spelling, a link), its open document comes forward.
TEST_F(EditorSaving, AFileAlreadyOpenComesForwardInsteadOfOpeningTwice) {
    ASSERT_TRUE(Gradient(6, 6)->Save(home.File("a.png").toLocal8Bit().constData(), kTypePng));
    ASSERT_TRUE(Gradient(7, 7)->Save(home.File("b.png").toLocal8Bit().constData(), kTypePng));
    ASSERT_TRUE(QDir().mkpath(home.File("sub")));
    ASSERT_TRUE(QFile::link(home.File("a.png"), home.File("sub/link.png")));
    CDocTemplate& docs = *frame->docTemplate();
    CLumoDoc* a = docs.OpenDocumentFile(home.File("a.png"));
    CLumoDoc* b = docs.OpenDocumentFile(home.File("b.png"));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(frame->ActiveDocument(), b);
    EXPECT_EQ(docs.OpenDocumentFile(home.File("sub/../a.png")), a);
    EXPECT_EQ(frame->ActiveDocument(), a);
    EXPECT_EQ(docs.OpenDocumentFile(home.File("sub/link.png")), a);
    EXPECT_EQ(docs.documents().size(), 2u);
}

// The real program as a user who may not write the picture: Ctrl+S says why and changes nothing.
TEST(EditorSavingProgram, CtrlSOnAReadOnlyPictureIsRefused) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to start the program as another user";
    if (QProcess::execute("setpriv", {"--reuid=nobody", "--regid=nogroup", "--clear-groups", "test",
                                      "-x", QUILLET_BINARY}) != 0)
        GTEST_SKIP() << "setpriv cannot run the program as nobody here (no setpriv, or the build "
                        "folder is closed to other users)";
    TempFolder home;
    ASSERT_TRUE(EditorFixture::Gradient(30, 20)->Save(
        home.File("locked.png").toLocal8Bit().constData(), kTypePng));
    const QByteArray before = home.Read("locked.png");
    chmod(home.File("locked.png").toLocal8Bit().constData(), 0444);
    ProgramRun run(home);
    const QStringList asNobody = {"--reuid=nobody", "--regid=nogroup", "--clear-groups", "--"};
    // Everything the program writes belongs to the user it runs as.
    for (const char* folder : {".runtime", ".config"})
        ASSERT_TRUE(QDir().mkpath(home.File(folder)));
    home.Write(".messages", "");
    ASSERT_EQ(QProcess::execute("chown", {"-R", "nobody:nogroup", home.path()}), 0);
    chmod(home.File("locked.png").toLocal8Bit().constData(), 0444);
    ASSERT_EQ(QProcess::execute("chown", {"root:root", home.File("locked.png")}), 0);
    run.process().setProgram("setpriv");
    ASSERT_TRUE(run.Start(QStringList(asNobody) << QUILLET_BINARY));

    QProcess open;
    open.setProcessEnvironment(run.process().processEnvironment());
    open.setWorkingDirectory(home.path());
    open.start("setpriv", QStringList(asNobody) << QUILLET_BINARY << "--open"
                                                << "locked.png");
    ASSERT_TRUE(open.waitForFinished(15000));
    ASSERT_EQ(open.exitCode(), 0);
    // Ctrl+S, once the editor has the keyboard.
    bool refused = false;
    for (int attempt = 0; attempt < 20 && !refused; ++attempt) {
        QProcess::execute("xdotool", {"key", "ctrl+s"});
        refused = testx11::PumpUntil([&] { return run.Messages().contains("Cannot save"); }, 500);
    }
    ASSERT_TRUE(refused);
    EXPECT_TRUE(run.Messages().contains(home.File("locked.png") + ": Permission denied"))
        << run.Messages().toStdString();
    EXPECT_EQ(home.Read("locked.png"), before);
    EXPECT_EQ(QDir(home.path()).entryList({"locked*"}, QDir::Files), QStringList{"locked.png"});
}

}  // namespace
