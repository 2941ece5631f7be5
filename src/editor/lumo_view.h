#pragma once

#include "app/command_target.h"

#include <QAbstractScrollArea>
#include <QImage>
#include <QPointer>

class CLumoDoc;
class QMdiSubWindow;

// The scrolling view of an image document. It paints the document's image at the document's
// zoom, one image pixel per device pixel at zoom 1, from a screen-format copy of the picture
// rebuilt when the document changes; only the part that needs painting is drawn. The left
// button drags the rectangle that Crop cuts the image to.
class CLumoView : public QAbstractScrollArea, public CCommandTarget {
    Q_OBJECT

  public:
    explicit CLumoView(CLumoDoc* doc, QWidget* parent = nullptr);
    ~CLumoView() override;

    CLumoDoc* document() const { return doc_; }
    bool onCommand(int id) override;
    bool Handles(int id) const;
    bool IsEnabled(int id) const;

    // Called by the document's refreshes; hint 1025: the image or the zoom changed.
    void OnUpdate(int hint);

    // The scaled picture's size (the scroll sizes) and the scroll position, in device pixels.
    QSize ScrollSize() const { return scrollSize_; }
    QPoint ScrollPosition() const;
    void ScrollTo(QPoint devicePosition);

    // The dragged rectangle in client coordinates (left/top: press, right/bottom: current).
    QRect dragRect() const {
        return QRect(QPoint(dragLeft_, dragTop_), QPoint(dragRight_, dragBottom_));
    }
    void SetDragRect(int left, int top, int right, int bottom);

    // Makes the workspace thumbnail of a document sent to the workspace (set by the send-to
    // actions); called after a paint, never inside it.
    static void SetThumbnailMaker(void (*maker)(CLumoDoc&));

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

  private:
    void Crop();
    void RebuildScreenCopy();
    void UpdateScrollBars();
    void FitFrame();
    void PaintPicture(QImage& buffer, const QRect& deviceRect) const;
    void MakeThumbnailIfPending();
    qreal Ratio() const;
    QMdiSubWindow* Frame() const;

    QPointer<CLumoDoc> doc_;
    QImage screenCopy_;  // the picture at zoom 1 over the view's background
    QSize scrollSize_;
    int dragLeft_ = 0, dragTop_ = 0, dragRight_ = 0, dragBottom_ = 0;
    bool dragDrawn_ = false;
    bool dragging_ = false;
    bool thumbnailQueued_ = false;
};
