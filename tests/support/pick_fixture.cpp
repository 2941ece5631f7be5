#include "support/pick_fixture.h"

#include "app/quillet_app.h"
#include "image/qt/raster_qt.h"
#include "platform/message_box.h"
#include "support/x11_input.h"

#include <QApplication>
#include <QTimer>

CPickDlg* RunningPick() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* pick = qobject_cast<CPickDlg*>(widget); pick && pick->isVisible()) return pick;
    }
    return nullptr;
}

void PickFixture::SetUp() {
    folder = std::make_unique<CurrentFolder>(home.path());
    ASSERT_TRUE(App()->InitInstance());
    platform::SetMessageBoxRecorder([this](const platform::MessageBoxCall& call) {
        messages.push_back(call.text);
        return platform::kAnswerOk;
    });
    testx11::Pump(300);
}

void PickFixture::TearDown() {
    platform::SetMessageBoxRecorder(nullptr);
    App()->ExitInstance(0);
    folder.reset();
}

void PickFixture::Pick(int mode, const std::function<void(CPickDlg&)>& user, int endTimeoutMs) {
    QTimer::singleShot(0, [&] {
        CPickDlg* pick = nullptr;
        const bool ready = testx11::PumpUntil([&] {
            pick = RunningPick();
            return pick && pick->hookSet() && pick->grabbing();
        });
        EXPECT_TRUE(ready) << "the balloon did not start its mode";
        if (ready) user(*pick);
        // A pick that a failed step left running ends here rather than at the time limit.
        if (!testx11::PumpUntil([] { return RunningPick() == nullptr; }, endTimeoutMs)) {
            ADD_FAILURE() << "the pick did not end";
            if (CPickDlg* left = RunningPick()) left->reject();
        }
    });
    App()->Pick(mode);
}

void PickFixture::ClickAt(QPoint point) {
    testx11::MoveMouse(point + QPoint(7, 5));
    testx11::Pump(150);
    testx11::MoveMouse(point);
    testx11::Pump(150);
    testx11::Click(point);
    testx11::Pump(100);
}

QImage PickFixture::Capture(int n) {
    const QString name = QString("cache/IT-%1.bmp").arg(n);
    if (!testx11::PumpUntil([&] { return home.Exists(name); })) return {};
    CRaster image;
    if (!image.Load(home.File(name).toLocal8Bit().constData(), kTypeBmp)) return {};
    return MakeBitmap(image);
}
