// The panel and the desktop capture on several monitors (ctest runs these on Xorg's dummy driver
// with two monitors side by side, and stacked; on one monitor they are skipped).
#include "capture/coordinate_readout.h"
#include "capture/grab.h"
#include "capture/mw.h"
#include "capture/naming.h"
#include "ids.h"
#include "panel/control_panel.h"
#include "running_app.h"
#include "workspace/capture_list_dlg.h"
#include "workspace/capture_preview_dlg.h"
#include "workspace/drop_list_dlg.h"

#include <QGuiApplication>
#include <QProcess>
#include <QScreen>

#include <X11/Xlib.h>

namespace {

struct Monitors : RunningApp {
    void SetUp() override {
        if (QGuiApplication::screens().size() < 2) GTEST_SKIP() << "one monitor";
        RunningApp::SetUp();
    }
    // A monitor in device pixels, as the X server has it (Qt keeps the top-left corner).
    static QRect Device(const QScreen* monitor) {
        const qreal ratio = monitor->devicePixelRatio();
        return QRect(monitor->geometry().topLeft(), monitor->geometry().size() * ratio);
    }
    static QRect PrimaryDevice() { return Device(QGuiApplication::primaryScreen()); }
    static QScreen* Other() {
        for (QScreen* monitor : QGuiApplication::screens())
            if (monitor != QGuiApplication::primaryScreen()) return monitor;
        return nullptr;
    }
};

// A window filling a monitor with a pattern, so that any shift of a pixel shows.
struct Patterned : PictureWindow {
    explicit Patterned(QScreen* monitor)
        : PictureWindow(TestPattern(monitor->geometry().width(), monitor->geometry().height()),
                        monitor->geometry().topLeft()) {
        setScreen(monitor);
        setGeometry(monitor->geometry());
        show();
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

// Each monitor's part equals the screen; what no monitor shows is black, though the root window
// is painted blue there. `skipPrimary`: the panel was shown on the primary during the capture.
void ExpectDesktop(const QImage& capture, const QImage& screen, bool skipPrimary) {
    ASSERT_EQ(capture.size(), screen.size());
    QRegion shown;
    for (const QScreen* monitor : QGuiApplication::screens()) {
        const QRect device = Monitors::Device(monitor);
        shown += device;
        if (skipPrimary && monitor == QGuiApplication::primaryScreen()) continue;
        EXPECT_EQ(capture.copy(device), screen.copy(device)) << monitor->name().toStdString();
    }
    for (const QRect& hidden : QRegion(capture.rect()) - shown) {
        EXPECT_EQ(screen.pixel(hidden.center()), qRgb(0, 0, 255)) << "the root's colour";
        const QImage part = capture.copy(hidden);
        for (int y = 0; y < part.height(); y += 5)
            for (int x = 0; x < part.width(); x += 5)
                ASSERT_EQ(part.pixel(x, y), qRgb(0, 0, 0)) << "at " << x << "," << y;
    }
}

// The program's Desktop and quillet-tool's desktop capture alike.
TEST_F(Monitors, TheDesktopCaptureCoversEveryMonitorWithBlackWhereNoneShows) {
    ASSERT_EQ(QProcess::execute("xsetroot", {"-solid", "#0000ff"}), 0);
    CControlPanel& panel = *App()->panel();
    ASSERT_TRUE(testx11::PumpUntil([&] { return panel.isVisible(); }));
    testx11::Pump(200);
    QImage screen = testx11::GrabScreen();
    App()->coordinator()->onCommand(ids::kCmdScreen);
    ASSERT_TRUE(WaitForFile("cache/IT-0.bmp"));
    ExpectDesktop(LoadCapture("cache/IT-0.bmp"), screen, true);
    ASSERT_TRUE(testx11::PumpUntil([&] { return panel.preview()->isVisible(); }));
    testx11::Pump(800);
    screen = testx11::GrabScreen();
    ASSERT_EQ(QProcess::execute(QUILLET_TOOL_BINARY, {"capture", "desktop", home.File("tool.bmp")}),
              0);
    ExpectDesktop(LoadCapture("tool.bmp"), screen, false);
}

// A picked window reaching where no monitor shows is captured black there, the rest as shown.
TEST_F(Monitors, AWindowReachingWhereNoMonitorShowsIsBlackThere) {
    QRegion shown;
    for (const QScreen* monitor : QGuiApplication::screens()) shown += Device(monitor);
    const QRegion hidden = QRegion(testx11::GrabScreen().rect()) - shown;
    ASSERT_FALSE(hidden.isEmpty());
    // Half on the monitor above the hidden area's top-left corner, half below it.
    const QRect corner = *hidden.begin();
    const QRect area(corner.left() + 100, corner.top() - 100, 200, 200);
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    XSetWindowAttributes attributes{};
    attributes.override_redirect = True;
    attributes.background_pixel = 0xff0000;
    const Window window = XCreateWindow(display, DefaultRootWindow(display), area.x(), area.y(),
                                        200, 200, 0, CopyFromParent, InputOutput, CopyFromParent,
                                        CWOverrideRedirect | CWBackPixel, &attributes);
    XMapRaised(display, window);
    XSync(display, False);
    testx11::Pump(300);
    const QImage screen = testx11::GrabScreen(area);
    ASSERT_EQ(screen.pixel(100, 150), qRgb(255, 0, 0)) << "the frame buffer holds the window";

    GrabWindow(naming::NextScreenCapture().image, window, 0, false);
    ASSERT_TRUE(WaitForFile("cache/IT-0.bmp"));
    const QImage capture = LoadCapture("cache/IT-0.bmp");
    XDestroyWindow(display, window);
    XCloseDisplay(display);
    ASSERT_EQ(capture.size(), area.size());
    EXPECT_EQ(capture.copy(0, 0, 200, 100), screen.copy(0, 0, 200, 100));
    QImage black(200, 100, capture.format());
    black.fill(Qt::black);
    EXPECT_EQ(capture.copy(0, 100, 200, 100), black);
}

// With the panel in the primary's top-left corner the preview and both lists have no room on
// their usual sides: they slide out on the others, on the primary monitor and clear of each other
// (a window manager would only push them back onto the screen, over the panel).
TEST_F(Monitors, TheSatellitesSlideWithinThePrimaryMonitor) {
    CControlPanel& panel = *App()->panel();
    ASSERT_TRUE(testx11::PumpUntil([&] { return panel.isVisible(); }));
    panel.move(QGuiApplication::primaryScreen()->availableGeometry().topLeft());
    ASSERT_TRUE(testx11::PumpUntil([&] { return panel.frameGeometry().topLeft() == panel.pos(); }));
    CCapturePreviewDlg& preview = *panel.preview();
    panel.ShowPreviewOut();
    ASSERT_TRUE(testx11::PumpUntil([&] { return preview.isVisible(); }));
    testx11::Pump(300);
    preview.ToggleCaptureList();
    preview.ToggleDropList();
    const std::vector<QWidget*> satellites = {&preview, preview.captureList(), preview.dropList()};
    ASSERT_TRUE(testx11::PumpUntil([&] {
        for (QWidget* window : satellites)
            if (!window->isVisible()) return false;
        return true;
    }));
    testx11::Pump(400);
    const QRect primary = PrimaryDevice();
    std::vector<QRect> taken = {testx11::WindowScreenRect(panel.winId())};
    for (QWidget* window : satellites) {
        const QRect onScreen = testx11::WindowScreenRect(window->winId());
        const std::string where = window->objectName().toStdString() + " at " +
                                  std::to_string(onScreen.x()) + "," + std::to_string(onScreen.y());
        EXPECT_TRUE(primary.contains(onScreen)) << where;
        // A slide's last step may stop a few pixels short, under its neighbour's edge.
        for (const QRect& other : taken)
            EXPECT_FALSE(onScreen.intersects(other.adjusted(20, 20, -20, -20))) << where;
        taken.push_back(onScreen);
    }
}

// Every monitor shows its own frozen pixels 1:1; drags on the other monitor and across the two
// capture exactly the device pixels inside the band, and the readout counts in them too.
TEST_F(Monitors, RectanglesOnTheOtherMonitorAndAcrossCaptureThePixelsUnderThem) {
    QScreen* other = Other();
    ASSERT_NE(other, nullptr);
    const QRect primary = PrimaryDevice(), second = Device(other);
    Patterned onPrimary(QGuiApplication::primaryScreen()), onOther(other);
    App()->expertMode = 1;
    CMW& coordinator = *App()->coordinator();

    // Odd offsets: at scale 2 they lie inside a logical pixel.
    QPoint acrossFrom, acrossTo;
    if (second.left() > primary.right()) {
        acrossFrom = QPoint(primary.right() - 150, 301);
        acrossTo = QPoint(second.left() + 151, 499);
    } else {
        acrossFrom = QPoint(301, primary.bottom() - 150);
        acrossTo = QPoint(499, second.top() + 151);
    }
    const struct {
        QPoint from, to;
        const char* file;
    } drags[] = {
        {second.topLeft() + QPoint(101, 99), second.topLeft() + QPoint(303, 251), "cache/IT-0.bmp"},
        {acrossFrom, acrossTo, "cache/IT-1.bmp"},
    };
    for (const auto& drag : drags) {
        SCOPED_TRACE(drag.file);
        App()->panel()->hide();
        testx11::MoveMouse(second.center());
        testx11::Pump(400);
        const QImage before = testx11::GrabScreen();

        coordinator.onCommand(ids::kCmdRectangle);
        ASSERT_TRUE(testx11::PumpUntil(
            [&] { return coordinator.isVisible() && coordinator.overlayParts().size() == 1; }));
        testx11::Pump(300);
        const QRect belowReadout = primary.adjusted(0, 200, 0, 0);
        EXPECT_EQ(testx11::GrabScreen(belowReadout), before.copy(belowReadout));
        EXPECT_EQ(testx11::GrabScreen(second), before.copy(second));

        testx11::MoveMouse(drag.from);
        testx11::Pump(50);
        testx11::ButtonDown(1);
        testx11::Pump(50);
        testx11::MoveMouse((drag.from + drag.to) / 2);
        testx11::Pump(50);
        testx11::MoveMouse(drag.to);
        ASSERT_TRUE(testx11::PumpUntil([&] {
            return coordinator.readout()->text().startsWith(
                QString("X=%1 Y=%2 ").arg(drag.to.x()).arg(drag.to.y()));
        })) << coordinator.readout()->text().toStdString();
        const QSize size(drag.to.x() - drag.from.x(), drag.to.y() - drag.from.y());
        EXPECT_EQ(coordinator.readout()->text(), QString("X=%1 Y=%2 W=%3 H=%4")
                                                     .arg(drag.to.x())
                                                     .arg(drag.to.y())
                                                     .arg(size.width())
                                                     .arg(size.height()));
        testx11::ButtonUp(1);
        ASSERT_TRUE(WaitForFile(drag.file));
        EXPECT_EQ(LoadCapture(drag.file),
                  before.copy(QRect(drag.from + QPoint(1, 1), size - QSize(2, 2))));
        EXPECT_TRUE(testx11::PumpUntil([&] { return coordinator.overlayParts().empty(); }));
    }
}

TEST_F(Monitors, UnpluggingAMonitorBringsThePanelBackToThePrimaryCorner) {
    CControlPanel& panel = *App()->panel();
    ASSERT_TRUE(testx11::PumpUntil([&] { return panel.isVisible(); }));
    const QPoint corner = panel.pos();
    QScreen* other = Other();
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

    // The desktop shrinks to the primary: a capture after the change has the root's new size.
    const QRect primary = PrimaryDevice();
    ASSERT_EQ(QProcess::execute(
                  "xrandr",
                  {"--fb", QString("%1x%2").arg(primary.right() + 1).arg(primary.bottom() + 1)}),
              0);
    ASSERT_TRUE(testx11::PumpUntil([&] {
        return testx11::GrabScreen().size() == QSize(primary.right() + 1, primary.bottom() + 1);
    }));
    App()->coordinator()->onCommand(ids::kCmdScreen);
    ASSERT_TRUE(WaitForFile("cache/IT-0.bmp"));
    EXPECT_EQ(LoadCapture("cache/IT-0.bmp").size(), testx11::GrabScreen().size());
}

}  // namespace
