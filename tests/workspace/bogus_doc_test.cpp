// The mail document: opens and saves an image file by its extension.
#include "editor/bogus_doc.h"
#include "platform/message_box.h"
#include "support/temp_folder.h"

#include <QImage>

#include <gtest/gtest.h>

namespace {

struct BogusDoc : ::testing::Test {
    void SetUp() override {
        platform::SetMessageBoxRecorder([this](const platform::MessageBoxCall& call) {
            messages.push_back(call.text);
            return platform::kAnswerOk;
        });
        QImage picture(12, 8, QImage::Format_RGB32);
        picture.fill(qRgb(90, 160, 30));
        picture.save(folder.File("shot.png"), "PNG");
    }
    void TearDown() override { platform::SetMessageBoxRecorder(nullptr); }
    std::string Path(const char* name) const { return folder.File(name).toStdString(); }

    TempFolder folder;
    CBogusDoc doc;
    std::vector<std::string> messages;
};

TEST_F(BogusDoc, OpensByExtensionAndSavesWithTheTargetsType) {
    ASSERT_TRUE(doc.OnOpenDocument(Path("shot.png")));
    EXPECT_EQ(doc.title(), Path("shot.png"));
    EXPECT_EQ(doc.pathName(), Path("shot.png"));
    ASSERT_NE(doc.image(), nullptr);
    EXPECT_EQ(doc.image()->GetWidth(), 12u);
    ASSERT_TRUE(doc.OnSaveDocument(Path("copy.jpg")));
    EXPECT_EQ(QImage(folder.File("copy.jpg")).size(), QSize(12, 8));
    EXPECT_TRUE(messages.empty());
}

TEST_F(BogusDoc, FailsOnUnknownExtensionsAndDamagedFiles) {
    folder.Write("shot", folder.Read("shot.png"));
    EXPECT_FALSE(doc.OnOpenDocument(Path("shot")));
    folder.Write("broken.png", "not a png at all");
    EXPECT_FALSE(doc.OnOpenDocument(Path("broken.png")));
    EXPECT_EQ(doc.image(), nullptr);
    EXPECT_EQ(doc.pathName(), "");
    EXPECT_EQ(messages.size(), 1u);                     // the image's own error text
    EXPECT_FALSE(doc.OnSaveDocument(Path("out.png")));  // nothing to save
}

}  // namespace
