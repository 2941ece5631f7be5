// The Window menu lists the open documents, the active one checked, each on Alt+1..9.
#include "editor_fixture.h"

#include "ids.h"

#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

namespace {

using EditorWindowMenu = EditorFixture;

QMenu* WindowMenu(CMainFrame& frame) {
    for (QAction* action : frame.menuBar()->actions()) {
        if (action->text() == "&Window") return action->menu();
    }
    return nullptr;
}

QStringList Listed(QMenu& menu) {
    QStringList items;
    for (QAction* action : menu.actions()) {
        if (!action->isSeparator()) items << (action->isChecked() ? "* " : "  ") + action->text();
    }
    return items;
}

TEST_F(EditorWindowMenu, ListsTheDocumentsWithTheActiveOneChecked) {
    QMenu* menu = WindowMenu(*frame);
    ASSERT_NE(menu, nullptr);
    CLumoDoc* first = NewDocument(Gradient(40, 30), "first.png");
    NewDocument(Gradient(40, 30), "second & third.png");
    CLumoDoc* third = NewDocument(Gradient(40, 30), "third.png");
    emit menu->aboutToShow();
    EXPECT_EQ(Listed(*menu),
              (QStringList{"  &Cascade", "  &Tile", "  &Arrange Icons", "  &1 first.png",
                           "  &2 second && third.png", "* &3 third.png"}));
    EXPECT_EQ(frame->findChild<QAction*>("window2")->shortcut(), QKeySequence("Alt+2"));

    // Alt+1 from the keyboard brings the first forward; closing one renumbers the rest.
    frame->activateWindow();
    ASSERT_TRUE(testx11::PumpUntil([&] { return frame->isActiveWindow(); }));
    QTest::keyClick(frame.get(), Qt::Key_1, Qt::AltModifier);
    EXPECT_EQ(frame->ActiveDocument(), first);
    EXPECT_TRUE(frame->findChild<QAction*>("window1")->isChecked());
    frame->docTemplate()->FrameOf(third)->CloseQuietly();
    testx11::Pump(50);
    emit menu->aboutToShow();
    EXPECT_EQ(Listed(*menu).size(), 5);
}

}  // namespace
