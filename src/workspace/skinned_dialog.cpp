#include "workspace/skinned_dialog.h"

#include "capture/bitmap_helpers.h"
#include "panel/hover_button.h"

#include "platform/x11_display.h"

#include <QMouseEvent>
#include <QPainter>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace {

// Asks the window manager to leave the window out of the taskbar and the pager. Set before each
// map: the manager drops the window's states when it is withdrawn.
void KeepOutOfTaskbar(QWidget& window) {
    Display* display = platform::X11Display();
    if (!display) return;
    const Window id = window.winId();
    Atom states[] = {XInternAtom(display, "_NET_WM_STATE_SKIP_TASKBAR", False),
                     XInternAtom(display, "_NET_WM_STATE_SKIP_PAGER", False)};
    XChangeProperty(display, id, XInternAtom(display, "_NET_WM_STATE", False), XA_ATOM, 32,
                    PropModeReplace, reinterpret_cast<unsigned char*>(states), 2);
}

}  // namespace

CSkinnedDialog::CSkinnedDialog(QWidget* owner)
    : QDialog(owner, Qt::Tool | Qt::FramelessWindowHint) {
    setAttribute(Qt::WA_ShowWithoutActivating);
}

void CSkinnedDialog::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) KeepOutOfTaskbar(*this);
    QDialog::showEvent(event);
}

void CSkinnedDialog::LoadSkin(int resourceId) {
    skin_ = LoadSkinBitmap(resourceId);
    skinRegion_ = BitmapToRegion(skin_, 0, false);
    if (!skinRegion_.isEmpty()) setMask(skinRegion_);
}

void CSkinnedDialog::paintEvent(QPaintEvent* event) {
    if (skin_.isNull()) {
        QDialog::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), skin_);
}

// A press on the background (not on a control) drags the window, as a caption would.
void CSkinnedDialog::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        dragging_ = true;
        dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
        event->accept();
        return;
    }
    QDialog::mousePressEvent(event);
}

void CSkinnedDialog::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_ && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPosition().toPoint() - dragOffset_);
        event->accept();
        return;
    }
    QDialog::mouseMoveEvent(event);
}

void CSkinnedDialog::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) dragging_ = false;
    QDialog::mouseReleaseEvent(event);
}
