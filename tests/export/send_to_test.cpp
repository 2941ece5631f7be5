// The send-to actions from the capture preview: pages for the browser and the HTML editor, the
// workspace documents with their files and thumbnails, mail, and the pages' exact lines.
#include "app/profile.h"
#include "app/quillet_app.h"
#include "capture/capture_record.h"
#include "capture/naming.h"
#include "editor/child_frame.h"
#include "editor/doc_template.h"
#include "editor/lumo_doc.h"
#include "editor/main_frame.h"
#include "export/html_writer.h"
#include "export/send_to.h"
#include "ids.h"
#include "image/raster.h"
#include "platform/message_box.h"
#include "platform/shell.h"
#include "support/fresh_layout.h"
#include "support/temp_folder.h"
#include "support/x11_input.h"
#include "workspace/capture_preview_dlg.h"
#include "workspace/preview_image.h"

#include <QDir>
#include <QFile>
#include <QMdiArea>
#include <QSettings>
#include <QTest>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

struct SendTo : ::testing::Test {
    void SetUp() override {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home.File(".config"));
        UseFreshLayout(home, 4);
        CQuilletApp* app = App();
        app->documentCounter = app->documentCount = 0;
        platform::SetMessageBoxRecorder([this](const platform::MessageBoxCall& call) {
            messages.push_back(call.text);
            return platform::kAnswerOk;
        });
        platform::SetShellRecorder([this](const platform::ShellCall& call) {
            shellCalls.push_back(call);
            return true;
        });
        frame = std::make_unique<CMainFrame>();
        ASSERT_TRUE(frame->Create());
        frame->setGeometry(40, 40, 640, 480);
        frame->show();
        preview = std::make_unique<CCapturePreviewDlg>();
    }
    void TearDown() override {
        preview.reset();
        frame.reset();
        platform::SetShellRecorder(nullptr);
        platform::SetMessageBoxRecorder(nullptr);
    }

    // A screen capture of the given colour, as the capture engine hands it over.
    void Capture(int width, int height, QRgb colour = qRgb(200, 40, 40)) {
        QImage bitmap(width, height, QImage::Format_RGB32);
        bitmap.fill(colour);
        const naming::CaptureNames names = naming::NextScreenCapture();
        preview->AddCaptureBitmap(bitmap, names.image);
        preview->SetThumbnail(bitmap, bitmap.size(), names.thumbnail);
    }
    // An image file opened as a capture (kept in the cache as "IT-N.bmp" or as itself).
    void Drop(const QImage& image, const char* name) {
        ASSERT_TRUE(image.save(home.File(name)));
        preview->AddCaptureFile(home.File(name).toStdString());
    }

    TempFolder home;
    std::unique_ptr<CMainFrame> frame;
    std::unique_ptr<CCapturePreviewDlg> preview;
    std::vector<std::string> messages;
    std::vector<platform::ShellCall> shellCalls;
};

TEST_F(SendTo, ExplorerGetsAPageNamingAWebImageBesideTheCapture) {
    preview->onCommand(ids::kCmdToExplorer);
    EXPECT_EQ(messages, std::vector<std::string>{kNoCaptureMessage});
    EXPECT_TRUE(shellCalls.empty());

    Capture(640, 480);
    preview->imageArea()->show();
    QTest::mouseDClick(preview->imageArea(), Qt::LeftButton);  // the double click sends too
    ASSERT_EQ(shellCalls.size(), 1u);
    EXPECT_EQ(shellCalls[0].kind, platform::ShellCall::Kind::Open);
    EXPECT_EQ(shellCalls[0].target, home.File("cache/IT-0.htm").toStdString());
    EXPECT_EQ(preview->htmlPagePath, shellCalls[0].target);
    EXPECT_EQ(preview->webImagePath, home.File("cache/IT-0.jpg").toStdString());
    CRaster jpeg;
    EXPECT_TRUE(jpeg.Load(preview->webImagePath.c_str(), kTypeJpeg));
    EXPECT_EQ(jpeg.GetWidth(), 640u);
    EXPECT_EQ(home.Read("cache/IT-0.htm"),
              "<html><head>\n<title>IT-0</title>\n"
              "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">\n"
              "</head>\n<body bgcolor=\"#000000\">\n"
              "<table  border=\"0\" cellpadding=\"0\">\n<tr> <td>\n"
              "<div align=\"center\"><img src=\"IT-0.jpg\"  width=\"640\" height=\"480\"></div>"
              "</td></tr>\n</table></body></html>\n");

    // A PNG is a web image already; an 8-bit bitmap still gets a real JPEG.
    QImage png(30, 20, QImage::Format_ARGB32);
    png.fill(qRgba(0, 0, 255, 128));
    Drop(png, "shot.png");
    preview->onCommand(ids::kCmdToExplorer);
    EXPECT_EQ(preview->webImagePath, home.File("cache/Image-1.png").toStdString());
    EXPECT_FALSE(home.Exists("cache/Image-1.jpg"));
    EXPECT_TRUE(home.Read("cache/Image-1.htm").contains("src=\"Image-1.png\"  width=\"30\""));

    QImage palette(16, 8, QImage::Format_Indexed8);
    palette.setColorTable({qRgb(250, 0, 0), qRgb(0, 0, 250)});
    palette.fill(1);
    Drop(palette, "palette.bmp");
    preview->onCommand(ids::kCmdToExplorer);
    CRaster fromPalette;
    ASSERT_TRUE(fromPalette.Load(home.File("cache/Image-2.jpg").toStdString().c_str(), kTypeJpeg));
    EXPECT_EQ(fromPalette.GetBpp(), 24u);
    EXPECT_EQ(shellCalls.size(), 3u);
    EXPECT_EQ(messages.size(), 1u);
}

