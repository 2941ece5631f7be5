// The session's file lists, the history and the Properties dialog, on real files and windows.
#include "app/profile.h"
#include "app/properties_dlg.h"
#include "app/session_lists.h"
#include "capture/capture_options.h"
#include "editor/editor_fixture.h"
#include "ids.h"
#include "workspace/a_listbx.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <unistd.h>

#include <filesystem>

namespace {

struct SessionFixture : EditorFixture {
    void SetUp() override {
        EditorFixture::SetUp();
        App()->sessionLoaded = 0;
        App()->usedOwnSession.clear();
        CLumoDoc::SetSaveListener(&RecordSavedImage);
    }
    void TearDown() override {
        CLumoDoc::SetSaveListener(nullptr);
        App()->sessionLoaded = App()->sessionUsed = 0;
        App()->usedOwnSession.clear();
        EditorFixture::TearDown();
    }
    CLumoDoc* Workspace() {
        CLumoDoc* doc = NewWorkspaceDocument();
        doc->image = Gradient(6, 4);
        doc->SetWorkspacePaths(false, nullptr);
        return doc;
    }
    QByteArray Lines(std::initializer_list<std::string> lines) {
        QByteArray bytes;
        for (const std::string& line : lines) bytes += QByteArray::fromStdString(line) + '\n';
        return bytes;
    }
    std::string Session() const { return App()->sessionFolder; }
};

TEST_F(SessionFixture, ListLinesBelongToTheirDocumentsWhateverTheSaveOrder) {
    CLumoDoc* first = Workspace();
    CLumoDoc* second = Workspace();
    ASSERT_TRUE(second->SaveToWorkspace());
    ASSERT_TRUE(first->SaveToWorkspace());
    const QString list = QString::fromStdString(Session() + "SESSION.MRU");
    QFile file(list);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), Lines({second->imagePath, first->imagePath}));
    file.close();

    // Saved again under another name, document 1 replaces its own line, the second one.
    const std::string renamed = Session() + "renamed.png";
    ASSERT_TRUE(first->DoSave(renamed, true));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), Lines({second->imagePath, renamed}));
    file.close();

    // A save that fails leaves the list alone.
    messages.clear();
    EXPECT_FALSE(first->DoSave(home.path().toStdString() + "/missing/x.bmp", true));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), Lines({second->imagePath, renamed}));

    App()->AppendSessionToHistory();
    EXPECT_EQ(home.Read("SESSIONS.INI"), Lines({Session()}));
}

TEST_F(SessionFixture, ALinkAtTheScratchListIsNeverWrittenThrough) {
    CLumoDoc* doc = Workspace();
    ASSERT_TRUE(doc->SaveToWorkspace());
    home.Write("victim.txt", "keep me\n");
    const std::string scratch = Session() + "SESSION.TMP";
    ASSERT_EQ(symlink(home.File("victim.txt").toLocal8Bit().constData(), scratch.c_str()), 0);

    const std::string renamed = Session() + "renamed.png";
    ASSERT_TRUE(doc->DoSave(renamed, true));
    EXPECT_EQ(home.Read("victim.txt"), "keep me\n");
    QFile list(QString::fromStdString(Session() + "SESSION.MRU"));
    ASSERT_TRUE(list.open(QIODevice::ReadOnly));
    EXPECT_EQ(list.readAll(), Lines({renamed}));
    EXPECT_FALSE(QFileInfo(QString::fromStdString(scratch)).isSymLink());
}

TEST_F(SessionFixture, LoadingASessionReopensItsImagesWithoutOverwritingAny) {
    // An earlier session, its images named as documents 1 to 3 were.
    const std::string old = home.path().toStdString() + "/bin/session1/";
    ASSERT_TRUE(std::filesystem::create_directories(old));
    std::vector<std::string> files;
    for (int i = 1; i <= 3; ++i) {
        files.push_back(old + "Image-" + std::to_string(i) + ".bmp");
        ASSERT_TRUE(Gradient(3 + i, 3)->Save(files.back().c_str(), 0));
    }
    QFile list(QString::fromStdString(old + "SESSION.MRU"));
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write(Lines({files[0], files[1], files[2]}));
    list.close();
    QFile history(home.File("SESSIONS.INI"));
    ASSERT_TRUE(history.open(QIODevice::WriteOnly));
    history.write(Lines({old}));
    history.close();

    CLumoDoc* open = Workspace();  // this run's own session is used
    ASSERT_TRUE(open->SaveToWorkspace());
    const std::string own = Session();

    CPropertiesDlg dialog;
    ASSERT_EQ(dialog.historyList()->count(), 1);
    dialog.show();
    dialog.findChild<QPushButton*>("id1067")->click();

    const std::vector<CLumoDoc*> docs = frame->docTemplate()->documents();
    ASSERT_EQ(docs.size(), 4u);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(docs[i]->workspaceIndex, i + 1);
        ASSERT_TRUE(docs[i]->image);
        EXPECT_EQ(docs[i]->image->GetWidth(), static_cast<uint32_t>(3 + i));
    }
    // Image-2 and Image-3 are lines 2 and 3's own files: their copies are skipped, said once.
    for (int i = 0; i < 3; ++i) {
        CRaster kept;
        ASSERT_TRUE(kept.Load(files[i].c_str(), 0));
        EXPECT_EQ(kept.GetWidth(), static_cast<uint32_t>(4 + i)) << files[i];
    }
    EXPECT_TRUE(docs[1]->IsModified());
    EXPECT_FALSE(docs[3]->IsModified());
    EXPECT_TRUE(std::filesystem::exists(old + "Image-4.bmp"));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find(old + "Image-2.bmp"), std::string::npos);
    EXPECT_EQ(dialog.findChild<QLineEdit*>("id1015")->text().toStdString(), old);
    EXPECT_TRUE(std::filesystem::is_directory(old + "thumbnails"));
    ASSERT_TRUE(list.open(QIODevice::ReadOnly));
    EXPECT_EQ(list.readAll(), Lines({files[0], files[1], files[2]})) << "the list is kept";
    list.close();

    // A later save of a loaded document rewrites the line it came from.
    ASSERT_TRUE(docs[2]->DoSave(old + "again.bmp", true));
    list.open(QIODevice::ReadOnly);
    EXPECT_EQ(list.readAll(), Lines({files[0], old + "again.bmp", files[2]}));

    // At exit only the run's own used session enters the history.
    App()->AppendSessionToHistory();
    EXPECT_EQ(home.Read("SESSIONS.INI"), Lines({old, own}));
}

