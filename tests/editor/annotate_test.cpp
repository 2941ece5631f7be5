// Annotating in the editor's window: marks drawn with the pointer at any zoom and scroll, their
// history beside the picture's undo ring, and burning in on save with real redaction.
#include "editor_fixture.h"

#include "ids.h"
#include "image/qt/raster_qt.h"

#include <QFile>
#include <QTest>

#include <cmath>
#include <random>

namespace {

using EditorView = EditorFixture;
using EditorAnnotate = EditorFixture;

void Drag(CLumoView* view, QPoint from, QPoint to) {
    QWidget* client = view->viewport();
    QTest::mousePress(client, Qt::LeftButton, Qt::NoModifier, from);
    for (int step = 1; step <= 4; ++step) QTest::mouseMove(client, from + (to - from) * step / 4);
    QTest::mouseRelease(client, Qt::LeftButton, Qt::NoModifier, to);
}

void Choose(EditorFixture& fixture, CLumoDoc* doc, AnnotationTool tool) {
    fixture.Command(doc, ids::kCmdAnnotateToolFirst + static_cast<int>(tool));
}

QRgb PixelOf(const CRaster& image, int x, int y) {
    const RGBQUAD c = image.GetPixelColor(x, static_cast<int>(image.GetHeight()) - 1 - y);
    return qRgb(c.rgbRed, c.rgbGreen, c.rgbBlue);
}

std::unique_ptr<CRaster> Noise(uint32_t width, uint32_t height) {
    auto image = std::make_unique<CRaster>(width, height, 24);
    std::mt19937 random(11);
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* row = image->GetBits(y);
        for (uint32_t i = 0; i < 3 * width; ++i) row[i] = static_cast<uint8_t>(random());
    }
    return image;
}

// The picture pixel under a client point: the device pixel's, through the scroll and the zoom.
QPoint PixelUnder(CLumoView* view, QPoint client, int zoom) {
    const qreal ratio = view->viewport()->devicePixelRatioF();
    const QPoint scroll = view->ScrollPosition();
    return QPoint((static_cast<int>(std::floor(client.x() * ratio)) + scroll.x()) / zoom,
                  (static_cast<int>(std::floor(client.y() * ratio)) + scroll.y()) / zoom);
}

// Also run with the program scaled to twice the device pixels (the EditorView tests are).
TEST_F(EditorView, AStrokeAtZoomFourWhileScrolledLandsUnderThePointer) {
    CLumoDoc* doc = NewDocument(Gradient(1000, 800));
    CLumoView* view = ViewOf(doc);
    Command(doc, ids::kCmdZoomIn);
    Command(doc, ids::kCmdZoomIn);
    view->ScrollTo(QPoint(1200, 800));
    Choose(*this, doc, AnnotationTool::Pen);
    Command(doc, ids::kCmdAnnotateWidthFirst + 2);  // thick: 8 picture pixels
    const QPoint from(40, 40), to(200, 40);
    Drag(view, from, to);
    ASSERT_EQ(doc->annotations.Count(), 1);
    Command(doc, ids::kCmdApplyAnnotations);
    const QRgb red = PaletteColor(0).rgb();
    const QPoint start = PixelUnder(view, from, 4), end = PixelUnder(view, to, 4);
    ASSERT_EQ(start.y(), end.y());
    for (int x = start.x(); x <= end.x(); ++x)
        ASSERT_EQ(PixelOf(*doc->image, x, start.y()), red) << x;
    // Nothing beyond the pen's reach, before the start or after the end.
    auto original = Gradient(1000, 800);
    for (QPoint p :
         {start - QPoint(0, 6), start + QPoint(0, 6), start - QPoint(6, 0), end + QPoint(6, 0)})
        EXPECT_EQ(PixelOf(*doc->image, p.x(), p.y()), PixelOf(*original, p.x(), p.y()));
}

