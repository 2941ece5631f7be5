// The slide scheme on a plain window of 249 x 100 pixels.
#include "support/x11_input.h"
#include "workspace/slide_animation.h"

#include <QWidget>

#include <gtest/gtest.h>

namespace {

struct Slide : ::testing::Test {
    Slide() { window.setWindowFlags(Qt::Tool | Qt::FramelessWindowHint); }
    QWidget window;
    int hidden = 1;
    QRect reference{800, 500, 200, 150};
    CSlideAnimation slide{window, CSlideAnimation::Direction::Left, hidden,
                          [this] { return reference; }};
};

// 249 / 10 = 24 pixels a step: out to reference left - 240, and back in, hidden once 24 k >= 249.
TEST_F(Slide, AWindow249PixelsWideMoves24PixelsPerStep) {
    slide.SetSize(249, 100);
    slide.Toggle();
    EXPECT_EQ(hidden, 0);
    EXPECT_TRUE(slide.IsRunning());
    for (int k = 1; k <= 10; ++k) {
        slide.Step();
        EXPECT_EQ(window.geometry(), QRect(800 - 24 * k, 500, 249, 98)) << k;
    }
    slide.Step();
    EXPECT_FALSE(slide.IsRunning());
    EXPECT_EQ(window.geometry().left(), 560);

    slide.Toggle();
    EXPECT_EQ(hidden, 1);
    for (int k = 1; k <= 10; ++k) {
        EXPECT_TRUE(window.isVisible()) << k;
        slide.Step();
        EXPECT_EQ(window.geometry().left(), 800 - 249 + 24 * k) << k;
    }
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(slide.IsRunning());
}

TEST_F(Slide, TheDropListSlidesUpAndTheTimerRunsTheTenSteps) {
    CSlideAnimation up{window, CSlideAnimation::Direction::Up, hidden,
                       [this] { return reference; }};
    up.SetSize(249, 102);
    up.Toggle();
    int steps = 0;
    QRect last;
    testx11::PumpUntil([&] {
        if (window.geometry() != last) {
            last = window.geometry();
            ++steps;
        }
        return !up.IsRunning();
    });
    EXPECT_EQ(window.geometry(), QRect(800, 500 - 100, 249, 100));
    EXPECT_LE(steps, 10);
    up.Toggle();
    ASSERT_TRUE(testx11::PumpUntil([&] { return !window.isVisible(); }, 2000));
    EXPECT_EQ(window.geometry().top(), 500 + 100 - 102);
}

// A window narrower than ten pixels still ends its slide.
TEST_F(Slide, ATinyWindowStillFinishes) {
    slide.SetSize(5, 5);
    slide.Toggle();
    ASSERT_TRUE(testx11::PumpUntil([&] { return !slide.IsRunning(); }, 2000));
    EXPECT_EQ(window.geometry().left(), 800 - 5);
}

}  // namespace
