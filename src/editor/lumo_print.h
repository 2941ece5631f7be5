#pragma once

#include <QRect>
#include <QString>

#include <string>
#include <vector>

class CRaster;
class QPainter;
class QPrinter;
class QWidget;

// How an image is laid out on printer pages: one page at one device pixel per image pixel when
// it fits inside the margins, otherwise tiles of at most the printable size, one per page.
struct PrintLayout {
    static constexpr int kMargin = 100;  // device pixels on every side

    int imageWidth = 0;
    int imageHeight = 0;
    QRect paperRect;  // the part of the page the picture may take, in device pixels
    bool tiling = false;
    int columns = 0;
    int rows = 0;
    int lastColumnWidth = 0;
    int lastRowHeight = 0;
    std::vector<QRect> tiles;  // one per page, in image coordinates (top row first), row-major
    int pageCount = 0;
};

// The layout of an image on pages of the given size (device pixels).
PrintLayout ComputePrintLayout(int imageWidth, int imageHeight, int pageWidth, int pageHeight);

// Draws page `page` (from 1) of the layout: the picture (or its tile) flattened onto white, one
// image pixel per device pixel at the margins, inside a thin blue frame. Nothing for a page past
// the last.
void DrawPrintPage(QPainter& painter, const CRaster& image, const PrintLayout& layout, int page);

// Prints the pages the printer asks for (its page range, or all), laid out for the printer's own
// page size. Returns the number of pages printed.
int PrintImagePages(QPrinter& printer, const CRaster& image);

// The editor's printer settings for the run.
QPrinter& EditorPrinter();

enum class PrintMode { Dialog, Direct, Preview };
// Print (the print dialog first), print direct (the last printer, no questions) or print
// preview of the image. A run without a printer prints into a PDF file.
void PrintImage(const CRaster& image, const QString& title, PrintMode mode, QWidget* parent,
                const std::string& documentPath = {});
// The PDF file proposed for a document: its name with ".pdf", beside its file, else in the
// folder printed into before, else in the current folder.
QString ProposedPdfName(const QString& title, const std::string& documentPath,
                        const QString& previousOutput);
