#include "workspace/clipboard_viewer.h"

#include "ui_clipboard_viewer.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPixmap>

QImage ClipboardImage() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data) return {};
    if (data->hasFormat("image/bmp")) {
        QImage image;
        if (image.loadFromData(data->data("image/bmp"), "BMP")) return image;
    }
    if (data->hasImage()) return qvariant_cast<QImage>(data->imageData());
    return {};
}

CClipboardViewer::CClipboardViewer(QWidget* parent)
    : QWidget(parent, Qt::Window), ui_(std::make_unique<Ui::ClipboardViewer>()) {
    ui_->setupUi(this);
    setObjectName("ClipboardViewer");
    connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
            &CClipboardViewer::Refresh);
    Refresh();
}

CClipboardViewer::~CClipboardViewer() = default;

void CClipboardViewer::Refresh() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    formats_ = data ? data->formats() : QStringList();
    ui_->formats->clear();
    ui_->formats->addItems(formats_);
    image_ = ClipboardImage();
    if (!image_.isNull()) {
        ui_->image->setPixmap(QPixmap::fromImage(image_));
        ui_->image->resize(image_.size());
        ui_->content->setCurrentWidget(ui_->imagePage);
        ui_->summary->setText(QString("Picture, %1 x %2").arg(image_.width()).arg(image_.height()));
    } else if (data && data->hasText()) {
        ui_->text->setPlainText(data->text());
        ui_->content->setCurrentWidget(ui_->text);
        ui_->summary->setText(QString("Text, %1 characters").arg(data->text().size()));
    } else {
        ui_->content->setCurrentWidget(ui_->emptyPage);
        ui_->summary->setText(formats_.isEmpty() ? QString()
                                                 : QString("No picture or text to show."));
    }
}

QString CClipboardViewer::shownText() const {
    return ui_->content->currentWidget() == ui_->text ? ui_->text->toPlainText() : QString();
}

QString CClipboardViewer::summary() const {
    return ui_->summary->text();
}