TEST_F(EditorAnnotate, UndoAndRedoGoThroughAddMoveDeleteAndTheBurnIn) {
    CLumoDoc* doc = NewDocument(Gradient(300, 200));
    CLumoView* view = ViewOf(doc);
    Choose(*this, doc, AnnotationTool::Rectangle);
    Drag(view, QPoint(20, 20), QPoint(80, 60));
    ASSERT_EQ(doc->annotations.Count(), 1);
    const QRectF drawn = doc->annotations.At(0).Frame();
    EXPECT_TRUE(doc->IsModified());

    // Select grabs the outline and moves it; Delete takes it away.
    Choose(*this, doc, AnnotationTool::Select);
    const QPoint edge =
        view->ToClient(QRect(drawn.topLeft().toPoint(), QSize(1, 1))).center() + QPoint(20, 0);
    Drag(view, edge, edge + QPoint(30, 40));
    ASSERT_EQ(view->SelectedAnnotation(), 0);
    const QRectF moved = doc->annotations.At(0).Frame();
    EXPECT_GT(moved.left(), drawn.left() + 10);
    EXPECT_TRUE(frame->QueryCommand(ids::kCmdDeleteAnnotation).enabled);
    Command(doc, ids::kCmdDeleteAnnotation);
    EXPECT_TRUE(doc->annotations.IsEmpty());

    Command(doc, ids::kCmdEditUndo);
    EXPECT_EQ(doc->annotations.At(0).Frame(), moved);
    Command(doc, ids::kCmdEditUndo);
    EXPECT_EQ(doc->annotations.At(0).Frame(), drawn);
    Command(doc, ids::kCmdEditRedo);
    EXPECT_EQ(doc->annotations.At(0).Frame(), moved);
    EXPECT_EQ(doc->undoLevel, 0);

    // Burning in is one step of the picture's ring and ends the marks' history.
    Command(doc, ids::kCmdApplyAnnotations);
    EXPECT_TRUE(doc->annotations.IsEmpty());
    EXPECT_FALSE(doc->annotations.CanUndo());
    EXPECT_EQ(doc->undoLevel, 1);
    const QPoint onLine = moved.topLeft().toPoint() + QPoint(10, 0);
    const QRgb ink = PaletteColor(0).rgb();
    EXPECT_EQ(PixelOf(*doc->image, onLine.x(), onLine.y()), ink);
    EXPECT_EQ(frame->MenuAction(ids::kCmdEditUndo)->text(), "Undo (1)\tCtrl+Z");
    Command(doc, ids::kCmdEditUndo);
    EXPECT_EQ(PixelOf(*doc->image, onLine.x(), onLine.y()),
              PixelOf(*Gradient(300, 200), onLine.x(), onLine.y()));
    Command(doc, ids::kCmdEditRedo);
    EXPECT_EQ(PixelOf(*doc->image, onLine.x(), onLine.y()), ink);

    // An Image-menu operation burns the marks in first: two steps.
    Choose(*this, doc, AnnotationTool::Step);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(150, 100));
    ASSERT_EQ(doc->annotations.Count(), 1);
    Command(doc, ids::kCmdMirror);
    EXPECT_EQ(doc->undoLevel, 3);
    EXPECT_TRUE(doc->annotations.IsEmpty());
}