TEST_F(SendTo, HtmlEditorGetsThePageWithoutSizeFromTheProfile) {
    Capture(64, 48);
    profile::WriteString("HTMED", "");
    preview->onCommand(ids::kCmdToHtmlEditor);
    EXPECT_EQ(messages, std::vector<std::string>{kNoEditorMessage});
    EXPECT_TRUE(shellCalls.empty());

    profile::WriteString("HTMED", "/opt/editor/bin/pages");
    preview->onCommand(ids::kCmdToHtmlEditor);
    ASSERT_EQ(shellCalls.size(), 1u);
    EXPECT_EQ(shellCalls[0].kind, platform::ShellCall::Kind::Start);
    EXPECT_EQ(shellCalls[0].target, "/opt/editor/bin/pages");
    const std::string page = home.File("cache/IT-0.htm").toStdString();
    EXPECT_EQ(shellCalls[0].arguments, std::vector<std::string>{page});
    EXPECT_TRUE(home.Read("cache/IT-0.htm")
                    .contains("<table width=\"96%\" border=\"0\" cellpadding=\"0\">\n<tr> <td>\n"
                              "<div align=\"center\"><img src=\"IT-0.jpg\" ></div></td></tr>\n"));
}

TEST_F(SendTo, WorkspaceDocumentsAreNumberedSavedAndThumbnailed) {
    preview->onCommand(ids::kCmdToWorkspace);
    EXPECT_EQ(messages, std::vector<std::string>{kNoCaptureMessage});
    EXPECT_EQ(App()->sessionUsed, 0);

    Capture(640, 240);
    preview->onCommand(ids::kCmdToWorkspace);
    preview->onCommand(ids::kCmdToWorkspace);
    EXPECT_EQ(App()->sessionUsed, 1);
    EXPECT_EQ(App()->documentCounter, 2);
    CLumoDoc* first = frame->docTemplate()->WorkspaceDocument(1);
    CLumoDoc* second = frame->docTemplate()->WorkspaceDocument(2);
    ASSERT_TRUE(first && second);
    EXPECT_FALSE(first->IsModified());
    EXPECT_EQ(first->pathName(), home.File("bin/session4/Image-1.bmp").toStdString());
    EXPECT_TRUE(home.Exists("bin/session4/Image-2.bmp"));
    // The thumbnails follow the views' first paints: 640 x 240 fits an 80 x 60 box as 80 x 30.
    ASSERT_TRUE(testx11::PumpUntil([&] {
        return home.Exists("bin/session4/thumbnails/Thumbnail-1.jpg") &&
               home.Exists("bin/session4/thumbnails/Thumbnail-2.jpg");
    }));
    CRaster thumbnail;
    ASSERT_TRUE(thumbnail.Load(
        home.File("bin/session4/thumbnails/Thumbnail-1.jpg").toStdString().c_str(), kTypeJpeg));
    EXPECT_EQ(QSize(int(thumbnail.GetWidth()), int(thumbnail.GetHeight())), QSize(80, 30));
    EXPECT_FALSE(first->IsModified());
    EXPECT_EQ(first->pathName(), home.File("bin/session4/Image-1.bmp").toStdString());

    // Prefix naming counts on from the starting number.
    SettingsRecord& settings = App()->settings;
    settings.autoSave = 1;
    std::snprintf(settings.filePrefix, sizeof settings.filePrefix, "shot");
    settings.startingNumber = 41;
    preview->onCommand(ids::kCmdToWorkspace);
    preview->onCommand(ids::kCmdToWorkspace);
    EXPECT_TRUE(home.Exists("bin/session4/shot41.bmp"));
    EXPECT_TRUE(home.Exists("bin/session4/shot42.bmp"));
    EXPECT_EQ(settings.startingNumber, 43);

    // A capture whose file is gone uses no number and opens no window.
    const size_t windows = frame->docTemplate()->documents().size();
    Capture(8, 8);
    QFile::remove(home.File("cache/IT-1.bmp"));
    preview->SetCurrent(0);  // lets the picture go; it comes back from the file, which is gone
    preview->SetCurrent(1);
    messages.clear();
    preview->onCommand(ids::kCmdToWorkspace);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("IT-1.bmp"), std::string::npos);
    EXPECT_EQ(App()->documentCounter, 4);
    EXPECT_EQ(frame->docTemplate()->documents().size(), windows);

    EXPECT_EQ(WorkspaceThumbnailSize(60, 120, 80, 60), QSize(30, 60));
    EXPECT_EQ(WorkspaceThumbnailSize(160, 120, 80, 60), QSize(80, 60));
    EXPECT_EQ(WorkspaceThumbnailSize(40, 60, 80, 60), QSize(40, 60));
}

