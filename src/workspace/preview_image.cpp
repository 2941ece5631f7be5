#include "workspace/preview_image.h"

#include "ids.h"
#include "platform/message_box.h"
#include "workspace/capture_preview_dlg.h"

#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QPainter>
#include <QUrl>

CPreviewImage::CPreviewImage(QWidget* parent) : QWidget(parent) {
    setAcceptDrops(true);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

CCapturePreviewDlg* CPreviewImage::Preview() const {
    return qobject_cast<CCapturePreviewDlg*>(parentWidget());
}

bool CPreviewImage::IsWebImageName(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    const int dot = name.lastIndexOf('.');
    if (dot < 0) return false;
    const QString extension = name.mid(dot + 1).toLower();
    return extension == "jpg" || extension == "jpeg" || extension == "gif" || extension == "png" ||
           extension == "ico";
}

void CPreviewImage::paintEvent(QPaintEvent*) {
    CCapturePreviewDlg* preview = Preview();
    if (!preview) return;
    QPainter painter(this);
    preview->DrawCurrent(painter, rect());
}

// Presses stay here: the image area is not a place to drag the window from.
void CPreviewImage::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void CPreviewImage::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
    if (CCapturePreviewDlg* preview = Preview()) preview->onCommand(ids::kCmdToExplorer);
}

// Only a list of local files is taken. The effect offered is always a copy: the file is copied
// into the cache, and a move would let the program the file came from delete it.
void CPreviewImage::AcceptFileList(QDropEvent* event) {
    const QMimeData* data = event->mimeData();
    if (data && data->hasUrls() && !data->urls().isEmpty() && data->urls().first().isLocalFile()) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
        return;
    }
    event->ignore();
}

void CPreviewImage::dragEnterEvent(QDragEnterEvent* event) {
    AcceptFileList(event);
}

void CPreviewImage::dragMoveEvent(QDragMoveEvent* event) {
    AcceptFileList(event);
}

// The first file only, and only a web image: it goes first into the drop list (slid out if it
// was hidden) and becomes a capture.
void CPreviewImage::dropEvent(QDropEvent* event) {
    AcceptFileList(event);
    if (!event->isAccepted()) return;
    const QString path = event->mimeData()->urls().first().toLocalFile();
    CCapturePreviewDlg* preview = Preview();
    if (!preview) return;
    if (!IsWebImageName(path)) {
        platform::ShowMessage(CCapturePreviewDlg::kDropTypesMessage, "Quillet",
                              platform::MessageIcon::Information);
        return;
    }
    droppedPath_ = path;
    preview->TakeDroppedFile(path);
}
