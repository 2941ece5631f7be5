// The hover button's pictures under the real pointer, and its one tooltip tool.
#include "panel/hover_button.h"
#include "support/x11_input.h"

#include <QToolTip>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

// A strip of three flat pictures (red, green, blue) and two spare columns on the right.
QImage ColourStrip(int pictureWidth, int height, int spare = 0) {
    QImage strip(pictureWidth * 3 + spare, height, QImage::Format_RGB32);
    strip.fill(qRgb(255, 255, 255));
    const QRgb colours[] = {qRgb(200, 30, 30), qRgb(30, 200, 30), qRgb(30, 30, 200)};
    for (int i = 0; i < 3; ++i) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < pictureWidth; ++x)
                strip.setPixel(i * pictureWidth + x, y, colours[i]);
    }
    return strip;
}

constexpr QRgb kNormal = 0xFFC81E1E, kPressed = 0xFF1EC81E, kHover = 0xFF1E1EC8;

struct HoverButton : ::testing::Test {
    HoverButton() {
        window.setGeometry(300, 300, 200, 100);
        button = new CHoverButton(&window);
        button->move(40, 30);
    }
    void Show() {
        window.show();
        ASSERT_TRUE(testx11::PumpUntil([&] { return window.isVisible(); }));
        testx11::Pump(200);
    }
    QPoint Centre() const { return button->mapToGlobal(button->rect().center()); }
    QRgb OnScreen() const { return testx11::GrabScreen(QRect(Centre(), QSize(1, 1))).pixel(0, 0); }

    QWidget window{nullptr, Qt::FramelessWindowHint};
    CHoverButton* button;
};

TEST_F(HoverButton, TheStripSizesTheButtonToOnePicture) {
    EXPECT_EQ(button->SetStripBitmap(212), 1);
    EXPECT_EQ(button->size(), QSize(55, 22));
    EXPECT_EQ(button->SetStripBitmap(219), 1);
    EXPECT_EQ(button->size(), QSize(110, 22));
    EXPECT_EQ(button->SetStripBitmap(227), 1);
    EXPECT_EQ(button->size(), QSize(7, 9));
    EXPECT_EQ(button->pos(), QPoint(40, 30));  // resized in place
    // A width that is not a multiple of 3: the spare columns are never shown.
    button->SetStripBitmap(ColourStrip(10, 8, 2));
    EXPECT_EQ(button->size(), QSize(10, 8));
    // No such picture: an empty button.
    EXPECT_EQ(button->SetStripBitmap(999), 1);
    EXPECT_EQ(button->size(), QSize(0, 0));
}

TEST_F(HoverButton, PointerRestingShowsHoverLeavingShowsNormalPressingWins) {
    button->SetStripBitmap(ColourStrip(30, 20, 2));
    testx11::MoveMouse(QPoint(10, 10));
    Show();
    EXPECT_EQ(OnScreen(), kNormal);
    EXPECT_FALSE(button->tracking());

    testx11::MoveMouse(Centre());
    ASSERT_TRUE(testx11::PumpUntil([&] { return button->hover(); }, 2000));
    EXPECT_TRUE(button->tracking());
    testx11::Pump(50);
    EXPECT_EQ(OnScreen(), kHover);

    testx11::ButtonDown();
    ASSERT_TRUE(testx11::PumpUntil([&] { return button->isDown(); }, 2000));
    testx11::Pump(50);
    EXPECT_EQ(button->CurrentPicture(), 1);
    EXPECT_EQ(OnScreen(), kPressed);
    testx11::ButtonUp();
    ASSERT_TRUE(testx11::PumpUntil([&] { return !button->isDown(); }, 2000));
    testx11::Pump(50);
    EXPECT_EQ(OnScreen(), kHover);

    testx11::MoveMouse(QPoint(10, 10));
    ASSERT_TRUE(testx11::PumpUntil([&] { return !button->hover(); }, 2000));
    EXPECT_FALSE(button->tracking());
    testx11::Pump(50);
    EXPECT_EQ(OnScreen(), kNormal);

    // Passing over without stopping still turns hover on.
    testx11::MoveMouse(Centre() - QPoint(10, 0));
    testx11::MoveMouse(Centre() + QPoint(10, 0));
    EXPECT_TRUE(testx11::PumpUntil([&] { return button->hover(); }, 2000));
}

TEST_F(HoverButton, SetTipReplacesTheTextOfItsOneTool) {
    button->SetStripBitmap(ColourStrip(30, 20));
    button->SetTip(QString(), true);  // no text: nothing made
    EXPECT_EQ(button->ToolCount(), 0);
    button->EnableTip(true);
    EXPECT_FALSE(button->TipActive());
    button->SetTip("first", true);
    button->SetTip("second", true);
    EXPECT_EQ(button->ToolCount(), 1);
    EXPECT_EQ(button->TipText(), "second");

    testx11::MoveMouse(QPoint(10, 10));
    Show();
    testx11::MoveMouse(Centre());
    ASSERT_TRUE(testx11::PumpUntil([] { return QToolTip::isVisible(); }, 4000));
    EXPECT_EQ(QToolTip::text(), "second");

    // Switched off, the tooltip stays away.
    testx11::MoveMouse(QPoint(10, 10));
    QToolTip::hideText();
    ASSERT_TRUE(testx11::PumpUntil([] { return !QToolTip::isVisible(); }, 3000));
    button->EnableTip(false);
    testx11::MoveMouse(Centre());
    EXPECT_FALSE(testx11::PumpUntil([] { return QToolTip::isVisible(); }, 1500));
}

}  // namespace
