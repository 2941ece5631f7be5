// The floating panel with the real windows.
#include "ids.h"
#include "panel/control_panel.h"
#include "panel/hover_button.h"
#include "panel/tray_icon.h"
#include "capture/mw.h"
#include "running_app.h"
#include "support/program_run.h"
#include "tools/icons/icon_dlg.h"
#include "workspace/capture_preview_dlg.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QScopeGuard>
#include <QScreen>
#include <QTimer>

namespace {

CControlPanel& Panel() {
    return *App()->panel();
}

QPoint Centre(QWidget* widget) {
    return widget->mapToGlobal(widget->rect().center());
}

TEST_F(RunningApp, PanelSitsAtTheBottomRightCornerWithItsButtons) {
    ASSERT_TRUE(testx11::PumpUntil([] { return Panel().isVisible(); }));
    // Right on the corner of what the desktop leaves free above icewm's task bar.
    const QRect available = Panel().screen()->availableGeometry();
    ASSERT_LT(available.bottom(), 1023) << "icewm announces its task bar";
    EXPECT_EQ(Panel().frameGeometry(),
              QRect(available.right() - 247, available.bottom() - 169, 248, 170));
    EXPECT_EQ(App()->panelRect.topLeft(), Panel().frameGeometry().topLeft());
    EXPECT_EQ(Panel().button(ids::kPanelDesktop)->TipText(), "Capture Desktop!");
    EXPECT_EQ(Panel().button(ids::kPanelCancel)->TipText(), "Click Here To Hide Quillet!");
    EXPECT_TRUE(Panel().button(ids::kPanelOk)->TipActive());
}

TEST_F(RunningApp, DraggingThePanelTakesTheSlidOutPreviewAlong) {
    ASSERT_TRUE(testx11::PumpUntil([] { return Panel().isVisible(); }));
    CCapturePreviewDlg* preview = Panel().preview();
    testx11::Click(Centre(Panel().button(ids::kPanelSlide)));
    ASSERT_TRUE(
        testx11::PumpUntil([&] { return preview->isVisible() && !preview->slide().IsRunning(); }));

    const QPoint grip = Panel().mapToGlobal(QPoint(124, 12));  // background, away from the buttons
    const QPoint start = Panel().pos();
    testx11::MoveMouse(grip);
    testx11::Pump(50);
    testx11::ButtonDown(1);
    testx11::Pump(50);
    testx11::MoveMouse(grip + QPoint(-60, -30));
    testx11::Pump(50);
    testx11::MoveMouse(grip + QPoint(-120, -70));
    testx11::Pump(100);
    testx11::ButtonUp(1);
    ASSERT_TRUE(testx11::PumpUntil([&] { return Panel().pos() == start + QPoint(-120, -70); }));

    const QRect panel = Panel().frameGeometry();
    EXPECT_TRUE(testx11::PumpUntil([&] {
        return preview->geometry() == QRect(panel.left() - preview->WindowWidth(), panel.top(),
                                            preview->WindowWidth(), preview->WindowHeight() - 2);
    })) << "preview at "
        << preview->geometry().x() << "," << preview->geometry().y();
}

TEST_F(RunningApp, WindowMenuOpensThirtyPixelsAboveThePointer) {
    ASSERT_TRUE(testx11::PumpUntil([] { return Panel().isVisible(); }));
    Panel().move(400, 400);  // away from the screen's edges, so the menu is not pushed aside
    testx11::Pump(200);
    QPoint menuAt;
    QStringList items;
    QObject::connect(&Panel(), &CControlPanel::menuShown, [&](QMenu* menu) {
        menuAt = menu->pos();
        for (QAction* action : menu->actions()) items << action->text();
        testx11::TapKey("Escape");
    });
    const QPoint pointer = Centre(Panel().button(ids::kPanelWindow));
    testx11::Click(pointer);
    ASSERT_TRUE(testx11::PumpUntil([&] { return !items.isEmpty() && !Panel().openMenu(); }));
    EXPECT_EQ(items, QStringList({"Window", "Client", "Control", "Dropdown", "Explorer", "Test"}));
    EXPECT_EQ(menuAt, pointer - QPoint(0, 30));
}

// Every action of the panel's menus, the tray menu and the Options button that is shown enabled
// has a handler; those without one are shown disabled (and a disabled button greyed).
TEST_F(RunningApp, ControlsWithoutAHandlerAreShownDisabled) {
    ASSERT_TRUE(testx11::PumpUntil([] { return Panel().isVisible(); }));
    CMW& coordinator = *App()->coordinator();
    std::vector<QAction*> actions;
    const auto collect = [&](QMenu& menu, const auto& self) -> void {
        for (QAction* action : menu.actions()) {
            if (action->menu())
                self(*action->menu(), self);
            else if (action->data().toInt() > 0)
                actions.push_back(action);
        }
    };
    const std::unique_ptr<QMenu> tray = CTrayIcon::LoadTrayMenu();
    collect(*tray, collect);
    ASSERT_EQ(actions.size(), 7u);
    QStringList panelItems;
    QObject::connect(&Panel(), &CControlPanel::menuShown, [&](QMenu* menu) {
        std::vector<QAction*> before = actions;
        collect(*menu, collect);
        for (size_t i = before.size(); i < actions.size(); ++i) {
            panelItems << actions[i]->text();
            // The menu goes when it closes: note what is needed now.
            if (!actions[i]->isEnabled()) {
                EXPECT_FALSE(Panel().onCommand(actions[i]->data().toInt()))
                    << actions[i]->text().toStdString();
            }
        }
        actions.resize(before.size());
        testx11::TapKey("Escape");
    });
    for (int button : {ids::kPanelWindow, ids::kPanelIcons}) {
        const int seen = panelItems.size();
        testx11::Click(Centre(Panel().button(button)));
        ASSERT_TRUE(
            testx11::PumpUntil([&] { return panelItems.size() > seen && !Panel().openMenu(); }));
    }
    EXPECT_EQ(panelItems.size(), 9);
    for (QAction* action : actions) {
        if (action->isEnabled()) continue;
        EXPECT_FALSE(coordinator.onCommand(action->data().toInt())) << action->text().toStdString();
    }

    CHoverButton* options = Panel().button(ids::kPanelOptions);
    if (!options->isEnabled()) {
        EXPECT_FALSE(coordinator.onCommand(ids::kCmdProperties));
        const QImage face = options->grab().toImage();
        const QRgb middle = face.pixel(face.width() / 2, face.height() / 2);
        EXPECT_TRUE(qRed(middle) == qGreen(middle) && qGreen(middle) == qBlue(middle))
            << "a disabled button is greyed";
    }
}

TEST_F(RunningApp, IconsMenuRunsTheIconWindowInEitherMode) {
    ASSERT_TRUE(testx11::PumpUntil([] { return Panel().isVisible(); }));
    for (const int downs : {1, 2}) {  // "System Icons", "Extract Icon"
        QObject::connect(&Panel(), &CControlPanel::menuShown, [downs](QMenu*) {
            for (int i = 0; i < downs; ++i) testx11::TapKey("Down");
            testx11::TapKey("Return");
        });
        // The window runs modally: a timer looks at it and closes it.
        int browseShown = -1;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            auto* tool = qobject_cast<CIconDlg*>(QApplication::activeModalWidget());
            if (!tool || !tool->isActiveWindow()) return;
            browseShown = tool->browseButton()->isVisible();
            tool->closeButton()->click();
        });
        watch.start(20);
        testx11::Click(Centre(Panel().button(ids::kPanelIcons)));
        ASSERT_TRUE(testx11::PumpUntil(
            [&] { return browseShown >= 0 && !QApplication::activeModalWidget(); }));
        EXPECT_EQ(browseShown, downs == 2);
        QObject::disconnect(&Panel(), &CControlPanel::menuShown, nullptr, nullptr);
    }
}

