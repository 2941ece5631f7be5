#include "capture/mw.h"

#include "app/quillet_app.h"
#include "capture/coordinate_readout.h"
#include "capture/countdown.h"
#include "capture/grab.h"
#include "capture/naming.h"
#include "ids.h"
#include "panel/control_panel.h"
#include "panel/tray_icon.h"
#include "platform/fixed_wait.h"
#include "platform/repaint_wait.h"
#include "platform/screen_grab.h"
#include "platform/window_query.h"
#include "workspace/capture_preview_dlg.h"

#include <QBrush>
#include <QGuiApplication>
#include <QScreen>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <optional>

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

// Qt keeps a screen's top-left corner in device pixels and scales the rest from there.
QPoint LogicalOrigin(const QScreen* screen, const QRect& device) {
    return screen ? screen->geometry().topLeft() : device.topLeft();
}

qreal RatioOf(const QScreen* screen) {
    return screen ? screen->devicePixelRatio() : 1.0;
}
}  // namespace

// The overlay's window on a monitor other than the primary: it shows that monitor's part of the
// frozen desktop and hands its input to the coordinator, where the one drag is kept.
class COverlayPart : public QWidget {
  public:
    COverlayPart(CMW& owner, const QRect& device)
        : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint),
          owner_(owner),
          device_(device) {
        setObjectName("CMW part");
        setAttribute(Qt::WA_NoSystemBackground);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

  protected:
    void paintEvent(QPaintEvent*) override { owner_.PaintMonitor(*this, device_); }
    void mousePressEvent(QMouseEvent* event) override { Hand(event, &CMW::mousePressEvent); }
    void mouseMoveEvent(QMouseEvent* event) override { Hand(event, &CMW::mouseMoveEvent); }
    void mouseReleaseEvent(QMouseEvent* event) override { Hand(event, &CMW::mouseReleaseEvent); }
    void keyPressEvent(QKeyEvent* event) override { owner_.keyPressEvent(event); }

  private:
    void Hand(QMouseEvent* event, void (CMW::*handler)(QMouseEvent*)) {
        owner_.eventSource_ = this;
        (owner_.*handler)(event);
        owner_.eventSource_ = nullptr;
    }

    CMW& owner_;
    QRect device_;
};

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
    App()->Shutdown();
}

void CMW::StartCapture(int kind) {
    CQuilletApp* app = App();
    captureKind = kind;
    grabbing_ = true;
    HidePanelAndWait(kHideWaitMs);
    selection = Selection{};
    if (!CountDown()) {
        RestoreInterface();
        grabbing_ = false;
        return;
    }

    if (kind == kKindDesktop) {
        const naming::CaptureNames names = naming::NextScreenCapture();
        GrabWindowArea(names.image, 0, QRect(), app->captureCounter - 1);
        RestoreInterface();
        grabbing_ = false;
        return;
    }
    if (kind == kKindRectangle) {
        naming::NextScreenCapture();
        HidePanelAndWait(kFreezeWaitMs);
        FreezeScreen();
        ShowOverlay();
    }
    grabbing_ = false;
}

CaptureOptions CMW::Options() const {
    return commandOptions_ ? *commandOptions_ : CaptureOptions::Load();
}

bool CMW::CountDown() {
    const int seconds = Options().delaySeconds;
    if (seconds <= 0) return true;
    CCountdown countdown;
    return countdown.Run(seconds);
}

// Hides the panel (its satellites go with it) and waits until the screen shows what lay under
// them, at most `capMs`; at once when none of our windows is on the screen.
void CMW::HidePanelAndWait(int capMs) {
    CControlPanel* panel = App()->panel();
    const QRect screen = platform::ScreenRect();
    const bool wayland = platform::RunsOnWayland();
    platform::CRepaintWait gone(
        wayland ? std::vector<unsigned long>{} : platform::OwnWindowsOn(screen), screen);
    std::optional<platform::CWaylandRepaintWait> vanished;
    if (wayland) vanished.emplace();
    if (panel) {
        // A preview still sliding out would show itself again on its next step.
        CCapturePreviewDlg* preview = panel->preview();
        if (preview && preview->slide().IsRunning()) {
            preview->slide().Stop();
            preview->hide();
        }
        panel->hide();
    }
    if (vanished) {
        if (!vanished->Empty()) vanished->Wait(capMs);
    } else if (!gone.Empty()) {
        gone.Wait(capMs);
    }
}

