// The panel and the desktop capture on several monitors (ctest runs these on Xorg's dummy driver
// with two monitors side by side, and stacked; on one monitor they are skipped).
#include "capture/mw.h"
#include "ids.h"
#include "panel/control_panel.h"
#include "running_app.h"

#include <QGuiApplication>
#include <QProcess>
#include <QScreen>

namespace {

struct Monitors : RunningApp {
    void SetUp() override {
        if (QGuiApplication::screens().size() < 2) GTEST_SKIP() << "one monitor";
        RunningApp::SetUp();
    }
    // The primary monitor in device pixels, as the X server has it.
    static QRect PrimaryDevice() {
        const QScreen* primary = QGuiApplication::primaryScreen();
        const qreal ratio = primary->devicePixelRatio();
        return QRect(primary->geometry().topLeft() * ratio, primary->geometry().size() * ratio);
    }
};

TEST_F(Monitors, ThePanelLiesWhollyOnThePrimaryMonitor) {
    CControlPanel& panel = *App()->panel();
    ASSERT_TRUE(testx11::PumpUntil([&] { return panel.isVisible(); }));
    testx11::Pump(300);
    const QRect onScreen = testx11::WindowScreenRect(panel.winId());
    const QRect primary = PrimaryDevice();
    EXPECT_TRUE(primary.contains(onScreen))
        << onScreen.x() << "," << onScreen.y() << " " << onScreen.width() << "x"
        << onScreen.height() << " on a primary of " << primary.width() << "x" << primary.height();
    EXPECT_GT(onScreen.right(), primary.right() - 64) << "at the primary's right edge";
}

TEST_F(Monitors, TheDesktopCaptureCoversEveryMonitorWithBlackWhereNoneShows) {
    CControlPanel& panel = *App()->panel();
    ASSERT_TRUE(testx11::PumpUntil([&] { return panel.isVisible(); }));
    const QImage screen = testx11::GrabScreen();
    App()->coordinator()->onCommand(ids::kCmdScreen);
    ASSERT_TRUE(WaitForFile("cache/IT-0.bmp"));
    const QImage capture = LoadCapture("cache/IT-0.bmp");
    ASSERT_EQ(capture.size(), screen.size());
    QRegion shown;
    for (const QScreen* monitor : QGuiApplication::screens()) {
        const qreal ratio = monitor->devicePixelRatio();
        const QRect device(monitor->geometry().topLeft() * ratio,
                           monitor->geometry().size() * ratio);
        shown += device;
        if (monitor == QGuiApplication::primaryScreen()) continue;  // the panel was shown there
        EXPECT_EQ(capture.copy(device), screen.copy(device)) << monitor->name().toStdString();
    }
    for (const QRect& hidden : QRegion(capture.rect()) - shown) {
        const QImage part = capture.copy(hidden);
        for (int y = 0; y < part.height(); y += 5)
            for (int x = 0; x < part.width(); x += 5)
                ASSERT_EQ(part.pixel(x, y), qRgb(0, 0, 0)) << "at " << x << "," << y;
    }
}

TEST_F(Monitors, UnpluggingAMonitorBringsThePanelBackToThePrimaryCorner) {
    CControlPanel& panel = *App()->panel();
    ASSERT_TRUE(testx11::PumpUntil([&] { return panel.isVisible(); }));
    const QPoint corner = panel.pos();
    QScreen* other = nullptr;
    for (QScreen* monitor : QGuiApplication::screens())
        if (monitor != QGuiApplication::primaryScreen()) other = monitor;
    ASSERT_NE(other, nullptr);
    const QString output = other->name();
    panel.move(other->geometry().topLeft() + QPoint(100, 100));
    ASSERT_TRUE(testx11::PumpUntil([&] { return panel.pos() != corner; }));

    ASSERT_EQ(QProcess::execute("xrandr", {"--output", output, "--off"}), 0);
    EXPECT_TRUE(testx11::PumpUntil([&] { return QGuiApplication::screens().size() == 1; }));
    // Back in the corner of the primary's available area (which may have changed with the unplug).
    const auto inCorner = [&] {
        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        const QRect frame = panel.frameGeometry();
        return available.contains(frame) && frame.right() == available.right() &&
               frame.bottom() >= available.bottom() - CControlPanel::kBottomMargin;
    };
    EXPECT_TRUE(testx11::PumpUntil(inCorner)) << panel.pos().x() << "," << panel.pos().y();
}

}  // namespace
