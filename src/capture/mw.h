#pragma once

#include "app/command_target.h"
#include "panel/tray_icon.h"

#include <QRect>
#include <QWidget>

// The hidden coordinator window: the target of every capture command from the tray menu and
// the floating panel, and the receiver of the tray icon's notifications.
class CMW : public QWidget, public CCommandTarget, public CTrayNotifyWindow {
    Q_OBJECT

  public:
    explicit CMW(QWidget* parent = nullptr);

    bool onCommand(int id) override;

    // The tray icon's callback message: passed on to the tray object's handler.
    int TrayNotification(int iconId, int mouseMessage) override;

    int captureKind = 0;  // 0 none yet, 1 desktop, 2 rectangle, 3 window dialog
    QRect selection;

  signals:
    // Every command this window receives, before it is handled.
    void commandReceived(int id);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    void OnStart();
    void OnExit();
};
