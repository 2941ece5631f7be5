#include "capture/mw.h"

#include "app/quillet_app.h"
#include "capture/coordinate_readout.h"
#include "capture/grab.h"
#include "capture/naming.h"
#include "editor/doc_template.h"
#include "ids.h"
#include "panel/control_panel.h"
#include "panel/tray_icon.h"
#include "platform/fixed_wait.h"
#include "platform/screen_grab.h"
#include "platform/window_query.h"
#include "workspace/capture_preview_dlg.h"

#include <QBrush>
#include <QGuiApplication>
#include <QScreen>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <cmath>

namespace {
constexpr int kHideWaitMs = 500;
constexpr int kFreezeWaitMs = 100;
constexpr int kMinimumWidth = 5;
constexpr int kMinimumHeight = 3;  // at least one row is left inside the band

// The logical rectangle that covers `device` pixels at the given ratio, rounded outwards.
QRect CoveringRect(const QRect& device, qreal ratio) {
    const int left = static_cast<int>(std::floor(device.left() / ratio));
    const int top = static_cast<int>(std::floor(device.top() / ratio));
    const int right = static_cast<int>(std::ceil((device.right() + 1) / ratio));
    const int bottom = static_cast<int>(std::ceil((device.bottom() + 1) / ratio));
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}
}  // namespace

CMW::CMW(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint),
      readout_(std::make_unique<CCoordinateReadout>()) {
    setObjectName("CMW");
    setGeometry(0, 0, 50, 50);
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(false);
}

CMW::~CMW() = default;

bool CMW::onCommand(int id) {
    emit commandReceived(id);
    switch (id) {
        case ids::kCmdStart:
            OnStart();
            return true;
        case ids::kCmdExit:
            OnExit();
            return true;
        case ids::kCmdAbout:
            return true;  // the tray's ABOUT does nothing
        case ids::kCmdRectangle:
            StartCapture(kKindRectangle);
            return true;
        case ids::kCmdScreen:
            StartCapture(kKindDesktop);
            return true;
        case ids::kCmdWindowClient:
            App()->Pick(0);  // the balloon without a mode waits until it is cancelled
            return true;
        case ids::kCmdProperties:
            App()->ShowProperties();
            return true;
        default:
            return false;
    }
}

int CMW::TrayNotification(int iconId, int mouseMessage) {
    CTrayIcon* tray = App() ? App()->trayIcon() : nullptr;
    return tray ? tray->OnTrayNotification(iconId, mouseMessage) : 0;
}

void CMW::OnStart() {
    if (CControlPanel* panel = App()->panel()) {
        panel->show();
        panel->raise();
        panel->activateWindow();
    }
}

void CMW::OnExit() {
    // Modified pictures in the editor are offered for saving once, all together.
    if (DocTemplate() && !DocTemplate()->SaveAllModified()) return;
    App()->quitting = 1;
    QCoreApplication::exit(0);
}

void CMW::StartCapture(int kind) {
    CQuilletApp* app = App();
    CControlPanel* panel = app->panel();
    captureKind = kind;
    grabbing_ = true;
    if (panel) panel->hide();
    platform::FixedWait(kHideWaitMs);
    selection = Selection{};

    if (kind == kKindDesktop) {
        const naming::CaptureNames names = naming::NextScreenCapture();
        GrabWindowArea(names.image, 0, QRect(), app->captureCounter - 1);
        platform::FixedWait(kHideWaitMs);
        RestoreInterface();
        grabbing_ = false;
        return;
    }
    if (kind == kKindRectangle) {
        naming::NextScreenCapture();
        if (panel) panel->hide();
        platform::FixedWait(kFreezeWaitMs);
        FreezeScreen();
        ShowOverlay();
    }
    grabbing_ = false;
}

void CMW::ShowOverlay() {
    CQuilletApp* app = App();
    dragging_ = 0;
    overlayActive_ = true;
    // The overlay works in device pixels: it covers the screen's pixels whatever the scale.
    setGeometry(CoveringRect(platform::ScreenRect(), OverlayRatio()));
    show();
    previousCursor_ = cursor();
    setCursor(app->crossCursor);
    raise();
    activateWindow();
    grabMouse();
    grabKeyboard();
    update();
    if (app->expertMode) {
        readout_->show();
        readout_->raise();
    }
}

void CMW::RestoreInterface() {
    CControlPanel* panel = App()->panel();
    if (!panel) return;
    panel->show();
    panel->ShowPreviewOut();
    panel->preview()->HideDropList();
}

void CMW::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        if (overlayActive_) CancelRectangle();
        hide();
        return;
    }
    if (event->button() == Qt::LeftButton && captureKind == kKindRectangle && overlayActive_) {
        selection = Selection{};
        // The point arrives as 16-bit coordinates.
        const QPoint point = DevicePoint(event->position());
        anchor_ = QPoint(int16_t(point.x()), int16_t(point.y()));
        selection.left = anchor_.x();
        selection.top = anchor_.y();
    }
}

