#include "workspace/skinned_dialog.h"

#include "capture/bitmap_helpers.h"
#include "panel/hover_button.h"
#include "platform/window_state.h"

#include <QMouseEvent>
#include <QPainter>

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

void CSkinnedDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    platform::SkipTaskbar(winId());  // the skinned windows have no taskbar button
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
