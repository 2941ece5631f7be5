// The HTML commands: the image page, the workspace gallery and the preview of what was written.
#include "editor_fixture.h"

#include "editor/html_preview_dlg.h"
#include "export/html_writer.h"
#include "ids.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTextBrowser>

namespace {

using EditorHtml = EditorFixture;

int Count(const QByteArray& text, const char* part) {
    return static_cast<int>(text.count(part));
}

QSize g_previewSize;
QPoint g_previewPosition;
QString g_previewSource;

void LookAtPreview(CHtmlPreviewDlg& preview) {
    g_previewSize = preview.size();
    g_previewPosition = preview.pos();
    g_previewSource = preview.view()->source().toLocalFile();
}

TEST_F(EditorHtml, GalleryListsTheThumbnailsOfTheOpenWorkspaceDocuments) {
    CHtmlPreviewDlg::SetShowHook(LookAtPreview);
    std::vector<CLumoDoc*> docs;
    for (int i = 0; i < 7; ++i) {
        CLumoDoc* doc = NewWorkspaceDocument();
        doc->image = Gradient(8, 8);
        doc->SetWorkspacePaths(false, ".png");
        doc->thumbnailImage = Gradient(4, 4);
        docs.push_back(doc);
    }
    EXPECT_EQ(docs[2]->imagePath, App()->sessionFolder + "Image-3.png");
    EXPECT_EQ(docs[2]->thumbnailPath, App()->sessionThumbnailsFolder + "Thumbnail-3.jpg");
    frame->docTemplate()->FrameOf(docs[3])->CloseQuietly();  // its document is gone

    ASSERT_TRUE(Command(docs[0], ids::kCmdThumbnailGallery));
    const QByteArray page = home.Read("bin/session3/thumbnails/gallery.htm");
    EXPECT_EQ(Count(page, "<td>\n<div align=\"center\">"), 6);
    EXPECT_EQ(Count(page, "</tr><tr>\n"), 1);
    EXPECT_EQ(Count(page, "<td>&nbsp</td>\n"), 4);
    EXPECT_EQ(Count(page, "Image-4.png"), 0);
    EXPECT_EQ(
        Count(page, "<a href=\"../Image-7.png\" target=\"_blank\"><img src=\"Thumbnail-7.jpg\""),
        1);
    EXPECT_EQ(g_previewSize, QSize(500, 500));
    EXPECT_EQ(g_previewSource, home.File("bin/session3/thumbnails/gallery.htm"));
    CHtmlPreviewDlg::SetShowHook(nullptr);
}

TEST_F(EditorHtml, ImagePageIsPreviewedWithinTheScreenAtItsCorner) {
    CHtmlPreviewDlg::SetShowHook(LookAtPreview);
    CLumoDoc* doc = NewWorkspaceDocument();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    doc->image = Gradient(static_cast<uint32_t>(screen.width() + 50), 60);
    doc->UpdateAllViews(1025);
    doc->SetWorkspacePaths(false, nullptr);
    ASSERT_TRUE(Command(doc, ids::kCmdImageAsHtml));
    const QByteArray page = home.Read("bin/session3/Image-1.htm");
    EXPECT_TRUE(page.contains("<title>Image</title>\n"));
    EXPECT_TRUE(page.contains("<table width=\"96%\" border=\"0\" cellpadding=\"0\">\n"));
    EXPECT_TRUE(
        page.contains("<div align=\"center\"><img src=\"Image-1.bmp\" ></div></td></tr>\n"));
    EXPECT_EQ(g_previewSize, QSize(screen.width() - 10, 60));
    EXPECT_EQ(g_previewPosition, screen.topLeft());
    CHtmlPreviewDlg::SetShowHook(nullptr);

    WriteImagePage("shot", home.File("shot.htm").toStdString(), "/x/shot.png", 640, 480);
    EXPECT_TRUE(home.Read("shot.htm")
                    .contains("<img src=\"shot.png\"  width=\"640\" height=\"480\"></div>"));
}

}  // namespace
