// Printing: the page layout, the pages drawn at printer resolution, a PDF, and the commands.
#include "editor_fixture.h"

#include "editor/lumo_print.h"
#include "ids.h"
#include "image/qt/raster_qt.h"

#include <QFile>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTimer>

namespace {

using EditorPrint = EditorFixture;

constexpr QRgb kBlue = 0xFF0000FF;
constexpr QRgb kWhite = 0xFFFFFFFF;
constexpr QRgb kGrey = 0xFF808080;

// A 4800 x 6600 page of grey, so that what the page drawing leaves alone shows.
QImage& Page() {
    static QImage page(4800, 6600, QImage::Format_RGB32);
    page.fill(kGrey);
    return page;
}

QImage DrawPage(const CRaster& image, const PrintLayout& layout, int number) {
    QImage& page = Page();
    QPainter painter(&page);
    DrawPrintPage(painter, image, layout, number);
    painter.end();
    return page;
}

TEST_F(EditorPrint, SmallPictureIsOnePageFramedInBlueWithTransparencyWhite) {
    std::unique_ptr<CRaster> image = Gradient(640, 480);
    ASSERT_TRUE(image->AlphaCreate());
    image->AlphaSet(255);
    for (int y = 0; y < 10; ++y) image->AlphaSet(5, 479 - y, 0);  // rows 0..9 of column 5
    const PrintLayout layout = ComputePrintLayout(640, 480, 4800, 6600);
    EXPECT_FALSE(layout.tiling);
    EXPECT_EQ(layout.pageCount, 1);
    EXPECT_EQ(layout.paperRect, QRect(100, 100, 640, 480));

    const QImage page = DrawPage(*image, layout, 1);
    EXPECT_EQ(page.pixel(100 + 7, 100 + 3), qRgb(7, 3, 77));
    EXPECT_EQ(page.pixel(100 + 639, 100 + 479), qRgb(639 % 256, 479 % 256, 77));
    EXPECT_EQ(page.pixel(100 + 5, 100 + 4), kWhite);  // transparent
    for (QPoint frame : {QPoint(99, 99), QPoint(740, 99), QPoint(99, 580), QPoint(740, 580),
                         QPoint(400, 99), QPoint(740, 300)}) {
        EXPECT_EQ(page.pixel(frame), kBlue) << frame.x() << "," << frame.y();
    }
    EXPECT_EQ(page.pixel(741, 300), kGrey);
    EXPECT_EQ(page.pixel(98, 98), kGrey);
    // A palette picture's transparent index prints as paper too.
    CRaster indexed(4, 4, 8);
    indexed.SetPaletteIndex(0, 200, 0, 0);
    indexed.SetPaletteIndex(1, 0, 200, 0);
    indexed.SetPixelIndex(1, 3, 1);  // top row, second pixel
    indexed.SetTransIndex(0);
    const QImage paper = DrawPage(indexed, ComputePrintLayout(4, 4, 4800, 6600), 1);
    EXPECT_EQ(paper.pixel(100, 100), kWhite);
    EXPECT_EQ(paper.pixel(101, 100), qRgb(0, 200, 0));
    // A page past the last draws nothing.
    EXPECT_EQ(DrawPage(*image, layout, 2).pixel(100, 100), kGrey);
}

TEST_F(EditorPrint, LargePicturesTileOneToOneWithTheRemaindersLast) {
    // Narrow and tall: half-page tiles, the last one taking the rest.
    const PrintLayout tall = ComputePrintLayout(640, 10000, 4800, 6600);
    ASSERT_EQ(tall.pageCount, 4);
    EXPECT_EQ(tall.tiles[0], QRect(0, 0, 640, 3200));
    EXPECT_EQ(tall.tiles[3], QRect(0, 9600, 640, 400));
    EXPECT_EQ(tall.lastRowHeight, 400);

    const PrintLayout wide = ComputePrintLayout(5000, 7000, 4800, 6600);
    EXPECT_TRUE(wide.tiling);
    EXPECT_EQ(wide.columns, 2);
    EXPECT_EQ(wide.rows, 2);
    EXPECT_EQ(wide.paperRect, QRect(100, 100, 4600, 6400));
    EXPECT_EQ(wide.tiles,
              (std::vector<QRect>{QRect(0, 0, 4600, 6400), QRect(4600, 0, 400, 6400),
                                  QRect(0, 6400, 4600, 600), QRect(4600, 6400, 400, 600)}));

    std::unique_ptr<CRaster> image = Gradient(640, 10000);
    const QImage last = DrawPage(*image, tall, 4);
    EXPECT_EQ(last.pixel(100, 100), qRgb(0, 9600 % 256, 77));
    EXPECT_EQ(last.pixel(100 + 639, 100 + 399), qRgb(639 % 256, 9999 % 256, 77));
    EXPECT_EQ(last.pixel(740, 500), kBlue);
    EXPECT_EQ(last.pixel(300, 501), kGrey);  // not stretched over the page
    EXPECT_EQ(DrawPage(*image, tall, 2).pixel(100 + 10, 100), qRgb(10, 3200 % 256, 77));
}

TEST_F(EditorPrint, PdfHoldsThePagesAskedFor) {
    std::unique_ptr<CRaster> image = Gradient(300, 200);
    const QString file = home.File("out.pdf");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageMargins(QMarginsF(0, 0, 0, 0));
    EXPECT_EQ(PrintImagePages(printer, *image), 1);
    QByteArray pdf = home.Read("out.pdf");
    EXPECT_TRUE(pdf.startsWith("%PDF"));
    EXPECT_EQ(pdf.count("/Type /Page\n"), 1);
    EXPECT_TRUE(pdf.contains("/MediaBox [0 0 595.000000 842.000000]"));  // A4 in points

    // A picture of four pages, of which pages 2 and 3 are asked for.
    std::unique_ptr<CRaster> tall = Gradient(64, printer.height() * 3);
    printer.setPrintRange(QPrinter::PageRange);
    printer.setFromTo(2, 3);
    EXPECT_EQ(PrintImagePages(printer, *tall), 2);
    pdf = home.Read("out.pdf");
    EXPECT_EQ(pdf.count("/Type /Page\n"), 2);
}

TEST_F(EditorPrint, PrintCommandsOpenTheirDialogs) {
    CLumoDoc* doc = NewDocument(Gradient(64, 48));
    frame->mdiArea()->setActiveSubWindow(frame->docTemplate()->FrameOf(doc));
    for (int id : {ids::kCmdFilePrint, ids::kCmdFilePrintPreview, ids::kCmdFilePrintSetup})
        EXPECT_TRUE(frame->QueryCommand(id).enabled) << id;

    int maxPage = 0;
    bool previewShown = false;
    auto closeWhenShown = [&](auto* type, auto look) {
        QTimer* poll = new QTimer;
        QObject::connect(poll, &QTimer::timeout, [poll, look] {
            using Dialog = std::remove_pointer_t<decltype(type)>;
            if (auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget())) {
                look(dialog);
                dialog->reject();
                poll->deleteLater();
            }
        });
        poll->start(20);
    };
    closeWhenShown(static_cast<QPrintDialog*>(nullptr),
                   [&](QPrintDialog* dialog) { maxPage = dialog->maxPage(); });
    Command(doc, ids::kCmdFilePrint);
    EXPECT_EQ(maxPage, 1);
    closeWhenShown(static_cast<QPrintPreviewDialog*>(nullptr),
                   [&](QPrintPreviewDialog*) { previewShown = true; });
    Command(doc, ids::kCmdFilePrintPreview);
    EXPECT_TRUE(previewShown);
}

}  // namespace
