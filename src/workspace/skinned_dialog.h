#pragma once

#include <QDialog>
#include <QImage>
#include <QPoint>
#include <QRegion>

// A popup window without caption whose shape is cut from its skin picture (pixels with all three
// channels at most 16 fall outside), whose background is the skin painted 1:1, and which the user
// drags by any point of its background. It stays out of the taskbar and never takes the focus
// when shown; Escape does not close it (it leaves only by sliding back in).
class CSkinnedDialog : public QDialog {
    Q_OBJECT

  public:
    explicit CSkinnedDialog(QWidget* owner);

    const QImage& skin() const { return skin_; }
    const QRegion& skinRegion() const { return skinRegion_; }

    void reject() override {}

  protected:
    // Loads the skin and, when it has a shape, makes it the window's shape.
    void LoadSkin(int resourceId);

    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;

  private:
    QImage skin_;
    QRegion skinRegion_;
    bool dragging_ = false;
    QPoint dragOffset_;
};