TEST_F(SessionFixture, ASessionEntryThatIsNoFolderOrTooLongIsRefused) {
    const std::string own = Session();
    EXPECT_FALSE(LoadSession(home.path().toStdString() + "/gone/"));
    // A line of 300 characters is one entry; its names would not fit the path buffers.
    const std::string q(99, 'q');
    const std::string deep = home.path().toStdString() + "/" + q + "/" + q + "/" + q + "/";
    ASSERT_TRUE(std::filesystem::create_directories(deep));
    home.Write("SESSIONS.INI", QByteArray::fromStdString(deep + "\n/b/\n"));
    CPropertiesDlg dialog;
    ASSERT_EQ(dialog.historyList()->count(), 2);
    EXPECT_EQ(dialog.historyList()->item(0)->text().toStdString(), deep);
    dialog.findChild<QPushButton*>("id1067")->click();
    EXPECT_EQ(messages.size(), 2u);
    EXPECT_EQ(Session(), own);
    EXPECT_EQ(App()->sessionLoaded, 0);
}

TEST_F(SessionFixture, ASessionFolderWhoseNameIsNotUtf8Loads) {
    const std::string folder = home.path().toStdString() + "/caf\xE9/";
    ASSERT_TRUE(std::filesystem::create_directories(folder));
    home.Write("SESSIONS.INI", QByteArray::fromStdString(folder + "\n"));
    CPropertiesDlg dialog;
    ASSERT_EQ(dialog.historyList()->count(), 1);
    dialog.findChild<QPushButton*>("id1067")->click();
    EXPECT_TRUE(messages.empty()) << messages.front();
    EXPECT_EQ(Session(), folder);
}

struct PropertiesFixture : SessionFixture {
    void SetUp() override {
        SessionFixture::SetUp();
        CQuilletApp* app = App();
        app->cacheFolder = home.path().toStdString() + "/cache/";
        app->cacheThumbnailsFolder = app->cacheFolder + "thumbnails/";
        app->SetSessionPaths(9);  // not used yet: its folder does not exist
        app->sessionUsed = 0;
        SetTextField(app->settings.defaultSaveDir, app->sessionFolder);
        app->settingsReadOnly = app->mailSettingsReadOnly = 0;
        ASSERT_TRUE(WriteSettings(app->SettingsPath(), app->settings));
    }
    template <typename T>
    T* Control(CPropertiesDlg& dialog, int id) {
        return dialog.findChild<T*>(QString("id%1").arg(id));
    }
};

TEST_F(PropertiesFixture, ApplyWithoutChangesSavesTheSameOptions) {
    home.Write("SESSIONS.INI", "/a/\n/b/\n");
    SettingsRecord before = App()->settings;
    {
        CPropertiesDlg dialog;
        EXPECT_EQ(Control<QListWidget>(dialog, 1006)->currentItem()->text(), "N/A");
        EXPECT_EQ(Control<CAListbx>(dialog, 1023)->count(), 2);
        EXPECT_TRUE(Control<QCheckBox>(dialog, 1009)->isHidden());
        EXPECT_TRUE(dialog.Apply());
    }
    EXPECT_TRUE(messages.empty()) << "no question for the unused session folder";
    SetTextField(before.thumbnailPercent, "N/A");
    EXPECT_EQ(home.Read("quillet.ini"),
              QByteArray(reinterpret_cast<const char*>(before.ToBytes().data()), 616));
    EXPECT_EQ(home.Read("quilletemail.ini"), "\n");
    EXPECT_EQ(profile::ReadString("CACHEXT"), ".bmp");
    EXPECT_EQ(profile::ReadString("HTMLIMGEXT"), ".jpg");
    EXPECT_EQ(home.Read("SESSIONS.INI"), "/a/\n/b/\n");
    EXPECT_FALSE(home.Exists("bin/session9"));
}