void CMW::ShowOverlay() {
    CQuilletApp* app = App();
    dragging_ = 0;
    overlayActive_ = true;
    // One window per monitor, the primary's first (this one), each covering its monitor's device
    // pixels at that monitor's scale.
    monitors_.clear();
    parts_.clear();
    QScreen* primary = QGuiApplication::primaryScreen();
    const bool wayland = platform::RunsOnWayland();
    const std::vector<platform::Monitor> known =
        wayland ? platform::Monitors() : std::vector<platform::Monitor>{};
    for (QScreen* screen : QGuiApplication::screens()) {
        Monitor monitor{screen, platform::ScreenDeviceRect(screen), screen->geometry(),
                        screen->devicePixelRatio()};
        for (const platform::Monitor& output : known) {
            if (output.name != screen->name()) continue;
            monitor.device = output.device;
            monitor.logical = output.logical;
            monitor.scale = output.scale;
        }
        if (screen == primary) {
            monitors_.insert(monitors_.begin(), monitor);
        } else {
            monitors_.push_back(monitor);
        }
    }
    if (monitors_.empty()) {
        const QRect screen = platform::ScreenRect();
        monitors_.push_back({nullptr, screen, screen, 1.0});
    }
    const auto place = [wayland](QWidget& window, const Monitor& monitor) {
        if (monitor.screen) window.setScreen(monitor.screen);
        // The compositor places windows on Wayland: each covers its output full-screen.
        if (wayland) {
            if (monitor.screen) window.setGeometry(monitor.screen->geometry());
            window.setWindowState(Qt::WindowFullScreen);
            return;
        }
        const QPoint origin = LogicalOrigin(monitor.screen, monitor.device);
        window.setGeometry(CoveringRect(monitor.device.translated(-monitor.device.topLeft()),
                                        RatioOf(monitor.screen))
                               .translated(origin));
    };
    place(*this, monitors_.front());
    for (std::size_t i = 1; i < monitors_.size(); ++i) {
        auto part = std::make_unique<COverlayPart>(*this, monitors_[i].device);
        place(*part, monitors_[i]);
        part->setCursor(app->crossCursor);
        part->show();
        part->raise();
        parts_.push_back(std::move(part));
    }
    show();
    if (wayland) {
        preciseWindow_ = nullptr;
        if (QWindow* window = windowHandle()) window->installEventFilter(this);
        for (const auto& part : parts_)
            if (QWindow* window = part->windowHandle()) window->installEventFilter(this);
    }
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
        const QPoint point = EventPoint(event);
        anchor_ = QPoint(int16_t(point.x()), int16_t(point.y()));
        selection.left = anchor_.x();
        selection.top = anchor_.y();
    }
}

void CMW::mouseMoveEvent(QMouseEvent* event) {
    if (captureKind != kKindRectangle || !overlayActive_ || !(event->buttons() & Qt::LeftButton)) {
        return;
    }
    const QPoint current = EventPoint(event);
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
    RepaintOverlay();
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
        RepaintOverlay();
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
    // The capture comes from the frozen picture: nothing on the screen needs to settle first.
    setCursor(previousCursor_);
    selection = {selection.left + 1, selection.top + 1, selection.right - 1, selection.bottom - 1};
    overlayActive_ = false;
    grabbing_ = true;
    RepaintOverlay();  // the frozen picture without the band

    const QRect area(selection.left, selection.top, selection.width(), selection.height());
    HandCaptureToPreview(app->frozenScreen.copy(area), app->currentImagePath);

    // The overlay leaves no trace on the screen.
    hide();
    RestoreInterface();
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

std::vector<QWidget*> CMW::overlayParts() const {
    std::vector<QWidget*> parts;
    for (const auto& part : parts_) {
        if (part->isVisible()) parts.push_back(part.get());
    }
    return parts;
}

// The other monitors' windows go with this one. They are kept until the next overlay: a hide may
// come from inside one of their own handlers.
void CMW::hideEvent(QHideEvent* event) {
    for (const auto& part : parts_) part->hide();
    QWidget::hideEvent(event);
}

void CMW::RepaintOverlay() {
    repaint();
    for (const auto& part : parts_) {
        if (part->isVisible()) part->repaint();
    }
}

// Qt gives a point of the desktop in logical pixels, each monitor at its own scale and rounded to
// whole logical pixels there, which loses device pixels where the scale is not 1. The pointer
// itself, when it still lies on that logical pixel, gives the exact one.
QPoint CMW::DevicePoint(const QPointF& global) const {
    if (monitors_.empty()) return global.toPoint();
    const QPoint logical(qRound(global.x()), qRound(global.y()));
    const Monitor* on = &monitors_.front();
    for (const Monitor& monitor : monitors_) {
        if (monitor.screen && monitor.screen->geometry().contains(logical)) on = &monitor;
    }
    const qreal ratio = RatioOf(on->screen);
    const QPointF fromOrigin = global - LogicalOrigin(on->screen, on->device);
    const QPoint estimate = on->device.topLeft() +
                            QPoint(qRound(fromOrigin.x() * ratio), qRound(fromOrigin.y() * ratio));
    if (ratio == 1.0) return estimate;
    const QPoint pointer = platform::PointerPosition();
    for (const Monitor& monitor : monitors_) {
        if (!monitor.device.contains(pointer)) continue;
        const qreal scale = RatioOf(monitor.screen);
        const QPointF back = LogicalOrigin(monitor.screen, monitor.device) +
                             QPointF(pointer - monitor.device.topLeft()) / scale;
        if (qRound(back.x()) == logical.x() && qRound(back.y()) == logical.y()) return pointer;
    }
    return estimate;
}

bool CMW::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseMove ||
        type == QEvent::MouseButtonRelease) {
        precise_ = static_cast<QMouseEvent*>(event)->position();
        preciseWindow_ = watched;
    }
    return QWidget::eventFilter(watched, event);
}

