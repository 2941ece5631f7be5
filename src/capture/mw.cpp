#include "capture/mw.h"

#include "app/quillet_app.h"
#include "ids.h"
#include "panel/tray_icon.h"

#include <QMouseEvent>

CMW::CMW(QWidget* parent) : QWidget(parent, Qt::Window | Qt::FramelessWindowHint) {
    setObjectName("CMW");
    setGeometry(0, 0, 50, 50);
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

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
        default:
            return false;
    }
}

int CMW::TrayNotification(int iconId, int mouseMessage) {
    CTrayIcon* tray = App() ? App()->trayIcon() : nullptr;
    return tray ? tray->OnTrayNotification(iconId, mouseMessage) : 0;
}

void CMW::OnStart() {}

void CMW::OnExit() {
    App()->quitting = 1;
    QCoreApplication::exit(0);
}

void CMW::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) hide();
    QWidget::mousePressEvent(event);
}

void CMW::paintEvent(QPaintEvent*) {}
