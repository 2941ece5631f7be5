// The application object's windows and exit step, inside the test process.
#include "app/quillet_app.h"
#include "editor/main_frame.h"
#include "ids.h"
#include "panel/tray_icon.h"
#include "platform/fixed_wait.h"
#include "support/temp_folder.h"
#include "support/x11_input.h"

#include <QApplication>
#include <QEventLoop>
#include <QMouseEvent>
#include <QTimer>
#include <QDir>
#include <QMenu>
#include <QToolBar>

#include <gtest/gtest.h>

#include <vector>

namespace {

// A click made while a fixed wait holds input back reaches its window once the event loop runs
// again, with no further input to wake it.
TEST(FixedWait, AClickDuringTheWaitArrivesAfterIt) {
    struct Target : QWidget {
        int presses = 0;
        void mousePressEvent(QMouseEvent*) override { ++presses; }
    } target;
    target.setGeometry(60, 60, 200, 150);
    target.show();
    ASSERT_TRUE(testx11::PumpUntil([&] { return target.isVisible(); }));
    testx11::Pump(300);
    testx11::MoveMouse(target.mapToGlobal(target.rect().center()));
    testx11::Pump(100);

    QTimer::singleShot(100, [] {
        testx11::ButtonDown(1);
        testx11::ButtonUp(1);
    });
    platform::FixedWait(400);
    EXPECT_EQ(target.presses, 0) << "held back during the wait";

    // The plain event loop, as the program runs it: no processing of our own that would look
    // at the held input.
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (target.presses > 0) loop.quit();
    });
    poll.start(10);
    QTimer::singleShot(3000, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(target.presses, 1);
}

// Stands in for the coordinator window: counts notifications and commands.
class RecordingCoordinator : public CTrayNotifyWindow, public CCommandTarget {
  public:
    explicit RecordingCoordinator(CTrayIcon& tray) : tray_(tray) {}
    int TrayNotification(int iconId, int mouseMessage) override {
        notifications.push_back(mouseMessage);
        return tray_.OnTrayNotification(iconId, mouseMessage);
    }
    bool onCommand(int id) override {
        commands.push_back(id);
        return true;
    }
    std::vector<int> notifications;
    std::vector<int> commands;

  private:
    CTrayIcon& tray_;
};

struct TrayFixture : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(tray.Create(&coordinator, ids::kTrayCallbackMessage, "Quillet",
                                QIcon(":/icons/tray.png"), ids::kTrayMenu));
        tray.SetTarget(&coordinator);
        tray.SetDefaultItem(ids::kCmdStart, false);
        ASSERT_TRUE(testx11::PumpUntil([this] { return IconRect().isValid(); }));
    }
    // The next test's icon sits where this one was: a click on it within the double-click time
    // would arrive as the second half of a double click, which the tray ignores. So the icon
    // leaves the tray and that time passes before the next test clicks.
    void TearDown() override {
        tray.Destroy();
        EXPECT_TRUE(testx11::PumpUntil([this] { return IconWindows().empty(); }));
        testx11::Pump(QApplication::doubleClickInterval() + 50);
    }
    std::vector<QRect> IconWindows() {
        std::vector<QRect> icons;
        for (unsigned long window : testx11::FindViewableWindows("app_tests")) {
            const QRect rect = testx11::WindowScreenRect(window);
            if (rect.width() <= 64) icons.push_back(rect);
        }
        return icons;
    }
    QRect IconRect() {
        const std::vector<QRect> icons = IconWindows();
        return icons.size() == 1 ? icons.front() : QRect();
    }
    CTrayIcon tray;
    RecordingCoordinator coordinator{tray};
};

TEST_F(TrayFixture, LeftClickRunsTheDefaultCommandOnceThroughTheCoordinator) {
    EXPECT_EQ(tray.tip(), "Quillet");
    testx11::Click(IconRect().center(), 1);
    testx11::PumpUntil([this] { return !coordinator.commands.empty(); }, 2000);
    testx11::Pump(300);
    EXPECT_EQ(coordinator.commands, std::vector<int>{ids::kCmdStart});
    ASSERT_FALSE(coordinator.notifications.empty());
    EXPECT_EQ(coordinator.notifications.front(), CTrayIcon::kLeftButtonUp);
}

