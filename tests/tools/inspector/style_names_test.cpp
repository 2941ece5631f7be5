#include "tools/inspector/style_names.h"
#include "tools/inspector/window_facts.h"

#include <gtest/gtest.h>

#include <string>

using namespace inspector;

namespace {

bool Lists(const std::string& names, const std::string& name) {
    return (", " + names + ", ").find(", " + name + ", ") != std::string::npos;
}

std::string Controls(const char* className, std::uint32_t style, std::uint32_t answer = 0,
                     std::uint32_t* asked = nullptr) {
    return DecodeControlStyles(className, style, [&](std::uint32_t message) {
        if (asked) *asked = message;
        return answer;
    });
}

}  // namespace

TEST(StyleNames, ZeroValuedEntriesAlwaysApplyAndSharedBitsListBothNames) {
    const std::string overlapped = DecodeStyle(WindowStyleNames(), 0x14CF0000);
    EXPECT_TRUE(Lists(overlapped, "WS_OVERLAPPED"));
    EXPECT_TRUE(Lists(overlapped, "WS_CAPTION"));
    EXPECT_FALSE(Lists(overlapped, "WS_CHILD"));
    EXPECT_EQ(DecodeStyle(ExtendedStyleNames(), 0),
              "WS_EX_LEFT, WS_EX_LTRREADING, WS_EX_RIGHTSCROLLBAR");

    const std::string tabStop = DecodeStyle(WindowStyleNames(), 0x50010000);
    EXPECT_TRUE(Lists(tabStop, "WS_TABSTOP"));
    EXPECT_TRUE(Lists(tabStop, "WS_MAXIMIZEBOX"));
    EXPECT_FALSE(Lists(tabStop, "WS_GROUP"));
}

TEST(StyleNames, MaskedEntriesPickOneOfAGroup) {
    EXPECT_EQ(Controls("Button", 0x50010000), "BS_PUSHBUTTON, BS_TEXT");
    EXPECT_EQ(Controls("button", 0x50010001), "BS_DEFPUSHBUTTON, BS_TEXT");
    const std::string edit = Controls("Edit", 0x50810001);
    EXPECT_TRUE(Lists(edit, "ES_CENTER"));
    EXPECT_FALSE(Lists(edit, "ES_LEFT"));
    EXPECT_FALSE(Lists(edit, "ES_RIGHT"));
    EXPECT_EQ(Controls("NoSuchClass", 0xFFFFFFFF), "");
}

TEST(StyleNames, ExtendedControlStylesComeFromTheClassMessageAndAliasesAddTheirOwn) {
    std::uint32_t asked = 0;
    const std::string list = Controls("SysListView32", 0x50010001, 0x20, &asked);
    EXPECT_EQ(asked, 0x1037u);
    EXPECT_TRUE(Lists(list, "LVS_REPORT"));
    EXPECT_TRUE(Lists(list, "LVS_EX_FULLROWSELECT"));
    EXPECT_FALSE(Lists(list, "LVS_EX_GRIDLINES"));

    // Rich edit: its own styles, the edit control's, then the event mask (none set).
    EXPECT_EQ(Controls("RichEdit", 0x8004), "ES_SAVESEL, ES_LEFT, ES_MULTILINE, ENM_NONE");
    // The toolbar's alias is a style block of its own, not a control class.
    EXPECT_EQ(Controls("toolbarwindow32", 0x901, 1),
              "TBSTYLE_TOOLTIPS, TBSTYLE_FLAT, "
              "CCS_TOP, TBSTYLE_EX_DRAWDDARROWS");
}

TEST(StyleNames, HitTestCodesTakeTheLaterNameAndUnknownCodesNone) {
    EXPECT_EQ(HitTestCodeName(4), "HTSIZE");
    EXPECT_EQ(HitTestCodeName(8), "HTREDUCE");
    EXPECT_EQ(HitTestCodeName(9), "HTZOOM");
    EXPECT_EQ(HitTestCodeName(10), "HTSIZEFIRST");
    EXPECT_EQ(HitTestCodeName(17), "HTSIZELAST");
    EXPECT_EQ(HitTestCodeName(-2), "HTERROR");
    EXPECT_EQ(HitTestCodeName(22), "");
}

TEST(HitTest, FrameZonesCornersReachSixteenPixelsPastTheBorder) {
    // A frame with 4-pixel borders and a 24-pixel top extent around a 200 x 100 client.
    const QRect client(104, 124, 200, 100);
    const QRect frame = client.adjusted(-4, -24, 4, 4);
    auto at = [&](int x, int y) { return HitTestCode(QPoint(x, y), frame, client, true); };
    EXPECT_EQ(at(150, 150), HTCLIENT);
    EXPECT_EQ(at(150, 110), HTCAPTION);
    EXPECT_EQ(at(150, 101), HTTOP);
    EXPECT_EQ(at(101, 170), HTLEFT);
    EXPECT_EQ(at(306, 170), HTRIGHT);
    EXPECT_EQ(at(200, 226), HTBOTTOM);
    EXPECT_EQ(at(307, 227), HTBOTTOMRIGHT);
    EXPECT_EQ(at(288, 226), HTBOTTOMRIGHT);  // 4 + 16 pixels from the right edge
    EXPECT_EQ(at(287, 226), HTBOTTOM);
    EXPECT_EQ(at(101, 119), HTTOPLEFT);  // 4 + 16 pixels from the top edge
    EXPECT_EQ(at(101, 120), HTLEFT);
    EXPECT_EQ(at(400, 400), HTNOWHERE);
}
