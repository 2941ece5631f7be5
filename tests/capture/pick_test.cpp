// Window picking with the whole program, over the windows of another program (pick_target),
// driven by XTest input as a user's mouse would be.
#include "app/quillet_app.h"
#include "capture/mw.h"
#include "capture/pick_dlg.h"
#include "ids.h"
#include "panel/control_panel.h"
#include "hook/quillet_hook.h"
#include "image/qt/raster_qt.h"
#include "platform/message_box.h"
#include "support/pick_fixture.h"
#include "support/temp_folder.h"
#include "support/x11_input.h"
#include "tools/inspector/inspector_dlg.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QProcess>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <functional>
#include <memory>

namespace {

// The other program, and what it reports on its standard output.
class Target {
  public:
    explicit Target(const QStringList& arguments) {
        // Its own pixels are the screen's, whatever scale the program under test runs at.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_SCALE_FACTOR", "1");
        process_.setProcessEnvironment(env);
        process_.start(PICK_TARGET_BINARY, arguments);
        process_.waitForStarted(5000);
    }
    ~Target() {
        process_.kill();
        process_.waitForFinished(3000);
    }
    // The words after `key` on the first line that starts with it.
    QStringList Line(const QString& key, int timeoutMs = 8000) {
        testx11::PumpUntil(
            [&] {
                output_ += QString::fromUtf8(process_.readAllStandardOutput());
                return Find(key) >= 0;
            },
            timeoutMs);
        const int at = Find(key);
        if (at < 0) return {};
        const int end = output_.indexOf('\n', at);
        return output_.mid(at, end - at).split(' ').mid(1);
    }
    bool Said(const QString& key) {
        Line(key);
        return Find(key) >= 0;
    }
    QRect Rect(const QString& key) {
        const QStringList v = Line(key);
        return v.size() == 4 ? QRect(v[0].toInt(), v[1].toInt(), v[2].toInt(), v[3].toInt())
                             : QRect();
    }