TEST_F(EditorAnnotate, ColoursAndWidthsAreKeptPerToolAndRecolourTheSelectedMark) {
    CLumoDoc* doc = NewDocument(Gradient(300, 200));
    CLumoView* view = ViewOf(doc);
    Choose(*this, doc, AnnotationTool::Arrow);
    Command(doc, ids::kCmdAnnotateColorFirst + 4);
    Command(doc, ids::kCmdAnnotateWidthFirst + 2);
    Drag(view, QPoint(20, 100), QPoint(200, 100));
    ASSERT_EQ(doc->annotations.Count(), 1);
    EXPECT_EQ(doc->annotations.At(0).color(), PaletteColor(4));
    EXPECT_EQ(doc->annotations.At(0).width(), 8);

    // Select it and pick green: the mark and the arrow tool take it, undoably.
    Choose(*this, doc, AnnotationTool::Select);
    EXPECT_FALSE(frame->QueryCommand(ids::kCmdAnnotateColorFirst).enabled);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 100));
    ASSERT_EQ(view->SelectedAnnotation(), 0);
    EXPECT_TRUE(frame->QueryCommand(ids::kCmdAnnotateColorFirst + 4).checked);
    Command(doc, ids::kCmdAnnotateColorFirst + 3);
    EXPECT_EQ(doc->annotations.At(0).color(), PaletteColor(3));
    Command(doc, ids::kCmdEditUndo);
    EXPECT_EQ(doc->annotations.At(0).color(), PaletteColor(4));

    // Another editor window reads them from the profile; the pen kept its own.
    CMainFrame other;
    ASSERT_TRUE(other.Create());
    EXPECT_EQ(other.toolbox().Color(AnnotationTool::Arrow), PaletteColor(3));
    EXPECT_EQ(other.toolbox().Width(AnnotationTool::Arrow), 8);
    EXPECT_EQ(other.toolbox().Color(AnnotationTool::Pen), PaletteColor(0));
    EXPECT_EQ(other.toolbox().Width(AnnotationTool::Pen), 4);
}

TEST_F(EditorAnnotate, SavedRedactionsKeepNothingOfTheOriginalAndTheFileShowsTheWindow) {
    CLumoDoc* doc = NewDocument(Noise(400, 300));
    CLumoView* view = ViewOf(doc);
    const QRect areas[] = {{10, 10, 90, 60}, {120, 30, 70, 80}, {220, 150, 100, 50}};
    const AnnotationTool tools[] = {AnnotationTool::Pixelate, AnnotationTool::Blur,
                                    AnnotationTool::SolidBox};
    const qreal ratio = view->viewport()->devicePixelRatioF();
    for (int i = 0; i < 3; ++i) {
        Choose(*this, doc, tools[i]);
        // Client points whose device pixels are the area's corner pixels.
        const QRect& a = areas[i];
        Drag(view,
             QPoint(static_cast<int>(std::ceil(a.left() / ratio)),
                    static_cast<int>(std::ceil(a.top() / ratio))),
             QPoint(static_cast<int>((a.right() + 1) / ratio),
                    static_cast<int>((a.bottom() + 1) / ratio)));
    }
    Choose(*this, doc, AnnotationTool::Arrow);
    Drag(view, QPoint(30, 200), QPoint(150, 120));
    ASSERT_EQ(doc->annotations.Count(), 4);
    testx11::Pump(50);
    const QImage shown = view->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);

    const QString path = home.File("redacted.png");
    ASSERT_TRUE(doc->DoSave(path.toStdString(), true));
    EXPECT_TRUE(doc->annotations.IsEmpty());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    for (const char* chunk : {"tEXt", "zTXt", "iTXt"}) EXPECT_FALSE(bytes.contains(chunk)) << chunk;
    const QImage saved = QImage(path).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(saved.size(), QSize(400, 300));
    const auto original = Noise(400, 300);
    for (const QRect& a : areas) {
        // The dragged rectangle covers at least the area's inside.
        const QRect inside = a.adjusted(1, 1, -1, -1);
        int same = 0;
        for (int y = inside.top(); y <= inside.bottom(); ++y)
            for (int x = inside.left(); x <= inside.right(); ++x)
                same += saved.pixel(x, y) == PixelOf(*original, x, y);
        EXPECT_EQ(same, 0) << a.x();
    }
    // What the window showed at zoom 1 is what the file holds.
    int differences = 0;
    const QSize common = shown.size().boundedTo(saved.size());
    for (int y = 0; y < common.height(); ++y)
        for (int x = 0; x < common.width(); ++x)
            differences += shown.pixel(x, y) != saved.pixel(x, y);
    EXPECT_EQ(differences, 0);
}

}  // namespace
