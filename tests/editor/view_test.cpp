// The image view: scroll sizes, the kept scroll position, the frame fitted into the main frame,
// and Crop through the scroll position, the zoom and the device pixel ratio.
#include "editor_fixture.h"

#include "ids.h"

#include <QMdiSubWindow>
#include <QScrollBar>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <cmath>

namespace {

using EditorView = EditorFixture;

// Drags with the left button across the view's client area, in Qt's own coordinates.
void Drag(CLumoView* view, QPoint from, QPoint to) {
    QWidget* client = view->viewport();
    QTest::mousePress(client, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(client, (from + to) / 2);
    QTest::mouseMove(client, to);
    QTest::mouseRelease(client, Qt::LeftButton, Qt::NoModifier, to);
}

TEST_F(EditorView, ScrollSizesFollowTheZoomAndKeepTheRelativePosition) {
    CLumoDoc* doc = NewDocument(Gradient(3000, 2000));
    CLumoView* view = ViewOf(doc);
    EXPECT_EQ(view->ScrollSize(), QSize(3000, 2000));

    // The window was fitted into the main frame's client area, 12 pixels short of its edges.
    QMdiSubWindow* window = frame->docTemplate()->FrameOf(doc);
    const QWidget* client = frame->mdiArea()->viewport();
    EXPECT_NEAR(window->geometry().right() + 1, client->width() - 12, 1);
    EXPECT_NEAR(window->geometry().bottom() + 1, client->height() - 12, 1);

    const qreal ratio = view->viewport()->devicePixelRatioF();
    const QSize page(static_cast<int>(std::lround(view->viewport()->width() * ratio)),
                     static_cast<int>(std::lround(view->viewport()->height() * ratio)));
    EXPECT_EQ(view->horizontalScrollBar()->maximum(), 3000 - page.width());
    view->ScrollTo(QPoint(900, 600));
    Command(doc, ids::kCmdZoomIn);
    EXPECT_EQ(view->ScrollSize(), QSize(6000, 4000));
    EXPECT_NEAR(view->ScrollPosition().x(), 1800, 1);
    EXPECT_NEAR(view->ScrollPosition().y(), 1200, 1);
    EXPECT_EQ(view->verticalScrollBar()->maximum(), 4000 - page.height());
    Command(doc, ids::kCmdZoomOut);
    EXPECT_NEAR(view->ScrollPosition().x(), 900, 1);
    EXPECT_NEAR(view->ScrollPosition().y(), 600, 1);

    // At zoom 16 the scaled picture is 48000 pixels wide: the position is kept all the same.
    doc->zoom = 8.0f;
    doc->UpdateAllViews(1025);
    view->ScrollTo(QPoint(20000, 9000));
    Command(doc, ids::kCmdZoomIn);
    EXPECT_NEAR(view->ScrollPosition().x(), 40000, 1);
    EXPECT_NEAR(view->ScrollPosition().y(), 18000, 1);
}

// After Zoom Out the window fits the picture again, without the scroll bars it had.
TEST_F(EditorView, ZoomOutFitsTheWindowWithoutScrollBars) {
    const QWidget* client = frame->mdiArea()->viewport();
    const qreal ratio = client->devicePixelRatioF();
    const auto width = static_cast<uint32_t>(client->width() * ratio * 0.6);
    const auto height = static_cast<uint32_t>(client->height() * ratio * 0.6);
    CLumoDoc* doc = NewDocument(Gradient(width, height));
    CLumoView* view = ViewOf(doc);
    Command(doc, ids::kCmdZoomIn);
    testx11::Pump(50);
    ASSERT_TRUE(view->horizontalScrollBar()->isVisible() || view->verticalScrollBar()->isVisible());
    Command(doc, ids::kCmdZoomOut);
    testx11::Pump(50);
    EXPECT_FALSE(view->horizontalScrollBar()->isVisible());
    EXPECT_FALSE(view->verticalScrollBar()->isVisible());
    EXPECT_NEAR(view->viewport()->width() * ratio, width, 1.0 + ratio);
    EXPECT_NEAR(view->viewport()->height() * ratio, height, 1.0 + ratio);
}

TEST_F(EditorView, CropFollowsItsRulesAndTheScreenPixels) {
    CLumoDoc* doc = NewDocument(Gradient(1000, 800));
    CLumoView* view = ViewOf(doc);
    Command(doc, ids::kCmdCrop);  // no drag: nothing
    Drag(view, QPoint(50, 50), QPoint(52, 52));
    Command(doc, ids::kCmdCrop);
    EXPECT_EQ(messages, std::vector<std::string>{"You need to draw a rectangle first"});
    Drag(view, QPoint(80, 80), QPoint(20, 20));  // up and to the left: nothing, no message
    Command(doc, ids::kCmdCrop);
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(doc->image->GetWidth(), 1000u);

    // At zoom 2, scrolled: client points go through the scroll position and the zoom.
    const qreal ratio = view->viewport()->devicePixelRatioF();
    Command(doc, ids::kCmdZoomIn);
    view->ScrollTo(QPoint(100, 50));
    ASSERT_EQ(view->ScrollPosition(), QPoint(100, 50));
    Drag(view, QPoint(10, 20), QPoint(110, 70));
    Command(doc, ids::kCmdCrop);
    auto image = [&](int client, int scroll) {
        return static_cast<int>(std::floor((client * ratio + scroll) / 2.0));
    };
    const int left = image(10, 100), top = image(20, 50);
    EXPECT_EQ(static_cast<int>(doc->image->GetWidth()), image(110, 100) - left);
    EXPECT_EQ(static_cast<int>(doc->image->GetHeight()), image(70, 50) - top);
    const RGBQUAD corner =
        doc->image->GetPixelColor(0, static_cast<int32_t>(doc->image->GetHeight()) - 1);
    EXPECT_EQ(corner.rgbRed, left);
    EXPECT_EQ(corner.rgbGreen, top);
    EXPECT_EQ(doc->undoLevel, 1);
}

TEST_F(EditorView, PaintsTheZoomedPictureOnTheScreen) {
    auto picture = std::make_unique<CRaster>(20, 10, 24);
    for (int32_t y = 0; y < 10; ++y) {
        for (int32_t x = 0; x < 20; ++x) {
            RGBQUAD c;
            c.rgbRed = x < 10 ? 200 : 10;
            c.rgbBlue = 90;
            picture->SetPixelColor(x, y, c);
        }
    }
    CLumoDoc* doc = NewDocument(std::move(picture));
    Command(doc, ids::kCmdZoomIn);
    Command(doc, ids::kCmdZoomIn);  // zoom 4: 80 x 40 device pixels
    CLumoView* view = ViewOf(doc);
    testx11::Pump(200);
    const qreal ratio = view->viewport()->devicePixelRatioF();
    const QPoint origin = view->viewport()->mapToGlobal(QPoint(0, 0)) * ratio;
    const QImage shot = testx11::GrabScreen(QRect(origin, QSize(90, 50)));
    EXPECT_EQ(QColor(shot.pixel(39, 39)), QColor(200, 0, 90));
    EXPECT_EQ(QColor(shot.pixel(40, 0)), QColor(10, 0, 90));
    EXPECT_EQ(QColor(shot.pixel(79, 20)), QColor(10, 0, 90));
    EXPECT_NE(QColor(shot.pixel(85, 20)), QColor(10, 0, 90));  // beyond the picture
}

// The screen copy is made again after a change, piece by piece as pieces come into sight: a
// part scrolled to for the first time since the change shows the new picture at any zoom, and
// while an operation runs a part not made yet shows the background, never the picture being
// worked on.
TEST_F(EditorView, ShowsTheChangedPictureWhereverItIsScrolledTo) {
    CLumoDoc* doc = NewDocument(Gradient(3000, 2400));
    CLumoView* view = ViewOf(doc);
    // The colour at a device pixel of the viewport, and the colour that the picture (mirrored
    // or not) has there.
    auto shown = [&](QPoint device) {
        return QColor(view->viewport()->grab().toImage().pixel(device));
    };
    auto picture = [&](QPoint device, bool mirrored) {
        const QPoint scaled = view->ScrollPosition() + device;
        const int x = static_cast<int>(std::floor(scaled.x() / doc->zoom));
        const int y = static_cast<int>(std::floor(scaled.y() / doc->zoom));
        return QColor((mirrored ? 2999 - x : x) % 256, y % 256, 77);
    };
    ASSERT_TRUE(doc->RunWorker(ids::kCmdMirror));
    EXPECT_EQ(shown(QPoint(10, 10)), picture(QPoint(10, 10), true));
    view->ScrollTo(QPoint(1000, 900));
    EXPECT_EQ(shown(QPoint(5, 5)), picture(QPoint(5, 5), true));
    for (int i = 0; i < 3; ++i) Command(doc, ids::kCmdZoomOut);
    EXPECT_EQ(shown(QPoint(100, 50)), picture(QPoint(100, 50), true));
    for (int i = 0; i < 4; ++i) Command(doc, ids::kCmdZoomIn);
    view->ScrollTo(QPoint(3000, 2000));
    EXPECT_EQ(shown(QPoint(7, 3)), picture(QPoint(7, 3), true));

    Command(doc, ids::kCmdZoomOut);
    view->ScrollTo(QPoint(0, 0));
    EXPECT_EQ(shown(QPoint(10, 10)), picture(QPoint(10, 10), true));
    CLumoDoc::SetWorkerProbe([](CLumoDoc&) { QThread::msleep(300); });
    QColor near, far;
    QTimer::singleShot(100, [&] {
        near = shown(QPoint(10, 10));
        view->ScrollTo(QPoint(1000, 900));
        far = shown(QPoint(5, 5));
    });
    ASSERT_TRUE(doc->RunWorker(ids::kCmdMirror));
    CLumoDoc::SetWorkerProbe(nullptr);
    view->ScrollTo(QPoint(0, 0));
    EXPECT_EQ(near, picture(QPoint(10, 10), true));  // the picture as it was before
    EXPECT_EQ(far, view->palette().color(QPalette::Base));
    view->ScrollTo(QPoint(1000, 900));
    EXPECT_EQ(shown(QPoint(5, 5)), picture(QPoint(5, 5), false));
}

int g_thumbnailsMade = 0;

TEST_F(EditorView, ThumbnailIsMadeOnceAfterAPaintAndNeverWithoutAPicture) {
    g_thumbnailsMade = 0;
    CLumoView::SetThumbnailMaker([](CLumoDoc& doc) {
        EXPECT_FALSE(doc.thumbnailPending);  // cleared first
        ++g_thumbnailsMade;
    });
    CLumoDoc* doc = NewDocument(Gradient(30, 20));
    doc->thumbnailPending = true;
    ViewOf(doc)->viewport()->repaint();
    EXPECT_EQ(g_thumbnailsMade, 0);  // not inside the paint
    ASSERT_TRUE(testx11::PumpUntil([] { return g_thumbnailsMade == 1; }));
    ViewOf(doc)->viewport()->repaint();
    testx11::Pump(50);
    EXPECT_EQ(g_thumbnailsMade, 1);

    CLumoDoc* empty = NewDocument(nullptr);
    empty->thumbnailPending = true;
    ViewOf(empty)->viewport()->repaint();
    ASSERT_TRUE(testx11::PumpUntil([&] { return !empty->thumbnailPending; }));
    EXPECT_EQ(g_thumbnailsMade, 1);
    CLumoView::SetThumbnailMaker(nullptr);
}

}  // namespace