// The menu runs its own event loop: the checks happen while it is open.
TEST_F(TrayFixture, RightClickShowsTheMenuWithStartBoldAndEscapeChoosesNothing) {
    QStringList texts;
    bool startBold = false, exitBold = true;
    QString screenItem;
    QObject::connect(&tray, &CTrayIcon::menuShown, [&](QMenu* menu) {
        const auto actions = menu->actions();
        for (QAction* action : actions) texts << action->text();
        startBold = actions[0]->font().bold();
        exitBold = actions[1]->font().bold();
        screenItem = actions[3]->menu()->actions().value(2)->text();
        testx11::TapKey("Escape");
    });
    testx11::Click(IconRect().center(), 3);
    ASSERT_TRUE(testx11::PumpUntil([&] { return !texts.isEmpty() && !tray.openMenu(); }, 3000));
    EXPECT_EQ(texts, QStringList({"START", "EXIT", "ABOUT", "CAPTURE", "PROPERTIES"}));
    EXPECT_TRUE(startBold);
    EXPECT_FALSE(exitBold);
    EXPECT_EQ(screenItem, "&SCREEN..\tCtl+Z");
    EXPECT_TRUE(coordinator.commands.empty());
}

TEST_F(TrayFixture, ChosenMenuItemReachesTheTarget) {
    QObject::connect(&tray, &CTrayIcon::menuShown, [](QMenu*) {
        testx11::TapKey("Down");
        testx11::TapKey("Down");  // from the top: EXIT
        testx11::TapKey("Return");
    });
    testx11::Click(IconRect().center(), 3);
    testx11::PumpUntil([&] { return !coordinator.commands.empty(); }, 3000);
    EXPECT_EQ(coordinator.commands, std::vector<int>{ids::kCmdExit});
}

TEST(TrayIcon, NotificationsForAnotherIconAreIgnored) {
    CTrayIcon tray;
    RecordingCoordinator coordinator(tray);
    ASSERT_TRUE(tray.Create(&coordinator, ids::kTrayCallbackMessage, QString(200, 'x'), QIcon(),
                            ids::kTrayMenu));
    tray.SetTarget(&coordinator);
    tray.SetDefaultItem(1, true);  // by position: EXIT
    EXPECT_EQ(tray.tip().size(), CTrayIcon::kTipLength);
    EXPECT_EQ(tray.OnTrayNotification(ids::kTrayMenu + 1, CTrayIcon::kLeftButtonUp), 0);
    EXPECT_EQ(tray.OnTrayNotification(ids::kTrayMenu, CTrayIcon::kLeftButtonDoubleClick), 0);
    EXPECT_TRUE(coordinator.commands.empty());
    tray.OnTrayNotification(ids::kTrayMenu, CTrayIcon::kLeftButtonUp);
    EXPECT_EQ(coordinator.commands, std::vector<int>{ids::kCmdExit});
}

TEST(MainFrame, ClosingHidesItUntilTheProgramQuits) {
    CMainFrame frame;
    ASSERT_TRUE(frame.Create());
    EXPECT_TRUE(frame.isHidden()) << "the frame starts hidden";
    frame.show();
    testx11::Pump(100);
    App()->quitting = 0;
    EXPECT_FALSE(frame.close());
    EXPECT_TRUE(frame.isHidden());
    frame.show();
    App()->quitting = 1;
    EXPECT_TRUE(frame.close());
    App()->quitting = 0;
}

TEST(MainFrame, ToolBarCarriesTheEditorCommandsInOrder) {
    CMainFrame frame;
    ASSERT_TRUE(frame.Create());
    std::vector<int> ids;
    for (QAction* action : frame.findChild<QToolBar*>()->actions()) {
        ids.push_back(action->isSeparator() ? 0 : action->data().toInt());
    }
    EXPECT_EQ(ids,
              (std::vector<int>{57600, 57601, 57603, 0, 57635, 57634, 57637, 0, 57607, 0, 57664}));
}

TEST(Session, HistoryGetsTheSessionOnlyWhenUsedAndNotLoaded) {
    TempFolder home;
    CQuilletApp* app = App();
    app->baseFolder = home.path().toStdString() + "/";
    app->binFolder = app->baseFolder + "bin/";
    app->SetSessionPaths(4);
    app->sessionUsed = 0;
    app->sessionLoaded = 0;

    app->AppendSessionToHistory();
    EXPECT_FALSE(home.Exists("SESSIONS.INI"));

    app->EnsureSessionFolders();
    EXPECT_EQ(app->sessionUsed, 1);
    for (const char* folder : {"bin/session4", "bin/session4/thumbnails", "bin/session4/html"}) {
        EXPECT_TRUE(QDir(home.File(folder)).exists()) << folder;
    }
    app->AppendSessionToHistory();
    app->AppendSessionToHistory();
    const QByteArray line = (home.path() + "/bin/session4/\n").toLocal8Bit();
    EXPECT_EQ(home.Read("SESSIONS.INI"), line + line) << "lines are only appended";

    app->sessionLoaded = 1;
    app->AppendSessionToHistory();
    EXPECT_EQ(home.Read("SESSIONS.INI"), line + line);
    app->sessionUsed = app->sessionLoaded = 0;
}

}  // namespace