TEST_F(PropertiesFixture, TypedValuesAreReadOrRefused) {
    CPropertiesDlg dialog;
    Control<QLineEdit>(dialog, 1011)->setText(QString(38, 'p') + "ab");
    Control<QLineEdit>(dialog, 1012)->setText("12abc");
    Control<QCheckBox>(dialog, 1051)->setChecked(true);
    App()->expertMode = 0;
    EXPECT_TRUE(dialog.Apply());
    EXPECT_EQ(std::string(App()->settings.filePrefix), std::string(31, 'p'));
    EXPECT_EQ(App()->settings.startingNumber, 12);
    EXPECT_EQ(App()->expertMode, 1) << "expert mode at once";
    App()->expertMode = 0;
    EXPECT_EQ(CutPrefix(std::string(30, 'x') + "\xc3\xa9"), std::string(30, 'x'));

    Control<QLineEdit>(dialog, 1015)->setText(home.File("a//b"));
    EXPECT_TRUE(dialog.Apply());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "Invalid Folder");

    messages.clear();
    const QByteArray saved = home.Read("quillet.ini");
    for (const char* width : {"0", "-5", "99999"}) {
        Control<QLineEdit>(dialog, 1004)->setText(width);
        EXPECT_FALSE(dialog.Apply()) << width;
    }
    Control<QLineEdit>(dialog, 1004)->setText("80");
    Control<QLineEdit>(dialog, 1011)->setText("a/b");
    EXPECT_FALSE(dialog.Apply());
    EXPECT_EQ(messages.size(), 4u);
    EXPECT_EQ(home.Read("quillet.ini"), saved) << "refused values change nothing";

    // A missing folder is offered and made.
    messages.clear();
    Control<QLineEdit>(dialog, 1011)->setText("IMG");
    Control<QLineEdit>(dialog, 1015)->setText(home.File("new/folder"));
    answer = platform::kAnswerYes;
    EXPECT_TRUE(dialog.Apply());
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("This path does not exist. Do you want to create it?"),
              std::string::npos);
    EXPECT_TRUE(QDir(home.File("new/folder")).exists());
}

TEST_F(PropertiesFixture, CaptureOptionsAreKeptInTheProfile) {
    {
        CPropertiesDlg dialog;
        EXPECT_EQ(Control<QComboBox>(dialog, 1091)->currentText(), "Off");
        EXPECT_EQ(Control<QComboBox>(dialog, 1091)->count(), 11);
        EXPECT_FALSE(Control<QCheckBox>(dialog, 1092)->isChecked());
        Control<QComboBox>(dialog, 1091)->setCurrentIndex(3);
        Control<QCheckBox>(dialog, 1092)->setChecked(true);
        EXPECT_TRUE(dialog.Apply());
    }
    EXPECT_EQ(home.Read("quillet.ini").size(), 616) << "the settings record keeps its format";
    EXPECT_EQ(profile::ReadString("CaptureDelay"), "3");
    CPropertiesDlg again;
    EXPECT_EQ(Control<QComboBox>(again, 1091)->currentText(), "3 s");
    EXPECT_TRUE(Control<QCheckBox>(again, 1092)->isChecked());
    // A delay edited into the profile by hand beyond ten seconds counts as none.
    profile::WriteString("CaptureDelay", "600");
    EXPECT_EQ(CaptureOptions::Load().delaySeconds, 0);
}

TEST_F(PropertiesFixture, ClearCacheEmptiesItButNeverFollowsALink) {
    namespace fs = std::filesystem;
    const std::string cache = App()->cacheFolder;
    fs::create_directories(cache + "thumbnails");
    fs::create_directories(cache + "locked");
    home.Write("cache/IT-1.bmp", "x");
    home.Write("cache/locked/inside.bmp", "x");
    home.Write("outside.bmp", "keep");
    fs::create_symlink(home.File("outside.bmp").toStdString(), cache + "link.bmp");
    fs::create_directory_symlink(home.path().toStdString(), cache + "thumbnails/up");
    // Root passes every mode: the read-only folder only means something to a user.
    if (geteuid() != 0) {
        fs::permissions(cache + "locked", fs::perms::owner_read | fs::perms::owner_exec);
    }
    CPropertiesDlg dialog;
    Control<QPushButton>(dialog, 1032)->click();
    EXPECT_EQ(home.Read("outside.bmp"), "keep");
    EXPECT_TRUE(fs::is_directory(cache + "thumbnails"));
    EXPECT_TRUE(fs::is_empty(cache + "thumbnails"));
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(cache)) left.push_back(entry.path().string());
    EXPECT_EQ(left, std::vector<std::string>{cache + "thumbnails"});
}

}  // namespace
