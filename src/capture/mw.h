#pragma once

#include "app/command_target.h"
#include "capture/capture_options.h"
#include "panel/tray_icon.h"

#include <QCursor>
#include <QPoint>
#include <QWidget>

#include <QRect>

#include <memory>
#include <optional>
#include <vector>

class CCoordinateReadout;
class COverlayPart;
class QScreen;

// The hidden coordinator window: the target of every capture command from the tray menu and
// the floating panel, the receiver of the tray icon's notifications, and, during a rectangle
// capture, the overlay that shows the frozen screen under the rubber band. The overlay has one
// window per monitor, each at its monitor's scale: this one on the primary monitor, the others
// handing their input here. The drag is kept in device pixels of the desktop.
class CMW : public QWidget, public CCommandTarget, public CTrayNotifyWindow {
    Q_OBJECT

  public:
    // A rectangle as the overlay keeps it: right and bottom are one past the last pixel.
    struct Selection {
        int left = 0, top = 0, right = 0, bottom = 0;
        int width() const { return right - left; }
        int height() const { return bottom - top; }
        bool operator==(const Selection&) const = default;
    };

    static constexpr int kKindNone = 0;
    static constexpr int kKindDesktop = 1;
    static constexpr int kKindRectangle = 2;
    static constexpr int kKindWindowDialog = 3;

    explicit CMW(QWidget* parent = nullptr);
    ~CMW() override;

    bool onCommand(int id) override;
    int TrayNotification(int iconId, int mouseMessage) override;

    // Desktop (1) or rectangle (2) capture.
    void StartCapture(int kind);

    // The options of the captures to come: a command's own, or else the profile's.
    CaptureOptions Options() const;
    void SetCommandOptions(std::optional<CaptureOptions> options) { commandOptions_ = options; }
    // The delay the options ask for, counted down beside the pointer; false when cancelled.
    bool CountDown();

    // A capture is being made: the desktop's grab, or the rectangle's overlay is up.
    bool CaptureUnderWay() const { return overlayActive_ || grabbing_; }

    int captureKind = kKindNone;
    Selection selection;
    CCoordinateReadout* readout() const { return readout_.get(); }
    // The overlay's windows on the other monitors while it is up.
    std::vector<QWidget*> overlayParts() const;

  signals:
    // Every command this window receives, before it is handled.
    void commandReceived(int id);
    // The rectangle's overlay closed, with the capture handed over or given up.
    void rectangleEnded();

  protected:
    void hideEvent(QHideEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    // On Wayland: the pointer's exact place in an overlay window, before Qt rounds it to whole
    // logical pixels for the widget.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    friend class COverlayPart;
    // A monitor the overlay covers: its screen and its rectangle in device pixels.
    struct Monitor {
        QScreen* screen = nullptr;
        QRect device;
        // On Wayland: its place in the session's logical layout and its scale.
        QRect logical;
        double scale = 1.0;
    };

    void OnStart();
    void OnExit();
    void HidePanelAndWait(int capMs);
    void ShowOverlay();
    void UpdateSelection(QPoint current);
    void FinishRectangle();
    void CancelRectangle();
    // Shows the panel and brings the capture preview back out beside it.
    void RestoreInterface();
    // Paints a monitor's part of the overlay: its frozen pixels 1:1 and the band across it.
    void PaintMonitor(QWidget& window, const QRect& device);
    void RepaintOverlay();
    // A point of the desktop as Qt gives it (logical, each monitor at its own scale) in device
    // pixels.
    QPoint DevicePoint(const QPointF& global) const;
    // The device pixel under a pointer event, whichever of the overlay's windows it came to.
    QPoint EventPoint(const QMouseEvent* event) const;
    // On Wayland no window knows where it lies: a point in `source`'s own coordinates, placed
    // through its monitor's logical layout, in device pixels of the monitor it falls on.
    QPoint WaylandDevicePoint(const QWidget* source, const QPointF& local) const;

    std::vector<Monitor> monitors_;
    std::vector<std::unique_ptr<COverlayPart>> parts_;
    // The overlay's window an event being handled came to (a part hands its events on).
    const QWidget* eventSource_ = nullptr;
    // The last pointer event's exact place in its window's own coordinates (Wayland).
    QPointF precise_;
    const QObject* preciseWindow_ = nullptr;

    std::unique_ptr<CCoordinateReadout> readout_;
    QCursor previousCursor_;
    QPoint anchor_;
    QPoint lastPoint_;
    int dragging_ = 0;
    bool overlayActive_ = false;
    bool grabbing_ = false;
    std::optional<CaptureOptions> commandOptions_;
};
