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
#include <QProcess>
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

    // Printing into a file, each document proposes its own name.
    if (EditorPrinter().outputFormat() != QPrinter::PdfFormat) return;
    QString proposed;
    for (const char* name : {"first.png", "second.png"}) {
        ASSERT_TRUE(Gradient(8, 8)->Save(home.File(name).toLocal8Bit().constData(), kTypePng));
        CLumoDoc* opened = frame->docTemplate()->OpenDocumentFile(home.File(name));
        ASSERT_NE(opened, nullptr);
        closeWhenShown(static_cast<QPrintDialog*>(nullptr), [&](QPrintDialog* dialog) {
            proposed = dialog->printer()->outputFileName();
        });
        Command(opened, ids::kCmdFilePrint);
        EXPECT_EQ(proposed, home.File(QString(name).replace(".png", ".pdf")));
    }
}

// Tiles at the edges of whole pages: k times the printable size gives k tiles, one pixel more
// gives one more tile of one pixel, across and down (the narrow picture's half pages too).
TEST_F(EditorPrint, TilesCoverPicturesOfWholePagesAndOnePixelMore) {
    constexpr int kWidth = 1000, kHeight = 1400;  // printable 800 x 1200
    struct Case {
        int width, height, columns, rows, lastWidth, lastHeight;
    } cases[] = {
        {1600, 2400, 2, 2, 800, 1200}, {1601, 2400, 3, 2, 1, 1200},
        {1600, 2401, 2, 3, 800, 1},    {2401, 3601, 4, 4, 1, 1},
        {800, 1201, 1, 2, 800, 1},     {700, 1800, 1, 3, 700, 600},  // half pages of 600
        {700, 1801, 1, 4, 700, 1},
    };
    for (const Case& c : cases) {
        const PrintLayout layout = ComputePrintLayout(c.width, c.height, kWidth, kHeight);
        const std::string name = std::to_string(c.width) + "x" + std::to_string(c.height);
        ASSERT_TRUE(layout.tiling) << name;
        EXPECT_EQ(layout.columns, c.columns) << name;
        EXPECT_EQ(layout.rows, c.rows) << name;
        EXPECT_EQ(layout.lastColumnWidth, c.lastWidth) << name;
        EXPECT_EQ(layout.lastRowHeight, c.lastHeight) << name;
        ASSERT_EQ(layout.pageCount, c.columns * c.rows) << name;
        EXPECT_EQ(layout.tiles.back().bottomRight(), QPoint(c.width - 1, c.height - 1)) << name;
        int64_t area = 0;
        for (const QRect& tile : layout.tiles) area += int64_t{tile.width()} * tile.height();
        EXPECT_EQ(area, int64_t{c.width} * c.height) << name;
    }
}

// The PDF keeps the picture losslessly, framed on all four sides just outside it, and the
// print dialog proposes each document's own PDF name.
TEST_F(EditorPrint, PdfIsLosslessFramedAllRoundAndNamedAfterTheDocument) {
    const auto present = [](const QString& program) {
        QProcess probe;
        probe.start(program, {"-v"});
        return probe.waitForFinished(5000) && probe.exitCode() == 0;
    };
    if (!present("pdfimages") || !present("pdftoppm"))
        GTEST_SKIP()
            << "poppler-utils (pdfimages, pdftoppm) missing: scripts/bootstrap installs them";
    std::unique_ptr<CRaster> image = Gradient(300, 200);
    const QString file = home.File("out.pdf");
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(file);
    printer.setResolution(300);
    printer.setPageMargins(QMarginsF(0, 0, 0, 0));
    ASSERT_EQ(PrintImagePages(printer, *image), 1);
    QProcess list;
    list.start("pdfimages", {"-list", file});
    ASSERT_TRUE(list.waitForFinished(10000));
    const QString listed = QString::fromLatin1(list.readAllStandardOutput());
    // page num type width height color comp bpc enc ...: one 300 x 200 picture, not JPEG.
    QStringList pictures;
    for (const QString& line : listed.split('\n')) {
        const QStringList fields = line.simplified().split(' ');
        if (fields.size() > 8 && fields[2] == "image")
            pictures << fields[3] + "x" + fields[4] + " " + fields[8];
    }
    EXPECT_EQ(pictures, QStringList{"300x200 image"}) << listed.toStdString();

    // The page at the printer's own resolution: the frame on the pixels around the picture.
    QProcess render;
    render.start("pdftoppm", {"-r", "300", "-x", "95", "-y", "95", "-W", "310", "-H", "210", "-png",
                              "-singlefile", file, home.File("page")});
    ASSERT_TRUE(render.waitForFinished(20000));
    const QImage page(home.File("page.png"));
    ASSERT_EQ(page.size(), QSize(310, 210));
    const auto blue = [&](int x, int y) {
        const QRgb p = page.pixel(x - 95, y - 95);
        return qBlue(p) > 200 && qRed(p) < 60 && qGreen(p) < 60;
    };
    for (int i = 0; i < 200; i += 37) {
        EXPECT_TRUE(blue(99, 100 + i)) << "left " << i;
        EXPECT_TRUE(blue(400, 100 + i)) << "right " << i;
    }
    for (int i = 0; i < 300; i += 37) {
        EXPECT_TRUE(blue(100 + i, 99)) << "top " << i;
        EXPECT_TRUE(blue(100 + i, 300)) << "bottom " << i;
    }
    // Inside the frame, the picture's pixels reach its edges (the renderer resamples them).
    for (QPoint inside : {QPoint(100, 100), QPoint(399, 100), QPoint(100, 299), QPoint(399, 299)})
        EXPECT_EQ(qBlue(page.pixel(inside - QPoint(95, 95))), 77)
            << inside.x() << "," << inside.y();

    EXPECT_EQ(ProposedPdfName("shot.png", "/pictures/shot.png", "/old/other.pdf"),
              "/pictures/shot.pdf");
    EXPECT_EQ(ProposedPdfName("Image-3", "", "/old/other.pdf"), "/old/Image-3.pdf");
    EXPECT_EQ(ProposedPdfName("shots/1", "", "/old/other.pdf"), "/old/UntitledImage.pdf");
}

}  // namespace
