#pragma once

#include "app/command_target.h"
#include "editor/annotation/annotation_layer.h"

#include <QAbstractScrollArea>
#include <QImage>
#include <QPointer>

#include <memory>

class CAnnotationToolbox;
class CLumoDoc;
class QLineEdit;
class QMdiSubWindow;

// The scrolling view of an image document. It paints the document's image at the document's
// zoom, one image pixel per device pixel at zoom 1, from a screen-format copy of the picture;
// only the part that needs painting is drawn. The copy is made again after every change of the
// document, piece by piece as pieces come into sight (the visible part at once), so a change
// costs the conversion of what is shown rather than of the whole picture. The left button drags
// the rectangle that Crop cuts the image to, or, with an annotation tool chosen, draws, selects,
// moves and resizes the document's marks; they are drawn in picture pixels over the copy.
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

    // --- annotations ---
    // The chosen tool changed: the selection and any mark being drawn are dropped.
    void ToolChanged();
    // The selected mark, or -1; its colour can be changed.
    int SelectedAnnotation() const { return selected_; }
    void SetSelectedColor(QColor color);
    // A client point (logical pixels) as a picture point, and back as the client rectangle
    // covering picture pixels.
    QPointF ToPicture(QPointF client) const;
    QRect ToClient(const QRect& pictureRect) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Crop();
    // Forgets the screen copy's pieces (the picture changed) and converts what is in sight.
    void RebuildScreenCopy();
    // Converts the pieces of the given picture rows (top-down) between two columns that are not
    // converted yet. Never while the document's worker runs: the picture may be changing.
    void ConvertPieces(const std::vector<int>& rows, int firstColumn, int lastColumn);
    // The picture rows and columns that the device rectangle of the viewport shows.
    void VisibleSource(const QRect& device, std::vector<int>& rows, int& firstColumn,
                       int& lastColumn) const;
    void UpdateScrollBars();
    void FitFrame();
    void PaintPicture(QImage& buffer, const QRect& deviceRect);
    void MakeThumbnailIfPending();
    // The marks over what PaintPicture drew, from a piece of the screen copy drawn on in
    // picture pixels and scaled as the picture is.
    void PaintAnnotations(QImage& buffer, const QRect& deviceRect);
    void PaintSelection(class QPainter& painter);
    // Repaints the picture pixels a mark touches.
    void UpdatePicture(const QRectF& pictureBounds);
    bool AnnotationPress(QMouseEvent* event);
    // The tools the view draws with: its main frame's; none outside one (the left button crops).
    const CAnnotationToolbox* Toolbox() const;
    // The resize handle of the selected mark under the client point (0..7), or -1.
    int HandleAt(QPointF client) const;
    QRectF HandleFrame(const QRectF& frame, int handle, QPointF to) const;
    void OpenTextEditor(QPointF picturePoint, int editing);
    void CloseTextEditor(bool keep);
    void DeleteSelected();
    // The menu items and buttons follow a change made with the pointer (Undo, Delete).
    void RefreshCommands();
    qreal Ratio() const;
    QMdiSubWindow* Frame() const;

    QPointer<CLumoDoc> doc_;
    QImage screenCopy_;  // the picture at zoom 1 over the view's background
    // Which pieces of the copy hold the picture as it is: one flag per row and column band.
    std::vector<uint8_t> converted_;
    int bands_ = 0;
    uint32_t copiedBpp_ = 0;  // the depth of the picture the pieces are made from
    bool opaque_ = true;      // drawn without blending (no transparency, no alpha)
    QRgb background_ = 0;
    QSize scrollSize_;
    int dragLeft_ = 0, dragTop_ = 0, dragRight_ = 0, dragBottom_ = 0;
    bool dragDrawn_ = false;
    bool dragging_ = false;
    bool thumbnailQueued_ = false;

    // What a press with the left button started.
    enum class Drag { None, Crop, Draw, Move, Resize };
    Drag drag_ = Drag::None;
    std::unique_ptr<CAnnotation> draft_;  // the mark being drawn
    int selected_ = -1;
    int handle_ = -1;
    QPointF pressPoint_;  // in picture pixels
    QRectF pressFrame_;
    CAnnotationLayer::Marks before_;  // the marks before a move or resize
    bool moved_ = false;
    QPointer<QLineEdit> textEditor_;
    int editingText_ = -1;  // the text mark being edited, -1 for a new one
    QPointF textAnchor_;
};
