// The skinned windows keep their controls on their skins, whatever font the desktop gives.
#include "ids.h"
#include "panel/control_panel.h"
#include "panel/hover_button.h"
#include "platform/dialog_units.h"
#include "running_app.h"
#include "workspace/capture_list_dlg.h"
#include "workspace/capture_preview_dlg.h"
#include "workspace/drop_list_dlg.h"

#include <QApplication>
#include <QScreen>

namespace {

struct FontCase {
    const char* family;
    int points;
};

class SkinnedLayout : public RunningApp, public ::testing::WithParamInterface<FontCase> {
  public:
    void SetUp() override {
        saved_ = QApplication::font();
        QApplication::setFont(QFont(GetParam().family, GetParam().points));
        RunningApp::SetUp();
    }
    void TearDown() override {
        RunningApp::TearDown();
        QApplication::setFont(saved_);
    }

  private:
    QFont saved_;
};

// Every visible control of the window lies wholly inside the skin's shape.
void ExpectControlsOnTheSkin(const CSkinnedDialog& window) {
    const QRect skinRect(QPoint(0, 0), window.skin().size());
    const QRegion shape =
        window.skinRegion().isEmpty() ? QRegion(skinRect) : window.skinRegion() & skinRect;
    int controls = 0;
    for (QWidget* child : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->isWindow() || !child->isVisibleTo(&window)) continue;
        ++controls;
        EXPECT_TRUE(QRegion(child->geometry()).subtracted(shape).isEmpty())
            << window.objectName().toStdString() << ": " << child->objectName().toStdString()
            << " at " << child->x() << "," << child->y() << " " << child->width() << "x"
            << child->height();
    }
    EXPECT_GT(controls, 0) << window.objectName().toStdString();
}

TEST(DialogUnits, SkinnedWindowsUseFixedUnitsAndPlainDialogsTheirFont) {
    // 151 x 87 units on the fixed 6 x 13 units: half pixels round away from zero.
    EXPECT_EQ(platform::SkinUnitsToPixels(QRect(151, 87, 7, 6)), QRect(227, 141, 10, 10));
    EXPECT_EQ(platform::SkinUnitsToPixels(QSize(161, 102)), QSize(242, 166));
    const QFont small("DejaVu Sans", 9), large("DejaVu Sans", 18);
    EXPECT_LT(platform::FontBaseUnits(small).x, platform::FontBaseUnits(large).x);
    EXPECT_EQ(platform::DialogUnitsToPixels(QSize(40, 16), large).height(),
              2 * platform::FontBaseUnits(large).y);
}

TEST_P(SkinnedLayout, EveryControlLiesOnItsSkinAndThePanelShowsAllNineButtons) {
    CControlPanel& panel = *App()->panel();
    ASSERT_TRUE(testx11::PumpUntil([&] { return panel.isVisible(); }));
    ExpectControlsOnTheSkin(panel);
    ExpectControlsOnTheSkin(*panel.preview());
    ExpectControlsOnTheSkin(*panel.preview()->captureList());
    ExpectControlsOnTheSkin(*panel.preview()->dropList());

    // On the screen: each button's own picture shows where the button is.
    testx11::MoveMouse(QPoint(0, 0));
    testx11::Pump(300);
    const QRect screen = panel.screen()->geometry();
    ASSERT_TRUE(screen.contains(panel.geometry()));
    const QImage shot = testx11::GrabScreen(panel.geometry());
    const int ids[] = {ids::kPanelDesktop, ids::kPanelSlice, ids::kPanelHelp,
                       ids::kPanelWindow,  ids::kPanelIcons, ids::kPanelOptions,
                       ids::kPanelSlide,   ids::kPanelOk,    ids::kPanelCancel};
    for (int id : ids) {
        CHoverButton* button = panel.button(id);
        const QImage drawn = button->grab().toImage().convertToFormat(QImage::Format_RGB32);
        // Neighbouring pictures may overlap by a row or two: compare where no other button lies.
        QRegion own(button->geometry());
        for (int other : ids)
            if (other != id) own -= panel.button(other)->geometry();
        int compared = 0, differing = 0;
        for (const QRect& part : own) {
            compared += part.width() * part.height();
            for (int y = part.top(); y <= part.bottom(); ++y)
                for (int x = part.left(); x <= part.right(); ++x)
                    differing += shot.pixel(x, y) != drawn.pixel(x - button->x(), y - button->y());
        }
        EXPECT_GT(compared, button->width() * button->height() / 2) << "button " << id;
        EXPECT_EQ(differing, 0) << "button " << id;
    }
}

INSTANTIATE_TEST_SUITE_P(Fonts, SkinnedLayout,
                         ::testing::Values(FontCase{"DejaVu Sans", 9}, FontCase{"DejaVu Sans", 12},
                                           FontCase{"DejaVu Serif", 16}),
                         [](const auto& info) {
                             return QString("%1_%2")
                                 .arg(info.param.family)
                                 .arg(info.param.points)
                                 .remove(' ')
                                 .toStdString();
                         });

}  // namespace
