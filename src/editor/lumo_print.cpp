#include "editor/lumo_print.h"

#include "image/qt/raster_qt.h"
#include "image/raster.h"
#include "platform/message_box.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPrinterInfo>

#include <algorithm>
#include <memory>

PrintLayout ComputePrintLayout(int imageWidth, int imageHeight, int pageWidth, int pageHeight) {
    PrintLayout layout;
    layout.imageWidth = imageWidth;
    layout.imageHeight = imageHeight;
    if (imageWidth <= 0 || imageHeight <= 0) return layout;
    const int margin = PrintLayout::kMargin;
    const int printableWidth = std::max(1, pageWidth - 2 * margin);
    int printableHeight = std::max(1, pageHeight - 2 * margin);
    // A narrow but tall picture is cut into tiles of half a page.
    if (imageWidth < printableWidth && imageHeight > printableHeight)
        printableHeight = std::max(1, printableHeight / 2);

    if (imageWidth <= printableWidth && imageHeight <= printableHeight) {
        layout.paperRect = QRect(margin, margin, imageWidth, imageHeight);
        layout.columns = layout.rows = 1;
        layout.lastColumnWidth = imageWidth;
        layout.lastRowHeight = imageHeight;
        layout.tiles.push_back(QRect(0, 0, imageWidth, imageHeight));
        layout.pageCount = 1;
        return layout;
    }
    layout.tiling = true;
    layout.paperRect =
        QRect(QPoint(margin, margin), QPoint(pageWidth - margin - 1, pageHeight - margin - 1));
    layout.columns = (imageWidth + printableWidth - 1) / printableWidth;
    layout.rows = (imageHeight + printableHeight - 1) / printableHeight;
    layout.lastColumnWidth = imageWidth - (layout.columns - 1) * printableWidth;
    layout.lastRowHeight = imageHeight - (layout.rows - 1) * printableHeight;
    for (int row = 0; row < layout.rows; ++row) {
        for (int column = 0; column < layout.columns; ++column) {
            const int width =
                column == layout.columns - 1 ? layout.lastColumnWidth : printableWidth;
            const int height = row == layout.rows - 1 ? layout.lastRowHeight : printableHeight;
            layout.tiles.push_back(
                QRect(column * printableWidth, row * printableHeight, width, height));
        }
    }
    layout.pageCount = static_cast<int>(layout.tiles.size());
    return layout;
}

void DrawPrintPage(QPainter& painter, const CRaster& image, const PrintLayout& layout, int page) {
    if (page < 1 || page > layout.pageCount || !image.IsValid()) return;
    // A copy flattened onto white: transparent parts print as white paper.
    CRaster copy(image);
    const int32_t transparent = copy.GetTransIndex();
    if (copy.GetBpp() < 24 && transparent >= 0 &&
        static_cast<uint32_t>(transparent) < copy.GetNumColors()) {
        // The transparent index's pixels are paper.
        copy.SetPaletteIndex(static_cast<uint32_t>(transparent), 255, 255, 255);
        copy.SetTransIndex(-1);
    }
    // A true-colour picture's transparent colour is its background colour: it keeps it and is
    // drawn over the white page.
    if (copy.GetBpp() < 24 || copy.GetTransIndex() < 0)
        copy.SetBackgroundColor(RGBQUAD{255, 255, 255, 0});
    copy.AlphaStrip();
    copy.AlphaDelete();
    const QRect tile = layout.tiles[static_cast<size_t>(page - 1)];
    if (layout.tiling && !copy.Crop(tile.left(), tile.top(), tile.right() + 1, tile.bottom() + 1)) {
        return;
    }
    // Each tile prints one to one at the margins, losslessly (a PDF keeps screenshot text
    // sharp), then the blue frame: one device pixel wide on the pixels just outside it, drawn
    // last so that the picture covers none of its four sides.
    const int margin = PrintLayout::kMargin;
    painter.save();
    painter.setRenderHint(QPainter::LosslessImageRendering);
    Draw(copy, painter, margin, margin, tile.width(), tile.height());
    const QColor blue(0, 0, 255);
    const int left = margin - 1, top = margin - 1;
    const int right = margin + tile.width(), bottom = margin + tile.height();
    painter.fillRect(QRect(left, top, right - left + 1, 1), blue);
    painter.fillRect(QRect(left, bottom, right - left + 1, 1), blue);
    painter.fillRect(QRect(left, top, 1, bottom - top + 1), blue);
    painter.fillRect(QRect(right, top, 1, bottom - top + 1), blue);
    painter.restore();
}

