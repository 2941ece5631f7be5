#pragma once

#include <QImage>
#include <QStringList>
#include <QWidget>

#include <memory>

namespace Ui {
class ClipboardViewer;
}

// Quillet's own small clipboard viewer: the formats the clipboard offers, and its picture or
// text. It follows the clipboard while it is open.
class CClipboardViewer : public QWidget {
    Q_OBJECT

  public:
    explicit CClipboardViewer(QWidget* parent = nullptr);
    ~CClipboardViewer() override;

    // Reads the clipboard again.
    void Refresh();

    QStringList formats() const { return formats_; }
    // What is shown: the picture (null when none) or the text.
    QImage shownImage() const { return image_; }
    QString shownText() const;
    QString summary() const;

  private:
    std::unique_ptr<Ui::ClipboardViewer> ui_;
    QStringList formats_;
    QImage image_;
};

// The clipboard's picture: the "image/bmp" file payload when it is offered, else the image.
QImage ClipboardImage();