TEST_F(SendTo, MailHandsAPrivateCopyOfTheDocumentToTheComposer) {
    platform::SetShellRecorder(nullptr);
    const QString received = home.File("received.bmp");
    home.Write("mailer", QString("#!/bin/sh\n[ \"$1\" = --subject ] && [ \"$3\" = --attach ] && "
                                 "cp \"$4\" '%1' && echo \"$2\" > '%1.name'\n")
                             .arg(received)
                             .toUtf8());
    QFile::setPermissions(home.File("mailer"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    setenv("QUILLET_MAIL_COMMAND", home.File("mailer").toLocal8Bit().constData(), 1);

    Capture(32, 16);
    preview->onCommand(ids::kCmdToWorkspace);
    CLumoDoc* doc = frame->docTemplate()->WorkspaceDocument(1);
    ASSERT_NE(doc, nullptr);
    doc->SetTitle("Image-1");  // as a document not yet saved under its own name is titled
    doc->SetModifiedFlag(true);
    frame->mdiArea()->setActiveSubWindow(frame->docTemplate()->FrameOf(doc));
    EXPECT_TRUE(frame->QueryCommand(ids::kCmdMailRecipient).enabled);
    frame->onCommand(ids::kCmdMailRecipient);
    ASSERT_TRUE(testx11::PumpUntil([&] { return QFile::exists(received + ".name"); }));
    EXPECT_EQ(home.Read("received.bmp.name"), "Image-1.bmp\n");
    CRaster attachment;
    ASSERT_TRUE(attachment.Load(received.toStdString().c_str(), kTypeBmp));
    EXPECT_EQ(attachment.GetWidth(), 32u);
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(doc->pathName(), home.File("bin/session4/Image-1.bmp").toStdString());

    // The preview mails its web copy; with no composer the item is off.
    QFile::remove(received);
    preview->onCommand(ids::kCmdMailRecipient);
    ASSERT_TRUE(testx11::PumpUntil([&] { return QFile::exists(received); }));
    EXPECT_EQ(MailAttachmentName("/x/y/x.tif (2)", kTypeTiff), "x.tif (2).tif");
    setenv("QUILLET_MAIL_COMMAND", home.File("no-such-mailer").toLocal8Bit().constData(), 1);
    EXPECT_FALSE(frame->QueryCommand(ids::kCmdMailRecipient).enabled);
    unsetenv("QUILLET_MAIL_COMMAND");
    EXPECT_TRUE(messages.empty());
}

// The gallery's rows of five, with filler cells after a short last row.
TEST(GalleryPage, RowsOfFiveWithFillers) {
    TempFolder home;
    const std::string folder = home.path().toStdString() + "/";
    const std::string head =
        "<html><head>\n<title>gallery</title>\n"
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">\n</head>\n"
        "<body bgcolor=\"#000000\" text=\"#FFFFFF\">\n<div align=\"center\">\n<hr>\n"
        "<b><font face=\"Arial, Helvetica, sans-serif\">Thumbnail Gallery </font></b>\n<hr>\n"
        "<b><font face=\"Arial, Helvetica, sans-serif\"> </font></b> </div>\n"
        "<table width=\"96%\" border=\"0\" cellpadding=\"0\">\n<tr> \n";
    auto cell = [](int k) {
        const std::string n = std::to_string(k);
        return "<td>\n<div align=\"center\"><a href=\"../Image-" + n +
               ".png\" target=\"_blank\"><img src=\"Thumbnail-" + n +
               ".jpg\" border=\"0\" ></a><br><font size=\"1\"><b><font face=\"Arial, Helvetica, "
               "sans-serif\">Image-" +
               n + ".png</font></b></font></div></td>\n";
    };
    const std::string filler = "<td>&nbsp</td>\n";
    const std::string tail = "</tr>\n</table></body></html>\n";
    auto gallery = [&](int count) {
        std::vector<GalleryEntry> entries;
        for (int k = 1; k <= count; ++k) {
            entries.push_back({"/s/thumbnails/Thumbnail-" + std::to_string(k) + ".jpg",
                               "/s/Image-" + std::to_string(k) + ".png"});
        }
        WriteGalleryPage("gallery", folder, entries);
        return home.Read("gallery.htm").toStdString();
    };
    std::string five = head;
    for (int k = 1; k <= 5; ++k) five += cell(k);
    five += "</tr><tr>\n" + filler + filler + filler + filler + filler + tail;
    EXPECT_EQ(gallery(5), five);
    std::string seven = head;
    for (int k = 1; k <= 5; ++k) seven += cell(k);
    seven += "</tr><tr>\n" + cell(6) + cell(7) + filler + filler + filler + tail;
    EXPECT_EQ(gallery(7), seven);
    EXPECT_EQ(gallery(0), head + filler + filler + filler + filler + filler + tail);
}

}  // namespace