int PrintImagePages(QPrinter& printer, const CRaster& image) {
    // The layout follows the paper and printer in use now, whatever was chosen in a dialog.
    const PrintLayout layout =
        ComputePrintLayout(static_cast<int>(image.GetWidth()), static_cast<int>(image.GetHeight()),
                           printer.width(), printer.height());
    int first = 1, last = layout.pageCount;
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
        first = std::max(1, printer.fromPage());
        last = std::min(layout.pageCount, printer.toPage() > 0 ? printer.toPage() : last);
    }
    if (first > last) return 0;
    QPainter painter;
    if (!painter.begin(&printer)) return 0;
    for (int page = first; page <= last; ++page) {
        if (page > first) printer.newPage();
        DrawPrintPage(painter, image, layout, page);
    }
    painter.end();
    return last - first + 1;
}

QPrinter& EditorPrinter() {
    static QPrinter printer(QPrinter::HighResolution);
    return printer;
}

QString ProposedPdfName(const QString& title, const std::string& documentPath,
                        const QString& previousOutput) {
    // The document's own name without its extension; a title that cannot be a file name
    // gives way to a plain one.
    QString base = QFileInfo(title).completeBaseName();
    if (base.isEmpty() || title.contains('/')) base = "UntitledImage";
    QString folder;
    if (!documentPath.empty())
        folder = QFileInfo(QFile::decodeName(documentPath.c_str())).absolutePath();
    else if (!previousOutput.isEmpty())
        folder = QFileInfo(previousOutput).absolutePath();
    else
        folder = QDir::currentPath();
    return QDir(folder).filePath(base + ".pdf");
}

void PrintImage(const CRaster& source, const QString& title, PrintMode mode, QWidget* parent,
                const std::string& documentPath) {
    if (!source.IsValid()) return;
    // The pages come from a copy: nothing the document does meanwhile reaches them.
    const auto image = std::make_shared<CRaster>(source);
    QPrinter& printer = EditorPrinter();
    printer.setDocName(title);
    // Printing into a file proposes this document's name, never the one printed before.
    if (printer.outputFormat() == QPrinter::PdfFormat && mode != PrintMode::Preview)
        printer.setOutputFileName(ProposedPdfName(title, documentPath, printer.outputFileName()));
    const PrintLayout layout =
        ComputePrintLayout(static_cast<int>(image->GetWidth()),
                           static_cast<int>(image->GetHeight()), printer.width(), printer.height());

    if (mode == PrintMode::Preview) {
        QPrintPreviewDialog preview(&printer, parent);
        preview.setObjectName("PrintPreview");
        // Two pages side by side.
        if (auto* pages = preview.findChild<QPrintPreviewWidget*>())
            pages->setViewMode(QPrintPreviewWidget::FacingPagesView);
        QObject::connect(&preview, &QPrintPreviewDialog::paintRequested,
                         [image](QPrinter* target) { PrintImagePages(*target, *image); });
        preview.exec();
        return;
    }
    // Without a printer, print direct still asks where the PDF goes.
    const bool noPrinter = printer.outputFormat() == QPrinter::PdfFormat;
    if (mode == PrintMode::Dialog || noPrinter) {
        QPrintDialog dialog(&printer, parent);
        dialog.setObjectName("PrintDialog");
        dialog.setMinMax(1, std::max(1, layout.pageCount));
        if (dialog.exec() != QDialog::Accepted) return;
    } else {
        printer.setPrintRange(QPrinter::AllPages);
    }
    if (PrintImagePages(printer, *image) == 0) {
        platform::ShowMessage(
            "Nothing could be printed on " + (printer.outputFileName().isEmpty()
                                                  ? printer.printerName().toStdString()
                                                  : printer.outputFileName().toStdString()),
            "Quillet");
    }
}
