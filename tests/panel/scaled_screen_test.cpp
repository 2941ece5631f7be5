// Captures work in device pixels whatever Qt's scale factor (ctest runs these at 1, 1.5 and 2).
#include "capture/coordinate_readout.h"
#include "capture/mw.h"
#include "ids.h"
#include "panel/control_panel.h"
#include "running_app.h"

#include <QScreen>

namespace {

using ScaledScreen = RunningApp;

CMW& Coordinator() {
    return *App()->coordinator();
}

TEST_F(ScaledScreen, ThePanelLiesInsideTheAvailableScreen) {
    CControlPanel& panel = *App()->panel();
    ASSERT_TRUE(testx11::PumpUntil([&] { return panel.isVisible(); }));
    EXPECT_TRUE(panel.screen()->availableGeometry().contains(panel.frameGeometry()));
    testx11::Pump(200);
    const QRect onScreen = testx11::WindowScreenRect(panel.winId());
    EXPECT_TRUE(QRect(0, 0, 1280, 1024).contains(onScreen))
        << onScreen.x() << "," << onScreen.y() << " " << onScreen.width() << "x"
        << onScreen.height();
}

// The overlay shows the frozen screen 1:1; the readout and the capture are in device pixels.
TEST_F(ScaledScreen, ADragCapturesExactlyThePixelsUnderIt) {
    PictureWindow picture(TestPattern(400, 300), QPoint(0, 0));
    picture.show();
    App()->panel()->hide();
    testx11::MoveMouse({1000, 900});
    testx11::Pump(400);
    const QImage before = testx11::GrabScreen();

    App()->expertMode = 1;
    Coordinator().onCommand(ids::kCmdRectangle);
    ASSERT_TRUE(testx11::PumpUntil([] { return Coordinator().isVisible(); }));
    testx11::Pump(300);
    const QRect belowReadout(0, 200, 1280, 824);
    EXPECT_EQ(testx11::GrabScreen(belowReadout), before.copy(belowReadout))
        << "the overlay shows the screen unchanged";

    testx11::MoveMouse({100, 100});
    testx11::Pump(50);
    testx11::ButtonDown(1);
    testx11::Pump(50);
    testx11::MoveMouse({200, 180});
    testx11::Pump(50);
    testx11::MoveMouse({300, 250});
    testx11::Pump(100);
    EXPECT_EQ(Coordinator().readout()->text(), "X=300 Y=250 W=200 H=150");
    testx11::ButtonUp(1);
    ASSERT_TRUE(WaitForFile("cache/IT-0.bmp"));
    EXPECT_EQ(LoadCapture("cache/IT-0.bmp"), before.copy(101, 101, 198, 148));
}

}  // namespace
