// Desktop and rectangle captures through the coordinator window, with the real windows.
#include "capture/coordinate_readout.h"
#include "capture/mw.h"
#include "ids.h"
#include "image/qt/raster_qt.h"
#include "panel/control_panel.h"
#include "panel/hover_button.h"
#include "panel/tray_icon.h"
#include "running_app.h"
#include "workspace/capture_list_dlg.h"
#include "workspace/capture_preview_dlg.h"
#include "workspace/drop_list_dlg.h"

#include <QMenu>

QImage TestPattern(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x * 3) & 255, (y * 5) & 255, ((x + y) * 7) & 255));
    return image;
}

QImage RunningApp::LoadCapture(const QString& name) {
    CRaster image;
    if (!image.Load(home.File(name).toLocal8Bit().constData(), kTypeBmp)) return {};
    return MakeBitmap(image);
}

namespace {

CMW& Coordinator() {
    return *App()->coordinator();
}

// Drags with the real pointer from `from` through `via` to `to`.
void Drag(QPoint from, QPoint via, QPoint to) {
    testx11::MoveMouse(from);
    testx11::Pump(50);
    testx11::ButtonDown(1);
    testx11::Pump(50);
    testx11::MoveMouse(via);
    testx11::Pump(50);
    testx11::MoveMouse(to);
    testx11::Pump(80);
    testx11::ButtonUp(1);
}

bool OverlayUp() {
    return Coordinator().isVisible() && Coordinator().width() > 10;
}

TEST_F(RunningApp, ScreenFromTheTrayMenuLeavesThePanelOutOfThePicture) {
    CControlPanel* panel = App()->panel();
    ASSERT_TRUE(testx11::PumpUntil([&] { return panel->isVisible(); }));
    const QRect panelRect = panel->frameGeometry();
    const QImage before = testx11::GrabScreen(panelRect);
    ASSERT_NE(before.pixel(panelRect.width() / 2, panelRect.height() / 2), qRgb(0, 0, 0));

    QObject::connect(App()->trayIcon(), &CTrayIcon::menuShown, [](QMenu*) {
        // START, EXIT, ABOUT, CAPTURE > &SCREEN by its mnemonic
        for (const char* key : {"Down", "Down", "Down", "Down", "Right", "s"}) {
            testx11::TapKey(key);
            testx11::Pump(40);
        }
    });
    App()->trayIcon()->OnTrayNotification(ids::kTrayMenu, CTrayIcon::kRightButtonUp);
    ASSERT_TRUE(WaitForFile("cache/IT-0.bmp"));
    EXPECT_TRUE(home.Exists("cache/thumbnails/TT-0.bmp"));

    const QImage capture = LoadCapture("cache/IT-0.bmp");
    ASSERT_EQ(capture.size(), QSize(1280, 1024));
    const QImage underPanel = capture.copy(panelRect);
    const QRgb background = capture.pixel(panelRect.left() - 300, panelRect.top());
    for (int y = 0; y < underPanel.height(); y += 7)
        for (int x = 0; x < underPanel.width(); x += 7)
            ASSERT_EQ(underPanel.pixel(x, y), background) << "at " << x << "," << y;

    EXPECT_TRUE(
        testx11::PumpUntil([&] { return panel->isVisible() && panel->preview()->isVisible(); }));
    EXPECT_EQ(panel->preview()->number(), 1);
    EXPECT_EQ(App()->captureCounter, 1);
}

TEST_F(RunningApp, TwoDesktopCapturesFromThePanelAreNumberedInTurn) {
    CControlPanel* panel = App()->panel();
    ASSERT_TRUE(testx11::PumpUntil([&] { return panel->isVisible(); }));
    for (int n = 0; n < 2; ++n) {
        CHoverButton* desktop = panel->button(ids::kPanelDesktop);
        testx11::MoveMouse({10, 10});  // the pointer comes onto the button afresh each time
        testx11::Pump(50);
        testx11::Click(desktop->mapToGlobal(desktop->rect().center()));
        ASSERT_TRUE(WaitForFile(QString("cache/IT-%1.bmp").arg(n))) << "capture " << n;
        ASSERT_TRUE(testx11::PumpUntil([&] { return panel->isVisible(); }));
        testx11::Pump(500);  // the preview slides out
    }
    EXPECT_TRUE(home.Exists("cache/thumbnails/TT-1.bmp"));
    EXPECT_TRUE(testx11::PumpUntil([&] { return panel->preview()->isVisible(); }));
    EXPECT_EQ(panel->preview()->number(), 2);
}

TEST_F(RunningApp, DraggedRectangleIsCapturedInsideTheBandEitherWay) {
    const QImage pattern = TestPattern(640, 480);
    PictureWindow picture(pattern, QPoint(0, 0));
    picture.show();
    testx11::Pump(200);
    const QImage expected = pattern.copy(101, 101, 198, 148);

    Coordinator().onCommand(ids::kCmdRectangle);
    ASSERT_TRUE(testx11::PumpUntil(OverlayUp));
    Drag({100, 100}, {200, 180}, {300, 250});
    ASSERT_TRUE(WaitForFile("cache/IT-0.bmp"));
    EXPECT_EQ(LoadCapture("cache/IT-0.bmp"), expected);
    EXPECT_FALSE(Coordinator().isVisible());
    EXPECT_FALSE(testx11::IsMapped(Coordinator().winId())) << "the overlay leaves no trace";

    Coordinator().onCommand(ids::kCmdRectangle);
    ASSERT_TRUE(testx11::PumpUntil(OverlayUp));
    Drag({300, 250}, {200, 180}, {100, 100});
    ASSERT_TRUE(WaitForFile("cache/IT-1.bmp"));
    EXPECT_EQ(LoadCapture("cache/IT-1.bmp"), expected);
    EXPECT_TRUE(testx11::PumpUntil([] { return App()->panel()->isVisible(); }));
}

TEST_F(RunningApp, ClicksAndNarrowDragsCaptureNothingAndRightClickCancels) {
    Coordinator().onCommand(ids::kCmdRectangle);
    ASSERT_TRUE(testx11::PumpUntil(OverlayUp));
    testx11::Click({50, 50});
    testx11::Pump(300);
    Drag({100, 100}, {103, 103}, {105, 200});  // 5 pixels wide
    testx11::Pump(800);
    EXPECT_FALSE(home.Exists("cache/IT-0.bmp"));
    EXPECT_TRUE(OverlayUp()) << "the overlay waits for another try";
    Drag({100, 300}, {200, 301}, {300, 302});  // nothing left inside the band
    testx11::Pump(800);
    EXPECT_FALSE(home.Exists("cache/IT-0.bmp"));
    EXPECT_TRUE(OverlayUp()) << "a flat drag is another try too";

    testx11::Click({60, 60}, 3);
    EXPECT_TRUE(testx11::PumpUntil([] { return !Coordinator().isVisible(); }));
    EXPECT_FALSE(App()->panel()->isVisible()) << "the panel stays hidden after a cancel";
    EXPECT_FALSE(home.Exists("cache/IT-0.bmp"));

    Coordinator().onCommand(ids::kCmdScreen);
    EXPECT_TRUE(WaitForFile("cache/IT-1.bmp")) << "the cancelled capture's number is skipped";
}

// After a capture the drop list is put away, and no satellite asks for the user's attention or
// shows up in the task bar.
TEST_F(RunningApp, CapturesHideTheDropListAndKeepEverySatelliteOutOfTheTaskbar) {
    CControlPanel& panel = *App()->panel();
    CCapturePreviewDlg& preview = *panel.preview();
    ASSERT_TRUE(testx11::PumpUntil([&] { return panel.isVisible(); }));
    panel.SlidePreview();
    ASSERT_TRUE(testx11::PumpUntil([&] { return !preview.slide().IsRunning(); }));
    preview.ToggleCaptureList();
    preview.ToggleDropList();
    ASSERT_TRUE(testx11::PumpUntil([&] { return preview.dropList()->isVisible(); }));

    Coordinator().onCommand(ids::kCmdRectangle);
    ASSERT_TRUE(testx11::PumpUntil(OverlayUp));
    Drag({100, 100}, {200, 180}, {300, 250});
    ASSERT_TRUE(WaitForFile("cache/IT-0.bmp"));
    testx11::Pump(500);
    EXPECT_FALSE(testx11::IsMapped(preview.dropList()->winId()));
    EXPECT_TRUE(preview.captureList()->isVisible());

    preview.ToggleDropList();
    ASSERT_TRUE(testx11::PumpUntil([&] { return preview.dropList()->isVisible(); }));
    Coordinator().onCommand(ids::kCmdScreen);
    ASSERT_TRUE(WaitForFile("cache/IT-1.bmp"));
    testx11::Pump(500);
    EXPECT_FALSE(testx11::IsMapped(preview.dropList()->winId()));
    EXPECT_FALSE(preview.dropList()->IsOut());

    for (QWidget* window :
         std::initializer_list<QWidget*>{&panel, &preview, preview.captureList()}) {
        ASSERT_TRUE(testx11::IsMapped(window->winId())) << window->objectName().toStdString();
        const QStringList states = testx11::NetWmState(window->winId());
        EXPECT_TRUE(states.contains("_NET_WM_STATE_SKIP_TASKBAR"))
            << window->objectName().toStdString();
        EXPECT_FALSE(states.contains("_NET_WM_STATE_DEMANDS_ATTENTION"))
            << window->objectName().toStdString();
        EXPECT_FALSE(testx11::HasUrgencyHint(window->winId()))
            << window->objectName().toStdString();
    }
}

TEST_F(RunningApp, TheFrozenScreenKeepsWhatWasShownAtTheCommand) {
    QImage red(120, 90, QImage::Format_RGB32);
    red.fill(qRgb(220, 20, 20));
    PictureWindow tooltip(red, QPoint(400, 300));
    tooltip.show();
    testx11::Pump(200);

    Coordinator().onCommand(ids::kCmdRectangle);
    ASSERT_TRUE(testx11::PumpUntil(OverlayUp));
    tooltip.hide();  // gone before the drag, like a tooltip
    testx11::Pump(100);
    Drag({390, 290}, {450, 350}, {530, 400});
    ASSERT_TRUE(WaitForFile("cache/IT-0.bmp"));
    const QImage capture = LoadCapture("cache/IT-0.bmp");
    ASSERT_EQ(capture.size(), QSize(138, 108));
    EXPECT_EQ(capture.pixel(60, 50), qRgb(220, 20, 20));
}

TEST_F(RunningApp, ExpertModeShowsTheCoordinateReadout) {
    App()->expertMode = 1;
    Coordinator().onCommand(ids::kCmdRectangle);
    ASSERT_TRUE(testx11::PumpUntil(OverlayUp));
    CCoordinateReadout* readout = Coordinator().readout();
    EXPECT_TRUE(readout->isVisible());
    testx11::MoveMouse({100, 100});
    testx11::Pump(50);
    testx11::ButtonDown(1);
    testx11::Pump(50);
    testx11::MoveMouse({200, 200});
    testx11::Pump(50);
    testx11::MoveMouse({300, 250});
    testx11::Pump(100);
    EXPECT_EQ(readout->text(), "X=300 Y=250 W=200 H=150");
    testx11::ButtonUp(1);
    ASSERT_TRUE(WaitForFile("cache/IT-0.bmp"));
    EXPECT_FALSE(readout->isVisible());
}

}  // namespace
