#include "capture/coordinate_readout.h"

#include "platform/dialog_units.h"

#include <QKeyEvent>
#include <QLineEdit>

CCoordinateReadout::CCoordinateReadout(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                          Qt::X11BypassWindowManagerHint | Qt::WindowDoesNotAcceptFocus) {
    setObjectName(QString("id%1").arg(kDialogId));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_ShowWithoutActivating);
    const QSize size = platform::DialogUnitsToPixels(QSize(154, 22), font());
    setGeometry(0, 0, size.width(), size.height());
    edit_ = new QLineEdit(this);
    edit_->setObjectName(QString("id%1").arg(kEditId));
    edit_->setReadOnly(true);
    edit_->setGeometry(rect().adjusted(2, 2, -2, -2));
}

void CCoordinateReadout::SetText(const QString& text) {
    edit_->setText(text);
}

QString CCoordinateReadout::text() const {
    return edit_->text();
}

void CCoordinateReadout::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    raise();  // into the topmost band, where it was
}

void CCoordinateReadout::keyPressEvent(QKeyEvent* event) {
    // OK and Cancel only end the readout.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
        event->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QDialog::keyPressEvent(event);
}
