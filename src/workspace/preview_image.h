#pragma once

#include <QWidget>

class CCapturePreviewDlg;

// The preview's image area: paints the current capture through the preview, runs To Explorer on
// a double click, and takes image files dropped on it.
class CPreviewImage : public QWidget {
    Q_OBJECT

  public:
    explicit CPreviewImage(QWidget* parent = nullptr);

    // Whether a dropped file of this name is taken: "jpg", "jpeg", "gif", "png" or "ico",
    // in any case.
    static bool IsWebImageName(const QString& path);

    // The path of the last file taken from a drop.
    const QString& droppedPath() const { return droppedPath_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    CCapturePreviewDlg* Preview() const;
    // Accepts a drag that offers a list of files.
    void AcceptFileList(QDropEvent* event);

    QString droppedPath_;
};
