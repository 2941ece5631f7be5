#include "panel/hover_button.h"

#include <QEnterEvent>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

QImage LoadSkinBitmap(int resourceId) {
    for (const char* kind : {"skin", "strip"}) {
        const QString path = QString(":/skins/%1%2.png").arg(kind).arg(resourceId);
        QImage picture(path);
        if (!picture.isNull()) return picture;
    }
    return {};
}

CHoverButton::CHoverButton(QWidget* parent) : QPushButton(parent) {
    setMouseTracking(true);
    setAutoDefault(false);
    setFocusPolicy(Qt::NoFocus);
    hoverTimer_.setSingleShot(true);
    hoverTimer_.setInterval(kHoverTimeMs);
    connect(&hoverTimer_, &QTimer::timeout, this, &CHoverButton::OnHover);
}

CHoverButton::~CHoverButton() = default;

int CHoverButton::SetStripBitmap(int resourceId) {
    return SetStripBitmap(LoadSkinBitmap(resourceId));
}

int CHoverButton::SetStripBitmap(const QImage& strip) {
    strip_ = strip;
    width_ = strip_.width() / 3;
    height_ = strip_.height();
    resize(width_, height_);
    if (tool_) tool_->rect = rect();
    update();
    return 1;
}

void CHoverButton::SetTip(const QString& text, bool activate) {
    if (text.isNull()) return;
    if (!tool_) tool_ = Tool{1, rect(), text};
    tool_->text = text;
    tipActive_ = activate;
}

void CHoverButton::EnableTip(bool activate) {
    if (tool_) tipActive_ = activate;
}

int CHoverButton::CurrentPicture() const {
    if (isDown()) return 1;
    return hover_ ? 2 : 0;
}

// The tooltip shows its tool's text while the pointer is inside the tool's rectangle.
bool CHoverButton::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (tipActive_ && tool_ && tool_->rect.contains(help->pos())) {
            QToolTip::showText(help->globalPos(), tool_->text, this, tool_->rect);
        } else {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
    return QPushButton::event(event);
}

void CHoverButton::paintEvent(QPaintEvent*) {
    if (strip_.isNull() || width_ == 0) return;
    QPainter painter(this);
    if (!isEnabled()) {
        painter.drawImage(QPoint(0, 0), DisabledPicture(strip_.copy(0, 0, width_, height_)));
        return;
    }
    painter.drawImage(QPoint(0, 0), strip_, QRect(CurrentPicture() * width_, 0, width_, height_));
}

// A disabled button shows its normal picture washed out to a light grey.
QImage CHoverButton::DisabledPicture(const QImage& normal) {
    QImage picture = normal.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            const int grey = qGray(line[x]);
            const int washed = 128 + grey / 2;
            line[x] = qRgb(washed, washed, washed);
        }
    }
    return picture;
}

// The first move over the button asks for the hover and leave notifications, once per entry.
void CHoverButton::TrackPointer() {
    if (tracking_) return;
    tracking_ = true;
    hoverTimer_.start();
}

void CHoverButton::OnHover() {
    hover_ = true;
    update();
}

void CHoverButton::mouseMoveEvent(QMouseEvent* event) {
    TrackPointer();
    QPushButton::mouseMoveEvent(event);
}

void CHoverButton::enterEvent(QEnterEvent* event) {
    TrackPointer();
    QPushButton::enterEvent(event);
}

void CHoverButton::leaveEvent(QEvent* event) {
    hoverTimer_.stop();
    tracking_ = false;
    hover_ = false;
    update();
    QPushButton::leaveEvent(event);
}
