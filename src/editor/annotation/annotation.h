#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QVector>

#include <memory>

class QPainter;

// The tools of the editor's annotation tool bar, in the order of the bar and the Annotate menu.
enum class AnnotationTool {
    Select,
    Pen,
    Line,
    Arrow,
    Rectangle,
    Ellipse,
    Marker,
    Text,
    Step,
    Pixelate,
    Blur,
    SolidBox,
};
inline constexpr int kAnnotationToolCount = 12;

// One mark on a picture, kept as an object until it is burned into the pixels. Coordinates are
// picture pixels (top-down, fractions allowed); drawing happens through a painter whose
// transformation maps picture pixels to the target.
class CAnnotation {
  public:
    explicit CAnnotation(AnnotationTool tool, QColor color, qreal width)
        : tool_(tool), color_(color), width_(width) {}
    virtual ~CAnnotation() = default;

    AnnotationTool tool() const { return tool_; }
    QColor color() const { return color_; }
    void SetColor(QColor color) { color_ = color; }
    // The pen width, or the block size, blur radius, circle diameter or font size of the tool.
    qreal width() const { return width_; }

    virtual std::unique_ptr<CAnnotation> Clone() const = 0;
    // Draws the mark (redactions draw a stand-in: their real effect is Redact).
    virtual void Draw(QPainter& painter) const = 0;
    // The area the mark may touch, antialiased edges included.
    virtual QRectF Bounds() const = 0;
    // Whether the point lies on the mark, within `tolerance` picture pixels.
    virtual bool HitTest(QPointF point, qreal tolerance) const;
    virtual void MoveBy(QPointF delta) = 0;
    // Fits the mark's geometry from one frame rectangle into another (resizing by its handles).
    virtual void Map(const QRectF& from, const QRectF& to) = 0;
    // The rectangle the resize handles frame.
    virtual QRectF Frame() const = 0;
    // Whether the mark has something to show (a drag of no length has not).
    virtual bool IsEmpty() const { return false; }

    // Called while the mark is being drawn with the pointer: the press point, then each move.
    virtual void Begin(QPointF point) = 0;
    virtual void DragTo(QPointF point) = 0;

    // Redactions change the pixels under them; the others are drawn.
    virtual bool IsRedaction() const { return false; }
    // Changes the pixels under the mark for good; `target`'s pixel (0, 0) is picture pixel
    // `origin`, and the target holds all of the mark's pixels that lie on the picture.
    virtual void Redact(QImage& target, QPoint origin) const;

  protected:
    // The outline a mark's hit test and bounds follow, for the marks drawn with a pen.
    static bool NearPath(const class QPainterPath& path, QPointF point, qreal width);

    AnnotationTool tool_;
    QColor color_;
    qreal width_;
};

// Pen and Marker: a free-hand stroke through the pointer's points.
class CStrokeAnnotation : public CAnnotation {
  public:
    using CAnnotation::CAnnotation;
    std::unique_ptr<CAnnotation> Clone() const override;
    void Draw(QPainter& painter) const override;
    QRectF Bounds() const override;
    bool HitTest(QPointF point, qreal tolerance) const override;
    void MoveBy(QPointF delta) override;
    void Map(const QRectF& from, const QRectF& to) override;
    QRectF Frame() const override;
    bool IsEmpty() const override { return points_.isEmpty(); }
    void Begin(QPointF point) override;
    void DragTo(QPointF point) override;

    const QVector<QPointF>& points() const { return points_; }
    void SetPoints(QVector<QPointF> points) { points_ = std::move(points); }

  private:
    class QPainterPath Path() const;
    QVector<QPointF> points_;
};

// The marks made of two points, the press point and the release point: moved and mapped
// point by point, framed by the rectangle between them.
class CTwoPointAnnotation : public CAnnotation {
  public:
    using CAnnotation::CAnnotation;
    void MoveBy(QPointF delta) override;
    void Map(const QRectF& from, const QRectF& to) override;
    QRectF Frame() const override { return QRectF(start_, end_).normalized(); }
    void Begin(QPointF point) override { start_ = end_ = point; }
    void DragTo(QPointF point) override { end_ = point; }