  private:
    int Find(const QString& key) const {
        if (output_.startsWith(key + ' ') || output_.startsWith(key + '\n')) return 0;
        const int at = output_.indexOf('\n' + key);
        return at < 0 ? -1 : at + 1;
    }
    QProcess process_;
    QString output_;
};

// The frame a window manager put around a window: the root's child holding it, straight from X.
QRect FrameOf(unsigned long window) {
    Display* display = XOpenDisplay(nullptr);
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    for (Window w = window; XQueryTree(display, w, &root, &parent, &children, &count); w = parent) {
        if (children) XFree(children);
        if (parent == root) {
            XWindowAttributes a{};
            XGetWindowAttributes(display, w, &a);
            XCloseDisplay(display);
            return QRect(a.x, a.y, a.width, a.height);
        }
    }
    XCloseDisplay(display);
    return {};
}

struct PickTest : PickFixture {};

const QRgb kRed = qRgb(220, 30, 30), kBlue = qRgb(30, 40, 220), kGreen = qRgb(30, 200, 60);

TEST_F(PickTest, EachModeCapturesItsOwnWindow) {
    Target target({"--frame", "200", "150", "--transient"});
    ASSERT_TRUE(target.Said("ready"));
    const unsigned long child = target.Line("child").value(0).toULong();
    const QRect childRect = testx11::WindowScreenRect(child);
    ASSERT_EQ(childRect.size(), QSize(120, 80));
    const QRect frame = FrameOf(child);
    ASSERT_GT(frame.height(), 300) << "the window manager framed the red window";

    // Client: the native child alone.
    Pick(CPickDlg::kModeClient, [&](CPickDlg&) { ClickAt(childRect.center()); });
    const QImage client = Capture(0);
    ASSERT_EQ(client.size(), QSize(120, 80));
    // The outline lay over its edges until the click: the window has repainted them since.
    QImage blue(client.size(), QImage::Format_RGB32);
    blue.fill(kBlue);
    EXPECT_EQ(client.convertToFormat(QImage::Format_RGB32), blue);

    // Window: the red top-level with its frame, from a point on the child.
    Pick(CPickDlg::kModeWindow, [&](CPickDlg&) { ClickAt(childRect.center()); });
    const QImage window = Capture(1);
    ASSERT_EQ(window.size(), frame.size());
    const QPoint childInFrame = childRect.center() - frame.topLeft();
    EXPECT_EQ(window.pixel(childInFrame), kBlue);
    EXPECT_EQ(window.pixel(childInFrame + QPoint(0, 70)), kRed);

    // Control: from the owned dialog, its owner with the dialog above it.
    const QPoint onDialog = frame.topLeft() + QPoint(300, 240);
    ASSERT_EQ(testx11::GrabScreen(QRect(onDialog, QSize(1, 1))).pixel(0, 0), kGreen);
    Pick(CPickDlg::kModeControl, [&](CPickDlg&) { ClickAt(onDialog); });
    const QImage control = Capture(2);
    ASSERT_EQ(control.size(), frame.size());
    EXPECT_EQ(control.pixel(onDialog - frame.topLeft()), kGreen);
    EXPECT_EQ(control.pixel(childInFrame + QPoint(0, 70)), kRed);
    EXPECT_TRUE(messages.empty());

    // Test: the scroll information of another program cannot be read; the Client capture follows.
    Pick(CPickDlg::kModeTest, [&](CPickDlg&) { ClickAt(childRect.center()); });
    EXPECT_EQ(Capture(3).size(), QSize(120, 80));
    EXPECT_EQ(messages, (std::vector<std::string>{"HWND", "0"}));

    // A browser mode on any other window: the message and no capture.
    messages.clear();
    Pick(CPickDlg::kModeWholePage, [&](CPickDlg&) { ClickAt(childRect.center()); });
    EXPECT_EQ(messages, std::vector<std::string>{"!! Not an Explorer Window"});
    testx11::Pump(300);
    EXPECT_FALSE(home.Exists("cache/IT-4.bmp"));
    EXPECT_EQ(App()->captureCounter, 4);
}

TEST_F(PickTest, DropdownCapturesTheListOpenedByThePress) {
    Target target({"--frame", "200", "150"});
    const QRect combo = target.Rect("combo");
    ASSERT_FALSE(combo.isEmpty());
    QRect list;
    Pick(CPickDlg::kModeDropdown, [&](CPickDlg&) {
        const QPoint point(combo.center().x(), combo.bottom() - 3);
        testx11::MoveMouse(point);
        testx11::Pump(150);
        testx11::ButtonDown(1);
        list = target.Rect("popup");
        testx11::ButtonUp(1);
        testx11::Pump(100);
    });
    ASSERT_FALSE(list.isEmpty()) << "the press opened no list";
    const QImage capture = Capture(0);
    EXPECT_EQ(capture.size(), list.size());
}

TEST_F(PickTest, UnmanagedWindowPartlyOffTheScreenIsCapturedFromItsVisiblePart) {
    Target target({"--bare", "-50", "-40"});
    ASSERT_TRUE(target.Said("ready"));
    Pick(CPickDlg::kModeClient, [&](CPickDlg&) { ClickAt({60, 50}); });
    const QImage capture = Capture(0);
    ASSERT_EQ(capture.size(), QSize(150, 110));
    for (QPoint p : {QPoint(0, 0), QPoint(149, 109), QPoint(70, 33)}) {
        const int x = p.x() + 50, y = p.y() + 40;
        EXPECT_EQ(capture.pixel(p), qRgb((x * 3) & 255, (y * 5) & 255, 90))
            << p.x() << "," << p.y();
    }
}

TEST_F(PickTest, OutlineFollowsCandidatesOnlyAndEscapeLeavesNothingBehind) {
    Target target({"--frame", "200", "150"});
    const unsigned long child = target.Line("child").value(0).toULong();
    const QRect childRect = testx11::WindowScreenRect(child);
    Display* watcher = XOpenDisplay(nullptr);
    int changes = -1;
    QRect outlined;
    Pick(CPickDlg::kModeClient, [&](CPickDlg& pick) {
        testx11::MoveMouse(childRect.center());
        EXPECT_TRUE(testx11::PumpUntil([&] { return pick.lastOutlined() == child; }));
        testx11::Pump(100);
        XSelectInput(watcher, pick.outlineWindow(), StructureNotifyMask);
        XSync(watcher, False);
        testx11::MoveMouse(childRect.center() + QPoint(10, 5));
        testx11::Pump(200);
        testx11::MoveMouse(childRect.center() - QPoint(10, 5));
        testx11::Pump(200);
        XSync(watcher, False);
        changes = XPending(watcher);
        XWindowAttributes a{};
        int x = 0, y = 0;
        Window none = 0;
        XGetWindowAttributes(watcher, pick.outlineWindow(), &a);
        XTranslateCoordinates(watcher, pick.outlineWindow(), DefaultRootWindow(watcher), 0, 0, &x,
                              &y, &none);
        outlined = QRect(x, y, a.width, a.height);
        testx11::TapKey("Escape");
        testx11::Pump(100);
    });
    XCloseDisplay(watcher);
    EXPECT_EQ(changes, 0) << "the outline moved or was mapped again over the same window";
    EXPECT_EQ(outlined, childRect);
    EXPECT_EQ(RunningPick(), nullptr);
    testx11::Pump(300);
    EXPECT_FALSE(home.Exists("cache/IT-0.bmp"));

    // The hook is free again, and the next pick starts afresh in its own mode.
    ASSERT_EQ(setMyHook(child), 1);
    EXPECT_EQ(clearMyHook(child), 1);
    Pick(CPickDlg::kModeWindow, [&](CPickDlg&) { ClickAt(childRect.center()); });
    EXPECT_EQ(Capture(0).size(), FrameOf(child).size());
}

TEST_F(PickTest, ExpertModeFeedsThePointToTheInspector) {
    Target target({"--frame", "200", "150"});
    const unsigned long child = target.Line("child").value(0).toULong();
    const QRect childRect = testx11::WindowScreenRect(child);
    App()->expertMode = 1;
    Pick(CPickDlg::kModeClient, [&](CPickDlg& pick) {
        ASSERT_NE(pick.inspector(), nullptr);
        EXPECT_TRUE(pick.inspector()->isVisible());
        testx11::MoveMouse(childRect.center());
        EXPECT_TRUE(testx11::PumpUntil([&] { return pick.lastOutlined() != 0; }));
        EXPECT_EQ(pick.inspector()->Point(), childRect.center());
        // The window under the pointer is what the inspector shows (row 2: its handle).
        auto* rows =
            pick.inspector()->findChild<QTreeWidget*>("id" + QString::number(ids::kInspectorRows));
        ASSERT_NE(rows, nullptr);
        EXPECT_EQ(rows->topLevelItem(2)->text(1),
                  QString::asprintf("0x%08X", static_cast<unsigned>(child)));
        testx11::TapKey("Escape");
    });
    App()->expertMode = 0;
}

TEST_F(PickTest, HookHeldElsewhereIsReportedAndThePickCanStillBeCancelled) {
    QProcess holder;
    holder.start(HOOK_HOLDER_BINARY, {"1234"});
    ASSERT_TRUE(holder.waitForReadyRead(5000));
    ASSERT_EQ(holder.readLine().trimmed(), "1");
    QTimer::singleShot(0, [] {
        EXPECT_TRUE(testx11::PumpUntil([] { return RunningPick() && RunningPick()->grabbing(); }));
        testx11::TapKey("Escape");
    });
    App()->Pick(CPickDlg::kModeClient);
    holder.kill();
    holder.waitForFinished(3000);
    EXPECT_EQ(messages, std::vector<std::string>{"MOUseHook not set"});
    EXPECT_EQ(RunningPick(), nullptr);
}

TEST_F(PickTest, PanelCommandsHideThePanelExceptForWindowAndTheTrayBalloonWaitsForCancel) {
    CControlPanel* panel = App()->panel();
    ASSERT_TRUE(testx11::PumpUntil([&] { return panel->isVisible(); }));
    for (int id : {ids::kCmdPickWindow, ids::kCmdPickClient}) {
        bool shownDuringPick = true;
        QTimer::singleShot(0, [&] {
            EXPECT_TRUE(
                testx11::PumpUntil([] { return RunningPick() && RunningPick()->grabbing(); }));
            shownDuringPick = panel->isVisible();
            testx11::TapKey("Escape");
        });
        panel->onCommand(id);
        EXPECT_EQ(shownDuringPick, id == ids::kCmdPickWindow) << id;
        EXPECT_TRUE(panel->isVisible()) << id;
    }

    // WINDOWCLIENT: the balloon without a mode hooks nothing and ends with its Cancel button.
    QTimer::singleShot(0, [&] {
        ASSERT_TRUE(testx11::PumpUntil([] { return RunningPick() != nullptr; }));
        testx11::Pump(300);
        CPickDlg* pick = RunningPick();
        EXPECT_FALSE(pick->hookSet());
        EXPECT_FALSE(pick->grabbing());
        EXPECT_TRUE(pick->findChild<QPlainTextEdit*>("id1050")->toPlainText().isEmpty());
        auto* cancel = pick->findChild<QPushButton*>("id2");
        const qreal ratio = cancel->devicePixelRatioF();
        const QPoint centre = cancel->mapToGlobal(cancel->rect().center());
        testx11::Click(QPoint(int(centre.x() * ratio), int(centre.y() * ratio)));
    });
    App()->coordinator()->onCommand(ids::kCmdWindowClient);
    EXPECT_EQ(RunningPick(), nullptr);
    EXPECT_TRUE(messages.empty());
}

}  // namespace
