// The list box whose horizontal extent follows its widest line.
#include "support/temp_folder.h"
#include "workspace/a_listbx.h"

#include <QScrollBar>

#include <gtest/gtest.h>

namespace {

TEST(AListbx, ExtentFollowsTheWidestLine) {
    CAListbx list;
    list.resize(120, 80);
    const QString longLine = "a much, much longer line than the first one, wider than the list";
    const int shortWidth = list.fontMetrics().horizontalAdvance("abc") + 3;
    const int longWidth = list.fontMetrics().horizontalAdvance(longLine) + 3;
    EXPECT_EQ(list.AddString("abc"), 0);
    EXPECT_EQ(list.GetHorizontalExtent(), shortWidth);
    EXPECT_EQ(list.InsertString(0, longLine), 0);
    EXPECT_EQ(list.GetHorizontalExtent(), longWidth);
    EXPECT_EQ(list.horizontalScrollBar()->maximum(), longWidth - list.viewport()->width());
    list.AddString("xy");  // narrower: no change
    EXPECT_EQ(list.GetHorizontalExtent(), longWidth);

    EXPECT_EQ(list.DeleteString(0), 2);
    EXPECT_EQ(list.GetHorizontalExtent(), shortWidth);
    EXPECT_EQ(list.DeleteString(7), CAListbx::kError);  // failed: unchanged
    EXPECT_EQ(list.InsertString(9, "x"), CAListbx::kError);
    EXPECT_EQ(list.GetHorizontalExtent(), shortWidth);

    list.addItem(longLine);  // Qt's own calls count too
    EXPECT_EQ(list.GetHorizontalExtent(), longWidth);
    list.ResetContent();
    EXPECT_EQ(list.GetHorizontalExtent(), 0);
    EXPECT_EQ(list.count(), 0);
}

TEST(AListbx, TabStopsMeasureTheTabbedLinePlusTwo) {
    CAListbx list(nullptr, true);
    list.AddString("a\tb");
    EXPECT_EQ(list.GetHorizontalExtent(),
              list.fontMetrics().size(Qt::TextExpandTabs, "a\tb").width() + 2);
}

TEST(AListbx, FillingFromAFolderMeasuresAllLines) {
    TempFolder folder;
    folder.Write("short.ini", "");
    folder.Write("a-rather-longer-file-name.ini", "");
    folder.Write("other.txt", "");
    CAListbx list;
    EXPECT_EQ(list.Dir(folder.path(), "*.ini"), 1);
    EXPECT_EQ(list.count(), 2);
    EXPECT_EQ(list.GetHorizontalExtent(),
              list.fontMetrics().horizontalAdvance("a-rather-longer-file-name.ini") + 3);
    EXPECT_EQ(list.Dir(folder.File("missing"), "*"), CAListbx::kError);
    EXPECT_EQ(list.count(), 2);
}

}  // namespace