void CMW::mouseMoveEvent(QMouseEvent* event) {
    if (captureKind != kKindRectangle || !overlayActive_ || !(event->buttons() & Qt::LeftButton)) {
        return;
    }
    const QPoint current = DevicePoint(event->position());
    if (dragging_ == 1) UpdateSelection(current);
    dragging_ = 1;
    lastPoint_ = current;
}

void CMW::UpdateSelection(QPoint current) {
    const int ax = anchor_.x(), ay = anchor_.y(), cx = current.x(), cy = current.y();
    if (cx > ax && cy < ay) {
        selection = {ax, cy, cx, ay};
    } else if (cx < ax && cy < ay) {
        selection = {cx, cy, ax, ay};
    } else if (cx > ax && cy > ay) {
        selection = {ax, ay, cx, cy};
    } else if (cx < ax && cy > ay) {
        selection = {cx, ay, ax, cy};
    }
    repaint();
    const QString text =
        QString::asprintf("X=%d Y=%d W=%d H=%d", cx, cy, selection.width(), selection.height());
    if (App()->expertMode) readout_->SetText(text);
}

void CMW::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || captureKind != kKindRectangle || !overlayActive_) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    dragging_ = 0;
    // A drag too narrow, or so flat that nothing would be left inside the band, leaves the
    // overlay up for another try.
    if (selection.width() > kMinimumWidth && selection.height() >= kMinimumHeight) {
        FinishRectangle();
    } else {
        selection = Selection{};
        repaint();
    }
}

void CMW::keyPressEvent(QKeyEvent* event) {
    // Escape gives up a rectangle capture as the right button does.
    if (overlayActive_ && event->key() == Qt::Key_Escape) {
        CancelRectangle();
        hide();
        return;
    }
    QWidget::keyPressEvent(event);
}

void CMW::FinishRectangle() {
    CQuilletApp* app = App();
    if (app->expertMode) readout_->hide();
    releaseKeyboard();
    releaseMouse();
    platform::FixedWait(kHideWaitMs);
    setCursor(previousCursor_);
    selection = {selection.left + 1, selection.top + 1, selection.right - 1, selection.bottom - 1};
    overlayActive_ = false;
    grabbing_ = true;
    repaint();  // the frozen picture without the band

    const QRect area(selection.left, selection.top, selection.width(), selection.height());
    HandCaptureToPreview(app->frozenScreen.copy(area), app->currentImagePath);

    // The overlay leaves no trace on the screen.
    hide();
    RestoreInterface();
    platform::FixedWait(kHideWaitMs);
    if (CControlPanel* panel = app->panel()) panel->show();
    grabbing_ = false;
    emit rectangleEnded();
}

void CMW::CancelRectangle() {
    overlayActive_ = false;
    dragging_ = 0;
    releaseKeyboard();
    releaseMouse();
    setCursor(previousCursor_);
    emit rectangleEnded();
}

qreal CMW::OverlayRatio() const {
    const QScreen* shown = screen() ? screen() : QGuiApplication::primaryScreen();
    return shown ? shown->devicePixelRatio() : 1.0;
}

// Qt hands the pointer over rounded to logical pixels, which loses device pixels when the scale is
// not 1. The pointer itself, when it still lies on that logical pixel, gives the exact one.
QPoint CMW::DevicePoint(const QPointF& logical) const {
    const qreal ratio = devicePixelRatio();
    const QPoint estimate(qRound(logical.x() * ratio), qRound(logical.y() * ratio));
    if (ratio == 1.0) return estimate;
    const QPoint origin(qRound(x() * ratio), qRound(y() * ratio));
    const QPoint pointer = platform::PointerPosition() - origin;
    if (qRound(pointer.x() / ratio) == qRound(logical.x()) &&
        qRound(pointer.y() / ratio) == qRound(logical.y())) {
        return pointer;
    }
    return estimate;
}

void CMW::paintEvent(QPaintEvent*) {
    if (captureKind != kKindRectangle) return;  // the coordinator draws nothing of its own
    QPainter painter(this);
    // Painted in device pixels: the frozen screen 1:1, the band on whole pixels.
    const qreal ratio = devicePixelRatio();
    painter.setWorldTransform(QTransform::fromScale(1 / ratio, 1 / ratio));
    const QImage& frozen = App()->frozenScreen;
    const QRect all(QPoint(0, 0), size() * ratio + QSize(1, 1));
    painter.fillRect(all, Qt::black);
    painter.drawImage(QPoint(0, 0), frozen);
    if (!overlayActive_ || selection.width() == 0) return;
    // The band: a one-pixel frame in a red diagonal cross-hatch.
    const QBrush hatch(QColor(255, 0, 0), Qt::DiagCrossPattern);
    const QRect band(selection.left, selection.top, selection.width(), selection.height());
    painter.fillRect(QRect(band.left(), band.top(), band.width(), 1), hatch);
    painter.fillRect(QRect(band.left(), band.bottom(), band.width(), 1), hatch);
    painter.fillRect(QRect(band.left(), band.top(), 1, band.height()), hatch);
    painter.fillRect(QRect(band.right(), band.top(), 1, band.height()), hatch);
}