TEST_F(RunningApp, HelpOpensTheShippedPageThroughTheDesktop) {
    ASSERT_TRUE(testx11::PumpUntil([] { return Panel().isVisible(); }));
    // The desktop's opener stands in for whatever browser the machine has: a test never starts one.
    QDir().mkpath(home.File("opener"));
    home.Write("opener/xdg-open",
               "#!/bin/sh\necho \"$1\" > \"" + home.File("opened").toUtf8() + "\"\n");
    QFile::setPermissions(home.File("opener/xdg-open"),
                          QFile::ReadOwner | QFile::ExeOwner | QFile::WriteOwner);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", home.File("opener").toUtf8() + ":" + path);
    const auto restorePath = qScopeGuard([&] { qputenv("PATH", path); });
    // Another user's entry under the old fixed name in the temporary folder changes nothing.
    const QByteArray temporary = qgetenv("TMPDIR");
    qputenv("TMPDIR", home.File("tmp").toUtf8());
    const auto restoreTemporary = qScopeGuard([&] { qputenv("TMPDIR", temporary); });
    ASSERT_TRUE(QDir().mkpath(home.File("tmp/quillet-help.html")));
    testx11::Click(Centre(Panel().button(ids::kPanelHelp)));
    ASSERT_TRUE(WaitForFile("opened"));
    const QString page = QString::fromUtf8(home.Read("opened")).trimmed().remove("file://");
    EXPECT_TRUE(page.startsWith(home.File("tmp/quillet-help-")) && page.endsWith(".html"))
        << page.toStdString();
    EXPECT_EQ(QFileInfo(page).permissions() & 0x0077, 0) << "private to the user";
    QFile shipped(page);
    ASSERT_TRUE(shipped.open(QIODevice::ReadOnly));
    EXPECT_TRUE(shipped.readAll().contains("<h2>The panel</h2>"));
}

TEST(PanelProgram, EscapeHidesThePanelAndEnterQuits) {
    TempFolder home;
    ProgramRun run(home);
    ASSERT_TRUE(run.Start());
    QRect panel(0, 0, 248, 170);
    auto panelShown = [&] {
        for (unsigned long window : run.Windows()) {
            const QRect rect = testx11::WindowScreenRect(window);
            if (rect.size() == panel.size()) return panel = rect, true;
        }
        return false;
    };
    ASSERT_TRUE(testx11::PumpUntil(panelShown));
    testx11::Click(panel.topLeft() + QPoint(124, 12));
    testx11::TapKey("Escape");
    EXPECT_TRUE(testx11::PumpUntil([&] { return !panelShown(); }));
    EXPECT_TRUE(run.Running());

    run.ChooseTrayMenuItem(1);  // START brings it back
    ASSERT_TRUE(testx11::PumpUntil(panelShown));
    testx11::Click(panel.topLeft() + QPoint(124, 12));
    testx11::TapKey("Return");
    EXPECT_EQ(run.WaitForExit(), 0);
}

}  // namespace
