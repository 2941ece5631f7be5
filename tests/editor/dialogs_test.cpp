// The operation dialogs: initial choices, the Resize dialog's figures, and what OK hands over.
#include "editor/op_dialogs.h"

#include "support/x11_input.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

template <typename T>
T* Control(QWidget& dialog, int id) {
    return dialog.findChild<T*>(QString("id%1").arg(id));
}

TEST(EditorDialogs, OpenWithTheirInitialChoicesAndReturnThem) {
    CDecreaseDepthDlg decrease(4);
    EXPECT_TRUE(Control<QRadioButton>(decrease, 1018)->isChecked());
    EXPECT_EQ(Control<QRadioButton>(decrease, 1019)->text(), "Black and White");
    Control<QRadioButton>(decrease, 1017)->setChecked(true);
    decrease.accept();
    EXPECT_EQ(decrease.bits, 8);
    EXPECT_EQ(decrease.method, 1);
    EXPECT_EQ(decrease.diffusion, 1);

    CIncreaseDepthDlg increase(24);
    EXPECT_TRUE(Control<QRadioButton>(increase, 1019)->isChecked());
    Control<QRadioButton>(increase, 1017)->setChecked(true);
    increase.accept();
    EXPECT_EQ(increase.bits, 4);

    CRotateDlg rotate;
    EXPECT_TRUE(Control<QRadioButton>(rotate, 1034)->isChecked());
    EXPECT_EQ(rotate.QuarterTurns(), 1);
    Control<QRadioButton>(rotate, 1036)->setChecked(true);
    EXPECT_EQ(rotate.QuarterTurns(), 3);
}

TEST(EditorDialogs, ResizeKeepsTheProportionInSinglePrecision) {
    CResizeDlg resize(200, 100);
    resize.show();
    auto* width = Control<QLineEdit>(resize, 1062);
    auto* height = Control<QLineEdit>(resize, 1063);
    auto* factor = Control<QLineEdit>(resize, 1065);
    EXPECT_TRUE(Control<QCheckBox>(resize, 1064)->isChecked());
    EXPECT_TRUE(Control<QCheckBox>(resize, 1008)->isChecked());
    EXPECT_EQ(factor->text(), "1.000000");
    resize.activateWindow();
    ASSERT_TRUE(testx11::PumpUntil([&] { return resize.isActiveWindow(); }));

    width->setFocus();
    width->setText("100");
    height->setFocus();  // the width loses the focus
    ASSERT_TRUE(testx11::PumpUntil([&] { return height->text() == "50"; }));
    EXPECT_EQ(factor->text(), "0.500000");

    height->setText("25");
    width->setFocus();
    ASSERT_TRUE(testx11::PumpUntil([&] { return width->text() == "50"; }));
    EXPECT_EQ(factor->text(), "0.250000");

    // Unchecked, the two sizes go their own ways.
    Control<QCheckBox>(resize, 1064)->setChecked(false);
    width->setText("70");
    height->setFocus();
    testx11::Pump(50);
    EXPECT_EQ(height->text(), "25");
    resize.accept();
    EXPECT_EQ(resize.width, 70u);
    EXPECT_EQ(resize.height, 25u);
    EXPECT_TRUE(resize.fast);
}

// Enter right after typing closes the dialog with the width typed and its height.
TEST(EditorDialogs, ResizeKeepsTheProportionWhenEnterClosesIt) {
    CResizeDlg resize(4000, 6000);
    resize.show();
    resize.activateWindow();
    ASSERT_TRUE(testx11::PumpUntil([&] { return resize.isActiveWindow(); }));
    auto* width = Control<QLineEdit>(resize, 1062);
    width->setFocus();
    width->selectAll();
    QTest::keyClick(width, Qt::Key_Backspace);  // an empty field on the way keeps the proportion
    QTest::keyClicks(width, "2000");
    QTest::keyClick(width, Qt::Key_Return);
    ASSERT_TRUE(testx11::PumpUntil([&] { return !resize.isVisible(); }));
    EXPECT_EQ(resize.result(), QDialog::Accepted);
    EXPECT_EQ(resize.width, 2000u);
    EXPECT_EQ(resize.height, 3000u);
}

}  // namespace
