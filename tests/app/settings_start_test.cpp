// Start-up's settings steps in the test's own application object.
#include "app/quillet_app.h"
#include "platform/message_box.h"
#include "support/temp_folder.h"
#include "support/unprivileged.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <climits>
#include <vector>

namespace {

struct SettingsStart : ::testing::Test {
    void SetUp() override {
        platform::SetMessageBoxRecorder([this](const platform::MessageBoxCall& call) {
            messages.push_back(call.text);
            return platform::kAnswerOk;
        });
        chmod(home.path().toLocal8Bit().constData(), 0777);
    }
    void TearDown() override {
        platform::SetMessageBoxRecorder({});
        App()->expertMode = App()->settingsReadOnly = App()->mailSettingsReadOnly = 0;
    }
    void WriteRecord(const SettingsRecord& record) {
        const auto bytes = record.ToBytes();
        home.Write("quillet.ini", QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                             static_cast<int>(bytes.size())));
        chmod(home.File("quillet.ini").toLocal8Bit().constData(), 0666);
    }
    void Start() {
        CurrentFolder inside(home.path());
        UnprivilegedScope user;
        ASSERT_TRUE(App()->BuildFolderPaths());
        App()->LoadSettings();
    }
    TempFolder home;
    std::vector<std::string> messages;
};

TEST_F(SettingsStart, ReadOnlySettingsAreUsedButNeverReplaced) {
    SettingsRecord stored;
    stored.expertMode = 1;
    stored.sessionNumber = 41;
    SetTextField(stored.filePrefix, "ABC");
    WriteRecord(stored);
    home.Write("quilletemail.ini", "smtp.example.org\n");
    const QByteArray before = home.Read("quillet.ini");
    chmod(home.File("quillet.ini").toLocal8Bit().constData(), 0444);
    chmod(home.File("quilletemail.ini").toLocal8Bit().constData(), 0444);

    Start();
    CQuilletApp* app = App();
    EXPECT_EQ(app->settings.sessionNumber, 42);
    EXPECT_EQ(app->expertMode, 1);
    EXPECT_STREQ(app->settings.filePrefix, "ABC");
    EXPECT_EQ(app->sessionFolder, (home.path() + "/bin/session42/").toStdString());

    EXPECT_EQ(home.Read("quillet.ini"), before);
    struct stat info {};
    ASSERT_EQ(stat(home.File("quillet.ini").toLocal8Bit().constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0444u);
    ASSERT_EQ(messages.size(), 1u) << "told once, in one message";
    EXPECT_NE(messages[0].find("quillet.ini and quilletemail.ini"), std::string::npos)
        << messages[0];
}

TEST_F(SettingsStart, LargestSessionNumberWrapsToZero) {
    SettingsRecord stored;
    stored.sessionNumber = INT_MAX;
    WriteRecord(stored);
    Start();
    EXPECT_EQ(App()->settings.sessionNumber, 0);
    EXPECT_EQ(App()->sessionFolder, (home.path() + "/bin/session0/").toStdString());
    const QByteArray bytes = home.Read("quillet.ini");
    ASSERT_EQ(bytes.size(), 616);
    EXPECT_EQ(*reinterpret_cast<const qint32*>(bytes.constData() + 604), 0);
    EXPECT_TRUE(messages.empty());
}

TEST_F(SettingsStart, CorruptFieldsTakeTheirDefaultsOnceAndTheOthersStay) {
    home.Write("quillet.ini", QByteArray(SettingsRecord::kSize, 'A'));
    chmod(home.File("quillet.ini").toLocal8Bit().constData(), 0666);
    Start();
    const SettingsRecord& settings = App()->settings;
    EXPECT_EQ(settings.thumbWidth, 80);
    EXPECT_EQ(settings.thumbHeight, 60);
    EXPECT_STREQ(settings.fileExtension, ".bmp");
    EXPECT_STREQ(settings.thumbnailPercent, "");
    EXPECT_EQ(settings.generateThumbnails, 1);
    EXPECT_EQ(settings.expertMode, 0);
    EXPECT_EQ(std::string(settings.filePrefix), std::string(31, 'A')) << "a usable prefix stays";
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("thumbnail width"), std::string::npos) << messages[0];

    // Written back mended: the next start says nothing. One bad field leaves the rest alone.
    messages.clear();
    Start();
    EXPECT_TRUE(messages.empty());
    SettingsRecord stored;
    stored.thumbWidth = 5000;
    stored.keepAspect = 0;
    SetTextField(stored.filePrefix, "a/b");
    SetTextField(stored.fileExtension, ".png");
    WriteRecord(stored);
    Start();
    EXPECT_EQ(App()->settings.thumbWidth, 80);
    EXPECT_STREQ(App()->settings.filePrefix, "IMG");
    EXPECT_EQ(App()->settings.keepAspect, 0);
    EXPECT_STREQ(App()->settings.fileExtension, ".png");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("thumbnail width, file prefix"), std::string::npos) << messages[0];
}

}  // namespace
