#include "editor/annotation/annotation.h"

#include "editor/annotation/redaction.h"

#include <QFontMetricsF>
#include <QLineF>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPolygonF>

#include <cmath>

namespace {

// Antialiased edges reach half a pixel beyond the geometry; one pixel more keeps repaints safe.
constexpr qreal kEdge = 1.5;

QPointF MapPoint(QPointF p, const QRectF& from, const QRectF& to) {
    const qreal sx = from.width() > 0 ? to.width() / from.width() : 1;
    const qreal sy = from.height() > 0 ? to.height() / from.height() : 1;
    return QPointF(to.left() + (p.x() - from.left()) * sx, to.top() + (p.y() - from.top()) * sy);
}

QPen RoundPen(QColor color, qreal width) {
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// The marker's ink: its colour, partly transparent, multiplied with what lies under it.
constexpr int kMarkerAlpha = 160;

// Smaller blocks or a smaller blur would let the redacted content be guessed.
constexpr int kMinRedaction = 8;

}  // namespace

// --- every mark ---------------------------------------------------------------------------------

bool CAnnotation::HitTest(QPointF point, qreal tolerance) const {
    return Bounds().adjusted(-tolerance, -tolerance, tolerance, tolerance).contains(point);
}

void CAnnotation::Redact(QImage&, QPoint) const {}

bool CAnnotation::NearPath(const QPainterPath& path, QPointF point, qreal width) {
    QPainterPathStroker stroker;
    stroker.setWidth(std::max<qreal>(width, 1));
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stroker.createStroke(path).contains(point);
}

// --- Pen and Marker -----------------------------------------------------------------------------

std::unique_ptr<CAnnotation> CStrokeAnnotation::Clone() const {
    return std::make_unique<CStrokeAnnotation>(*this);
}

QPainterPath CStrokeAnnotation::Path() const {
    QPainterPath path;
    if (points_.isEmpty()) return path;
    path.moveTo(points_.front());
    // A click without a move still leaves a dot.
    if (points_.size() == 1) path.lineTo(points_.front());
    for (qsizetype i = 1; i < points_.size(); ++i) path.lineTo(points_[i]);
    return path;
}

void CStrokeAnnotation::Draw(QPainter& painter) const {
    if (points_.isEmpty()) return;
    painter.save();
    QColor ink = color_;
    if (tool_ == AnnotationTool::Marker) {
        ink.setAlpha(kMarkerAlpha);
        painter.setCompositionMode(QPainter::CompositionMode_Multiply);
    }
    painter.setPen(RoundPen(ink, width_));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(Path());
    painter.restore();
}

QRectF CStrokeAnnotation::Bounds() const {
    if (points_.isEmpty()) return QRectF();
    const qreal reach = width_ / 2 + kEdge;
    return Frame().adjusted(-reach, -reach, reach, reach);
}

bool CStrokeAnnotation::HitTest(QPointF point, qreal tolerance) const {
    return NearPath(Path(), point, width_ + 2 * tolerance);
}

void CStrokeAnnotation::MoveBy(QPointF delta) {
    for (QPointF& p : points_) p += delta;
}

void CStrokeAnnotation::Map(const QRectF& from, const QRectF& to) {
    for (QPointF& p : points_) p = MapPoint(p, from, to);
}

QRectF CStrokeAnnotation::Frame() const {
    if (points_.isEmpty()) return QRectF();
    return QPolygonF(points_).boundingRect();
}

void CStrokeAnnotation::Begin(QPointF point) {
    points_ = {point};
}

void CStrokeAnnotation::DragTo(QPointF point) {
    if (points_.isEmpty() || points_.back() != point) points_.push_back(point);
}

// --- Two points
// -----------------------------------------------------------------------------------

void CTwoPointAnnotation::MoveBy(QPointF delta) {
    start_ += delta;
    end_ += delta;
}

void CTwoPointAnnotation::Map(const QRectF& from, const QRectF& to) {
    start_ = MapPoint(start_, from, to);
    end_ = MapPoint(end_, from, to);
}

// --- Line and Arrow -----------------------------------------------------------------------------

std::unique_ptr<CAnnotation> CLineAnnotation::Clone() const {
    return std::make_unique<CLineAnnotation>(*this);
}

void CLineAnnotation::Draw(QPainter& painter) const {
    if (IsEmpty()) return;
    painter.save();
    if (tool_ != AnnotationTool::Arrow) {
        painter.setPen(RoundPen(color_, width_));
        painter.drawLine(start_, end_);
        painter.restore();
        return;
    }
    // The shaft stops inside the head, so its round end never shows past the point.
    const QLineF line(start_, end_);
    const qreal head = HeadLength(width_);
    const QPointF along = (end_ - start_) / line.length();
    const QPointF across(-along.y(), along.x());
    const QPointF base = end_ - along * head;
    painter.setPen(RoundPen(color_, width_));
    if (line.length() > head / 2) painter.drawLine(start_, end_ - along * (head / 2));
    painter.setPen(Qt::NoPen);
    painter.setBrush(color_);
    painter.drawPolygon(QPolygonF({end_, base + across * (head / 2), base - across * (head / 2)}));
    painter.restore();
}

QRectF CLineAnnotation::Bounds() const {
    const qreal reach = (tool_ == AnnotationTool::Arrow ? HeadLength(width_) : width_ / 2) + kEdge;
    return Frame().adjusted(-reach, -reach, reach, reach);
}

bool CLineAnnotation::HitTest(QPointF point, qreal tolerance) const {
    QPainterPath path(start_);
    path.lineTo(end_);
    return NearPath(path, point, width_ + 2 * tolerance);
}

// --- boxes: Rectangle, Ellipse and the redactions -----------------------------------------------

std::unique_ptr<CAnnotation> CBoxAnnotation::Clone() const {
    return std::make_unique<CBoxAnnotation>(*this);
}

bool CBoxAnnotation::IsRedaction() const {
    return tool_ == AnnotationTool::Pixelate || tool_ == AnnotationTool::Blur ||
           tool_ == AnnotationTool::SolidBox;
}

bool CBoxAnnotation::IsEmpty() const {
    if (IsRedaction()) return PixelRect().isEmpty();
    return rect().width() < 1 && rect().height() < 1;
}

void CBoxAnnotation::SetRect(const QRectF& r) {
    start_ = r.topLeft();
    end_ = r.bottomRight();
}

QRect CBoxAnnotation::PixelRect() const {
    const QRectF r = rect();
    // Pixel x is covered when its centre x + 0.5 lies inside.
    const int left = static_cast<int>(std::ceil(r.left() - 0.5));
    const int top = static_cast<int>(std::ceil(r.top() - 0.5));
    const int right = static_cast<int>(std::ceil(r.right() - 0.5));
    const int bottom = static_cast<int>(std::ceil(r.bottom() - 0.5));
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

void CBoxAnnotation::Draw(QPainter& painter) const {
    painter.save();
    switch (tool_) {
        case AnnotationTool::Rectangle:
            painter.setPen(QPen(color_, width_, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(rect());
            break;
        case AnnotationTool::Ellipse:
            painter.setPen(RoundPen(color_, width_));
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(rect());
            break;
        default: {
            // A stand-in for the redaction (icons): a checked or a plain box.
            painter.setPen(Qt::NoPen);
            const QRect pixels = PixelRect();
            painter.fillRect(pixels,
                             tool_ == AnnotationTool::SolidBox ? color_ : QColor(128, 128, 128));
            if (tool_ == AnnotationTool::Pixelate) {
                const int cell = std::max(1, static_cast<int>(width_) / 2);
                for (int y = pixels.top(); y <= pixels.bottom(); y += cell) {
                    for (int x = pixels.left() + ((y - pixels.top()) / cell % 2) * cell;
                         x <= pixels.right(); x += 2 * cell) {
                        painter.fillRect(QRect(x, y, cell, cell).intersected(pixels),
                                         QColor(200, 200, 200));
                    }
                }
            }
            break;
        }
    }
    painter.restore();
}

void CBoxAnnotation::Redact(QImage& target, QPoint origin) const {
    const QRect area = PixelRect().translated(-origin);
    switch (tool_) {
        case AnnotationTool::Pixelate:
            redaction::Pixelate(target, area, area.topLeft(),
                                std::max(kMinRedaction, static_cast<int>(width_)));
            break;
        case AnnotationTool::Blur:
            redaction::Blur(target, area, std::max(kMinRedaction, static_cast<int>(width_)));
            break;
        case AnnotationTool::SolidBox:
            redaction::Fill(target, area, color_);
            break;
        default:
            break;
    }
}

QRectF CBoxAnnotation::Bounds() const {
    if (IsRedaction()) return QRectF(PixelRect());
    const qreal reach = width_ / 2 + kEdge;
    return rect().adjusted(-reach, -reach, reach, reach);
}

bool CBoxAnnotation::HitTest(QPointF point, qreal tolerance) const {
    const QRectF r = rect();
    if (IsRedaction())
        return r.adjusted(-tolerance, -tolerance, tolerance, tolerance).contains(point);
    // Outlines are hit on their line, so what lies inside them stays reachable.
    QPainterPath path;
    if (tool_ == AnnotationTool::Ellipse)
        path.addEllipse(r);
    else
        path.addRect(r);
    return NearPath(path, point, width_ + 2 * tolerance);
}

// --- Text ---------------------------------------------------------------------------------------

CTextAnnotation::CTextAnnotation(QColor color, const QFont& font)
    : CAnnotation(AnnotationTool::Text, color, font.pixelSize() > 0 ? font.pixelSize() : 16),
      font_(font) {
    if (font_.pixelSize() <= 0) font_.setPixelSize(16);
}

std::unique_ptr<CAnnotation> CTextAnnotation::Clone() const {
    return std::make_unique<CTextAnnotation>(*this);
}

void CTextAnnotation::Draw(QPainter& painter) const {
    if (text_.isEmpty()) return;
    painter.save();
    painter.setFont(font_);
    painter.setPen(color_);
    painter.drawText(anchor_ + QPointF(0, QFontMetricsF(font_).ascent()), text_);
    painter.restore();
}

QRectF CTextAnnotation::Frame() const {
    const QFontMetricsF metrics(font_);
    return QRectF(anchor_,
                  QSizeF(std::max<qreal>(metrics.horizontalAdvance(text_), 1), metrics.height()));
}

QRectF CTextAnnotation::Bounds() const {
    // Glyphs may reach beyond their advance (italics) and below the descent.
    const QFontMetricsF metrics(font_);
    const QRectF ink =
        metrics.boundingRect(text_).translated(anchor_ + QPointF(0, metrics.ascent()));
    const qreal reach = kEdge + 1;
    return Frame().united(ink).adjusted(-reach, -reach, reach, reach);
}

bool CTextAnnotation::HitTest(QPointF point, qreal tolerance) const {
    return Frame().adjusted(-tolerance, -tolerance, tolerance, tolerance).contains(point);
}

void CTextAnnotation::Map(const QRectF& from, const QRectF& to) {
    anchor_ = MapPoint(anchor_, from, to);
}

// --- Numbered step ------------------------------------------------------------------------------

std::unique_ptr<CAnnotation> CStepAnnotation::Clone() const {
    return std::make_unique<CStepAnnotation>(*this);
}

QColor CStepAnnotation::NumberColor(QColor circle) {
    return qGray(circle.rgb()) > 160 ? Qt::black : Qt::white;
}

QFont CStepAnnotation::NumberFont(qreal diameter) {
    QFont font;
    font.setBold(true);
    font.setPixelSize(std::max(6, static_cast<int>(diameter * 0.6)));
    return font;
}

QRectF CStepAnnotation::Frame() const {
    const qreal r = width_ / 2;
    return QRectF(centre_ - QPointF(r, r), QSizeF(width_, width_));
}

void CStepAnnotation::Draw(QPainter& painter) const {
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(color_);
    painter.drawEllipse(Frame());
    painter.setPen(NumberColor(color_));
    painter.setFont(NumberFont(width_));
    painter.drawText(Frame(), Qt::AlignCenter, QString::number(number_));
    painter.restore();
}

QRectF CStepAnnotation::Bounds() const {
    return Frame().adjusted(-kEdge, -kEdge, kEdge, kEdge);
}

bool CStepAnnotation::HitTest(QPointF point, qreal tolerance) const {
    return QLineF(point, centre_).length() <= width_ / 2 + tolerance;
}

void CStepAnnotation::Map(const QRectF& from, const QRectF& to) {
    centre_ = MapPoint(centre_, from, to);
}

// --- making marks -------------------------------------------------------------------------------

std::unique_ptr<CAnnotation> MakeAnnotation(AnnotationTool tool, QColor color, qreal width,
                                            const QFont& font) {
    switch (tool) {
        case AnnotationTool::Pen:
        case AnnotationTool::Marker:
            return std::make_unique<CStrokeAnnotation>(tool, color, width);
        case AnnotationTool::Line:
        case AnnotationTool::Arrow:
            return std::make_unique<CLineAnnotation>(tool, color, width);
        case AnnotationTool::Rectangle:
        case AnnotationTool::Ellipse:
        case AnnotationTool::Pixelate:
        case AnnotationTool::Blur:
        case AnnotationTool::SolidBox:
            return std::make_unique<CBoxAnnotation>(tool, color, width);
        case AnnotationTool::Text:
            return std::make_unique<CTextAnnotation>(color, font);
        case AnnotationTool::Step:
            return std::make_unique<CStepAnnotation>(tool, color, width);
        case AnnotationTool::Select:
            break;
    }
    return nullptr;
}