  protected:
    QPointF start_, end_;
};

// Line and Arrow: from the press point to the release point; the arrow's head at the end.
class CLineAnnotation : public CTwoPointAnnotation {
  public:
    using CTwoPointAnnotation::CTwoPointAnnotation;
    std::unique_ptr<CAnnotation> Clone() const override;
    void Draw(QPainter& painter) const override;
    QRectF Bounds() const override;
    bool HitTest(QPointF point, qreal tolerance) const override;
    bool IsEmpty() const override { return start_ == end_; }

    QPointF start() const { return start_; }
    QPointF end() const { return end_; }
    // The arrow's head: its length along the line (its width at the base is the same).
    static qreal HeadLength(qreal width) { return 3 * width + 8; }
};

// Rectangle, Ellipse, Pixelate, Blur and the solid redaction box: a dragged rectangle.
class CBoxAnnotation : public CTwoPointAnnotation {
  public:
    using CTwoPointAnnotation::CTwoPointAnnotation;
    std::unique_ptr<CAnnotation> Clone() const override;
    void Draw(QPainter& painter) const override;
    QRectF Bounds() const override;
    bool HitTest(QPointF point, qreal tolerance) const override;
    bool IsEmpty() const override;
    bool IsRedaction() const override;
    void Redact(QImage& target, QPoint origin) const override;

    QRectF rect() const { return Frame(); }
    // The redacted picture pixels: the pixels whose centres the rectangle covers.
    QRect PixelRect() const;
    void SetRect(const QRectF& rect);
};

// Text: one line at the press point in the annotation font (its pixel size is the width).
class CTextAnnotation : public CAnnotation {
  public:
    CTextAnnotation(QColor color, const QFont& font);
    std::unique_ptr<CAnnotation> Clone() const override;
    void Draw(QPainter& painter) const override;
    QRectF Bounds() const override;
    bool HitTest(QPointF point, qreal tolerance) const override;
    void MoveBy(QPointF delta) override { anchor_ += delta; }
    void Map(const QRectF& from, const QRectF& to) override;
    QRectF Frame() const override;
    bool IsEmpty() const override { return text_.trimmed().isEmpty(); }
    void Begin(QPointF point) override { anchor_ = point; }
    void DragTo(QPointF point) override { anchor_ = point; }

    const QString& text() const { return text_; }
    void SetText(const QString& text) { text_ = text; }
    const QFont& font() const { return font_; }
    // The top-left corner of the text's line.
    QPointF anchor() const { return anchor_; }

  private:
    QFont font_;
    QString text_;
    QPointF anchor_;
};

// Numbered step: a filled circle with its number, centred on the press point.
class CStepAnnotation : public CAnnotation {
  public:
    using CAnnotation::CAnnotation;
    std::unique_ptr<CAnnotation> Clone() const override;
    void Draw(QPainter& painter) const override;
    QRectF Bounds() const override;
    bool HitTest(QPointF point, qreal tolerance) const override;
    void MoveBy(QPointF delta) override { centre_ += delta; }
    void Map(const QRectF& from, const QRectF& to) override;
    QRectF Frame() const override;
    void Begin(QPointF point) override { centre_ = point; }
    void DragTo(QPointF point) override { centre_ = point; }

    QPointF centre() const { return centre_; }
    int number() const { return number_; }
    void SetNumber(int number) { number_ = number; }
    // The number's colour: white on dark circles, black on light ones.
    static QColor NumberColor(QColor circle);
    // The number's font for a circle of this diameter.
    static QFont NumberFont(qreal diameter);

  private:
    QPointF centre_;
    int number_ = 1;
};

// A new, empty mark of the tool (null for Select); `width` as CAnnotation's, `font` for Text.
std::unique_ptr<CAnnotation> MakeAnnotation(AnnotationTool tool, QColor color, qreal width,
                                            const QFont& font = QFont());