QPoint CMW::EventPoint(const QMouseEvent* event) const {
    if (!platform::RunsOnWayland()) return DevicePoint(event->globalPosition());
    // The window the compositor sent the event to, with the exact place in it (a grab may hand
    // the event to another of the overlay's windows, rounded).
    if (preciseWindow_) {
        if (preciseWindow_ == windowHandle()) return WaylandDevicePoint(this, precise_);
        for (const auto& part : parts_) {
            if (preciseWindow_ == part->windowHandle())
                return WaylandDevicePoint(part.get(), precise_);
        }
    }
    return WaylandDevicePoint(eventSource_ ? eventSource_ : this, event->position());
}

QPoint CMW::WaylandDevicePoint(const QWidget* source, const QPointF& local) const {
    if (monitors_.empty()) return local.toPoint();
    const Monitor* from = &monitors_.front();
    for (std::size_t i = 1; i < monitors_.size() && i - 1 < parts_.size(); ++i) {
        if (parts_[i - 1].get() == source) from = &monitors_[i];
    }
    // A drag that leaves its window goes on reaching it, beyond its edges: the layout tells
    // which monitor the point lies on.
    const QPointF logical = QPointF(from->logical.topLeft()) + local;
    const Monitor* on = from;
    for (const Monitor& monitor : monitors_) {
        if (QRectF(monitor.logical).contains(logical)) on = &monitor;
    }
    const QPointF offset = (logical - QPointF(on->logical.topLeft())) * on->scale;
    const QPoint device = on->device.topLeft() + QPoint(static_cast<int>(std::floor(offset.x())),
                                                        static_cast<int>(std::floor(offset.y())));
    return QPoint(std::clamp(device.x(), on->device.left(), on->device.right()),
                  std::clamp(device.y(), on->device.top(), on->device.bottom()));
}

void CMW::paintEvent(QPaintEvent*) {
    if (captureKind != kKindRectangle) return;  // the coordinator draws nothing of its own
    PaintMonitor(*this, monitors_.empty() ? platform::ScreenRect() : monitors_.front().device);
}

void CMW::PaintMonitor(QWidget& window, const QRect& device) {
    QPainter painter(&window);
    // Painted in device pixels: the frozen desktop 1:1, the band on whole pixels.
    const qreal ratio = window.devicePixelRatio();
    painter.setWorldTransform(QTransform::fromScale(1 / ratio, 1 / ratio));
    const QImage& frozen = App()->frozenScreen;
    painter.fillRect(QRect(QPoint(0, 0), window.size() * ratio + QSize(1, 1)), Qt::black);
    const QRect shown = device.intersected(frozen.rect());
    if (!shown.isEmpty()) painter.drawImage(shown.topLeft() - device.topLeft(), frozen, shown);
    if (!overlayActive_ || selection.width() == 0) return;
    // The band, in device pixels of the desktop: a one-pixel frame in a red diagonal cross-hatch.
    painter.translate(-device.topLeft());
    const QBrush hatch(QColor(255, 0, 0), Qt::DiagCrossPattern);
    const QRect band(selection.left, selection.top, selection.width(), selection.height());
    painter.fillRect(QRect(band.left(), band.top(), band.width(), 1), hatch);
    painter.fillRect(QRect(band.left(), band.bottom(), band.width(), 1), hatch);
    painter.fillRect(QRect(band.left(), band.top(), 1, band.height()), hatch);
    painter.fillRect(QRect(band.right(), band.top(), 1, band.height()), hatch);
}
