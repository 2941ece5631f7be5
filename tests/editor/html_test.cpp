// The HTML commands: the image page, the workspace gallery and the preview of what was written.
#include "editor_fixture.h"

#include "editor/html_preview_dlg.h"
#include "export/html_writer.h"
#include "ids.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTextBrowser>
#include <QTextDocument>
#include <QWidget>

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

// A gallery's last row of exactly four cells gets no filler; four fillers follow three.
TEST_F(EditorHtml, GalleryFillsOnlyALastRowOfFewerThanFourCells) {
    const std::string folder = home.path().toStdString() + "/";
    for (int count : {3, 4, 8, 9}) {
        std::vector<GalleryEntry> entries;
        for (int i = 0; i < count; ++i) entries.push_back({"T.jpg", "I.png"});
        WriteGalleryPage("gallery", folder, entries);
        const QByteArray page = home.Read("gallery.htm");
        const int last = count % 5;
        EXPECT_EQ(Count(page, "<td>&nbsp</td>\n"), last < 4 ? 5 - last : 0) << count;
        EXPECT_EQ(Count(page, "</tr><tr>\n"), count / 5) << count;
        EXPECT_TRUE(page.endsWith(last == 4
                                      ? "</b></font></div></td>\n</tr>\n</table></body></html>\n"
                                      : "</td>\n</tr>\n</table></body></html>\n"))
            << count;
    }
}

// The preview draws the gallery's heading and captions in the page's white text on its black.
TEST_F(EditorHtml, GalleryPreviewShowsItsTextInThePagesColours) {
    const std::string folder = home.path().toStdString() + "/";
    CRaster black(16, 16, 24);
    ASSERT_TRUE(black.Save(home.File("Thumbnail-1.jpg").toLocal8Bit().constData(), kTypeJpeg));
    const std::string page =
        WriteGalleryPage("gallery", folder, {{"Thumbnail-1.jpg", "Image-1.png"}});
    const QByteArray written = home.Read("gallery.htm");
    CHtmlPreviewDlg preview(QString::fromStdString(page), 500, 300);
    preview.show();
    ASSERT_TRUE(testx11::PumpUntil([&] { return preview.isVisible(); }));
    testx11::Pump(200);
    const QImage shown =
        preview.view()->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    int white = 0, dark = 0;
    for (int y = 0; y < shown.height(); ++y) {
        for (int x = 0; x < shown.width(); ++x) {
            const QRgb pixel = shown.pixel(x, y);
            if (qRed(pixel) > 200 && qGreen(pixel) > 200 && qBlue(pixel) > 200) ++white;
            if (qRed(pixel) < 30 && qGreen(pixel) < 30 && qBlue(pixel) < 30) ++dark;
        }
    }
    EXPECT_GT(dark, shown.width() * shown.height() / 2) << "the black page";
    EXPECT_GT(white, 60) << "the heading and the caption in white";
    EXPECT_EQ(home.Read("gallery.htm"), written) << "the file stays as it was";
    // The filler cells' "&nbsp" is a space, as in a browser, not text.
    EXPECT_FALSE(preview.view()->toPlainText().contains("&nbsp"));
    EXPECT_TRUE(preview.view()->document()->toRawText().contains(QChar(0xA0)));
}

// Non-ASCII names: references in titles and captions, percent-encoded UTF-8 in addresses; an
// ASCII name keeps every byte.
TEST_F(EditorHtml, NonAsciiNamesReachTheBrowserIntact) {
    const std::string folder = home.path().toStdString() + "/";
    WriteImagePage("caf\xC3\xA9", home.File("p.htm").toStdString(), "/x/caf\xC3\xA9 100%.jpg", 0,
                   0);
    const QByteArray page = home.Read("p.htm");
    EXPECT_TRUE(page.contains("<title>caf&#233;</title>")) << page.constData();
    EXPECT_TRUE(page.contains("<img src=\"caf%C3%A9 100%25.jpg\" >")) << page.constData();
    EXPECT_TRUE(page.contains("charset=iso-8859-1"));

    WriteGalleryPage("gallery", folder,
                     {{"T-\xE2\x82\xAC.jpg", "/s/\xE2\x82\xAC.png"}, {"T-1.jpg", "/s/a b&c.png"}});
    const QByteArray gallery = home.Read("gallery.htm");
    EXPECT_TRUE(
        gallery.contains("<a href=\"../%E2%82%AC.png\" target=\"_blank\"><img "
                         "src=\"T-%E2%82%AC.jpg\""));
    EXPECT_TRUE(gallery.contains("sans-serif\">&#8364;.png</font>"));
    EXPECT_TRUE(
        gallery.contains("<a href=\"../a b&c.png\" target=\"_blank\"><img src=\"T-1.jpg\""));
    EXPECT_TRUE(gallery.contains("sans-serif\">a b&c.png</font>"));

    // A byte that is not UTF-8 is the ISO-8859-1 character of its value.
    WriteImagePage("n\xE9w", home.File("q.htm").toStdString(), "/x/n\xE9w.png", 0, 0);
    const QByteArray latin = home.Read("q.htm");
    EXPECT_TRUE(latin.contains("<title>n&#233;w</title>"));
    EXPECT_TRUE(latin.contains("src=\"n%E9w.png\""));
}

}  // namespace
