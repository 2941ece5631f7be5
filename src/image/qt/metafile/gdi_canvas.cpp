#include "image/qt/metafile/gdi_canvas.h"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

double Round(double v) {
    return std::floor(v + 0.5);
}

Qt::BrushStyle HatchStyle(uint32_t hatch) {
    switch (hatch) {
        case 0:
            return Qt::HorPattern;
        case 1:
            return Qt::VerPattern;
        case 2:
            return Qt::FDiagPattern;
        case 3:
            return Qt::BDiagPattern;
        case 4:
            return Qt::CrossPattern;
        default:
            return Qt::DiagCrossPattern;
    }
}

// The parametric angle (degrees, counter-clockwise on screen) of the ellipse point seen from the
// centre in the direction of `p`.
double EllipseAngle(const QRectF& box, QPointF p) {
    const QPointF c = box.center();
    const double rx = std::max(box.width() / 2, 1e-9), ry = std::max(box.height() / 2, 1e-9);
    return std::atan2(-(p.y() - c.y()) / ry, (p.x() - c.x()) / rx) * 180 / kPi;
}

}  // namespace

bool EnsureFonts() {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return true;
    if (QCoreApplication::instance()) return false;
    // A command-line run: an application object without windows serves the font database.
    static int argc = 3;
    static char arg0[] = "quillet", arg1[] = "-platform", arg2[] = "offscreen";
    static char* argv[] = {arg0, arg1, arg2, nullptr};
    static QGuiApplication* app = new QGuiApplication(argc, argv);
    return app != nullptr;
}

CGdiCanvas::CGdiCanvas(QImage& target, const QTransform& deviceToImage, QPointF dpi)
    : target(target), painter(&target), base(deviceToImage), dpi(dpi) {
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    budget = 64.0 * target.width() * target.height() + (1 << 26);
}

CGdiCanvas::~CGdiCanvas() {
    painter.end();
}

void CGdiCanvas::Select(const GdiObject& object) {
    switch (object.kind) {
        case GdiObject::kPen:
            state.pen = object.pen;
            break;
        case GdiObject::kBrush:
            state.brush = object.brush;
            break;
        case GdiObject::kFont:
            state.font = object.font;
            break;
        default:
            break;
    }
}

void CGdiCanvas::SaveState() {
    if (saved.size() < 4096) saved.push_back(state);
}

void CGdiCanvas::RestoreState(int which) {
    const int count = static_cast<int>(saved.size());
    const int index = which < 0 ? count + which : which - 1;
    if (index < 0 || index >= count) return;
    state = saved[index];
    saved.resize(index);
}

// --- mapping ---

QTransform CGdiCanvas::Full() const {
    const GdiState& s = state;
    double sx = 1, sy = 1;
    switch (s.mapMode) {
        case gdi::kMapLoMetric:
            sx = dpi.x() / 254, sy = -dpi.y() / 254;
            break;
        case gdi::kMapHiMetric:
            sx = dpi.x() / 2540, sy = -dpi.y() / 2540;
            break;
        case gdi::kMapLoEnglish:
            sx = dpi.x() / 100, sy = -dpi.y() / 100;
            break;
        case gdi::kMapHiEnglish:
            sx = dpi.x() / 1000, sy = -dpi.y() / 1000;
            break;
        case gdi::kMapTwips:
            sx = dpi.x() / 1440, sy = -dpi.y() / 1440;
            break;
        case gdi::kMapIsotropic:
        case gdi::kMapAnisotropic: {
            const double wx = s.windowExt.x() ? s.windowExt.x() : 1;
            const double wy = s.windowExt.y() ? s.windowExt.y() : 1;
            sx = s.viewportExt.x() / wx;
            sy = s.viewportExt.y() / wy;
            if (s.mapMode == gdi::kMapIsotropic) {
                const double m = std::min(std::fabs(sx), std::fabs(sy));
                sx = std::copysign(m, sx);
                sy = std::copysign(m, sy);
            }
            break;
        }
        default:
            break;
    }
    const QTransform page(sx, 0, 0, sy, s.viewportOrg.x() - s.windowOrg.x() * sx,
                          s.viewportOrg.y() - s.windowOrg.y() * sy);
    return s.world * page * base;
}

QPointF CGdiCanvas::Map(QPointF p) const {
    const QPointF d = Full().map(p);
    return {Round(d.x()), Round(d.y())};
}

// A box in image pixels whose outline, drawn one pixel wide, lies on its own edge pixels.
QRectF CGdiCanvas::MapBox(QRectF box) const {
    const QPointF a = Map(box.topLeft()), b = Map(box.bottomRight());
    const double left = std::min(a.x(), b.x()), right = std::max(a.x(), b.x());
    const double top = std::min(a.y(), b.y()), bottom = std::max(a.y(), b.y());
    return QRectF(left, top, std::max(0.0, right - left - 1), std::max(0.0, bottom - top - 1));
}

double CGdiCanvas::LinearScale() const {
    const QTransform t = Full();
    return std::sqrt(std::fabs(t.m11() * t.m22() - t.m12() * t.m21()));
}

QPen CGdiCanvas::MakePen() const {
    const GdiPen& p = state.pen;
    if ((p.style & 0x0F) == gdi::kPenNull) return QPen(Qt::NoPen);
    const double width = Round(p.width * LinearScale());
    QPen pen(p.color);
    pen.setCosmetic(true);
    pen.setWidthF(width <= 1 ? 0 : std::min(width, 10000.0));
    switch (p.style & 0x0F) {
        case gdi::kPenDash:
            pen.setStyle(Qt::DashLine);
            break;
        case gdi::kPenDot:
            pen.setStyle(Qt::DotLine);
            break;
        case gdi::kPenDashDot:
            pen.setStyle(Qt::DashDotLine);
            break;
        case gdi::kPenDashDotDot:
            pen.setStyle(Qt::DashDotDotLine);
            break;
        default:
            pen.setStyle(Qt::SolidLine);
            break;
    }
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

QBrush CGdiCanvas::MakeBrush() const {
    const GdiBrush& b = state.brush;
    switch (b.style) {
        case gdi::kBrushNull:
            return QBrush(Qt::NoBrush);
        case gdi::kBrushHatched:
            return QBrush(b.color, HatchStyle(b.hatch));
        case gdi::kBrushPattern:
            if (!b.pattern.isNull()) return QBrush(b.pattern);
            return QBrush(b.color);
        default:
            return QBrush(b.color);
    }
}

bool CGdiCanvas::Spend(const QRectF& area) {
    const QRectF visible = area.intersected(QRectF(target.rect()).adjusted(-1, -1, 1, 1));
    budget -= std::max(1.0, visible.width() * visible.height());
    return budget > 0;
}

void CGdiCanvas::Paint(const QPainterPath& shape, bool fill) {
    if (recording) {
        path.addPath(shape);
        return;
    }
    const double pen = MakePen().widthF();
    if (!Spend(shape.controlPointRect().adjusted(-pen, -pen, pen, pen))) return;
    QPainterPath filled = shape;
    filled.setFillRule(state.fillRule);
    if (fill && state.brush.style != gdi::kBrushNull) {
        if (state.brush.style == gdi::kBrushHatched && state.opaque)
            painter.fillPath(filled, state.backColor);
        painter.fillPath(filled, MakeBrush());
    }
    Stroke(shape);
}

void CGdiCanvas::Stroke(const QPainterPath& shape) {
    const QPen pen = MakePen();
    if (pen.style() == Qt::NoPen) return;
    painter.strokePath(shape, pen);
}

// --- paths ---

void CGdiCanvas::BeginPath() {
    recording = true;
    path = QPainterPath();
}

void CGdiCanvas::EndPath() {
    recording = false;
}

void CGdiCanvas::CloseFigure() {
    if (recording) path.closeSubpath();
}

void CGdiCanvas::DrawPath(bool fill, bool stroke) {
    recording = false;
    if (!Spend(path.controlPointRect())) return;
    QPainterPath shape = path;
    shape.setFillRule(state.fillRule);
    if (fill && state.brush.style != gdi::kBrushNull) painter.fillPath(shape, MakeBrush());
    if (stroke) Stroke(shape);
    path = QPainterPath();
}

// --- drawing ---

void CGdiCanvas::MoveTo(QPointF p) {
    state.current = p;
    if (recording) path.moveTo(Map(p));
}

void CGdiCanvas::LineTo(QPointF p) {
    if (recording) {
        if (path.elementCount() == 0) path.moveTo(Map(state.current));
        path.lineTo(Map(p));
    } else {
        QPainterPath line(Map(state.current));
        line.lineTo(Map(p));
        Paint(line, false);
    }
    state.current = p;
}

void CGdiCanvas::Polyline(const std::vector<QPointF>& points) {
    if (points.size() < 2) return;
    QPainterPath line(Map(points[0]));
    for (size_t i = 1; i < points.size(); ++i) line.lineTo(Map(points[i]));
    Paint(line, false);
}

void CGdiCanvas::PolylineTo(const std::vector<QPointF>& points) {
    for (const QPointF& p : points) LineTo(p);
}

void CGdiCanvas::PolyBezier(const std::vector<QPointF>& points, bool fromCurrent) {
    size_t i = 0;
    QPainterPath curve;
    if (fromCurrent) {
        curve.moveTo(Map(state.current));
    } else {
        if (points.empty()) return;
        curve.moveTo(Map(points[0]));
        i = 1;
    }
    for (; i + 3 <= points.size(); i += 3)
        curve.cubicTo(Map(points[i]), Map(points[i + 1]), Map(points[i + 2]));
    if (fromCurrent && !points.empty()) state.current = points.back();
    if (recording) {
        path.connectPath(curve);
        return;
    }
    Paint(curve, false);
}

void CGdiCanvas::PolyPolygon(const std::vector<std::vector<QPointF>>& polygons) {
    QPainterPath shape;
    for (const auto& polygon : polygons) {
        if (polygon.size() < 2) continue;
        QPolygonF mapped;
        for (const QPointF& p : polygon) mapped << Map(p);
        mapped << mapped.front();
        shape.addPolygon(mapped);
        shape.closeSubpath();
    }
    if (!shape.isEmpty()) Paint(shape, true);
}

void CGdiCanvas::PolyPolyline(const std::vector<std::vector<QPointF>>& lines) {
    for (const auto& line : lines) Polyline(line);
}

void CGdiCanvas::Rectangle(QRectF box) {
    QPainterPath shape;
    shape.addRect(MapBox(box));
    Paint(shape, true);
}

void CGdiCanvas::RoundRect(QRectF box, QSizeF corner) {
    const QRectF r = MapBox(box);
    const QTransform t = Full();
    const double cw = std::fabs(corner.width() * t.m11()),
                 ch = std::fabs(corner.height() * t.m22());
    QPainterPath shape;
    shape.addRoundedRect(r, cw / 2, ch / 2);
    Paint(shape, true);
}

void CGdiCanvas::Ellipse(QRectF box) {
    QPainterPath shape;
    shape.addEllipse(MapBox(box));
    Paint(shape, true);
}

void CGdiCanvas::Arc(ArcKind kind, QRectF box, QPointF start, QPointF end) {
    const QRectF r = MapBox(box);
    const QPointF s = Map(start), e = Map(end);
    const double a0 = EllipseAngle(r, s), a1 = EllipseAngle(r, e);
    double span = a1 - a0;
    while (span <= 0) span += 360;  // counter-clockwise; equal points give the whole ellipse
    QPainterPath shape;
    if (kind == kPie) {
        shape.moveTo(r.center());
        shape.arcTo(r, a0, span);
        shape.closeSubpath();
    } else {
        shape.arcMoveTo(r, a0);
        shape.arcTo(r, a0, span);
        if (kind == kChord) shape.closeSubpath();
    }
    Paint(shape, kind != kArc);
}

void CGdiCanvas::SetPixel(QPointF p, QColor color) {
    const QPointF d = Map(p);
    const int x = static_cast<int>(d.x()), y = static_cast<int>(d.y());
    if (target.rect().contains(x, y)) target.setPixel(x, y, color.rgb());
}

QFont CGdiCanvas::MakeFont(double& pixelSize) const {
    const GdiFont& f = state.font;
    QFont font;
    if (!f.face.isEmpty()) font.setFamily(f.face);
    pixelSize = std::fabs(f.height) * std::fabs(Full().m22());
    if (f.height == 0) pixelSize = 16;
    pixelSize = std::clamp(pixelSize, 1.0, 4000.0);
    font.setPixelSize(std::max(1, static_cast<int>(Round(pixelSize))));
    if (f.height > 0) {  // a cell height: the character height is what remains without leading
        const QFontMetricsF metrics(font);
        if (metrics.height() > 0)
            font.setPixelSize(
                std::max(1, static_cast<int>(Round(pixelSize * pixelSize / metrics.height()))));
    }
    font.setWeight(static_cast<QFont::Weight>(std::clamp(f.weight ? f.weight : 400, 100, 900)));
    font.setItalic(f.italic);
    font.setUnderline(f.underline);
    font.setStrikeOut(f.strikeOut);
    return font;
}

void CGdiCanvas::Text(QPointF at, const QString& text, const std::vector<double>& advances,
                      uint32_t options, const QRectF* box) {
    if (recording || !EnsureFonts()) return;
    const uint32_t align = state.textAlign;
    const QPointF reference = Map((align & gdi::kAlignUpdateCp) ? state.current : at);
    if (box && (options & gdi::kTextOpaque)) {
        const QRectF r = MapBox(*box).adjusted(0, 0, 1, 1);
        if (Spend(r)) painter.fillRect(r, state.backColor);
    }
    if (text.isEmpty()) return;
    double pixelSize = 0;
    const QFont font = MakeFont(pixelSize);
    const QFontMetricsF metrics(font);
    const double scale = std::fabs(Full().m11());
    std::vector<double> offsets;  // x of each character from the reference, in pixels
    double width = 0;
    if (!advances.empty()) {
        for (qsizetype i = 0; i < text.size(); ++i) {
            offsets.push_back(width);
            width += (i < static_cast<qsizetype>(advances.size()) ? advances[i] : 0) * scale;
        }
    } else {
        width = metrics.horizontalAdvance(text);
    }
    double x = 0;
    if ((align & gdi::kAlignCenter) == gdi::kAlignCenter)
        x = -width / 2;
    else if (align & gdi::kAlignRight)
        x = -width;
    double baseline = metrics.ascent();
    if ((align & gdi::kAlignBaseline) == gdi::kAlignBaseline)
        baseline = 0;
    else if (align & gdi::kAlignBottom)
        baseline = -metrics.descent();
    const QRectF textBox(x, baseline - metrics.ascent(), width, metrics.height());
    // Every character is painted on its own: each one is paid for.
    const double glyph = std::max(pixelSize, metrics.maxWidth()) * metrics.height();
    if (!Spend(textBox.translated(reference)) || !Spend(QRectF(0, 0, glyph, text.size()))) return;

    painter.save();
    painter.translate(reference);
    if (state.font.escapement) painter.rotate(-state.font.escapement / 10);
    if (box && (options & gdi::kTextClipped)) {
        painter.setClipRect(MapBox(*box).adjusted(0, 0, 1, 1).translated(-reference),
                            Qt::IntersectClip);
    }
    if (state.opaque) painter.fillRect(textBox, state.backColor);
    painter.setFont(font);
    painter.setPen(state.textColor);
    if (offsets.empty()) {
        painter.drawText(QPointF(x, baseline), text);
    } else {
        for (qsizetype i = 0; i < text.size(); ++i)
            painter.drawText(QPointF(x + offsets[i], baseline), QString(text[i]));
    }
    painter.restore();
    if (align & gdi::kAlignUpdateCp)
        state.current = Full().inverted().map(reference + QPointF(width, 0));
}

void CGdiCanvas::Bitmap(const QImage& image, QRectF source, QRectF dest, uint32_t rop) {
    if (recording || image.isNull()) return;
    const QPointF a = Map(dest.topLeft()), b = Map(dest.bottomRight());
    QImage picture = image;
    if (a.x() > b.x() || a.y() > b.y()) picture = picture.mirrored(a.x() > b.x(), a.y() > b.y());
    if (a.x() > b.x()) source.moveLeft(image.width() - source.right());
    if (a.y() > b.y()) source.moveTop(image.height() - source.bottom());
    const QRectF target(QPointF(std::min(a.x(), b.x()), std::min(a.y(), b.y())),
                        QPointF(std::max(a.x(), b.x()), std::max(a.y(), b.y())));
    if (target.isEmpty() || !Spend(target)) return;
    painter.save();
    switch (rop) {
        case gdi::kRopSrcPaint:
            painter.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
            break;
        case gdi::kRopSrcAnd:
            painter.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
            break;
        case gdi::kRopSrcInvert:
            painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
            break;
        case gdi::kRopNotSrcCopy:
            picture.invertPixels();
            break;
        default:
            break;
    }
    painter.drawImage(target, picture, source);
    painter.restore();
}

void CGdiCanvas::PatternBlt(QRectF dest, uint32_t rop) {
    if (recording) return;
    const QPointF a = Map(dest.topLeft()), b = Map(dest.bottomRight());
    const QRectF r = QRectF(a, b).normalized();
    if (r.isEmpty() || !Spend(r)) return;
    switch (rop) {
        case gdi::kRopBlackness:
            painter.fillRect(r, Qt::black);
            break;
        case gdi::kRopWhiteness:
            painter.fillRect(r, Qt::white);
            break;
        case gdi::kRopDstInvert:
            painter.save();
            painter.setCompositionMode(QPainter::RasterOp_NotDestination);
            painter.fillRect(r, Qt::black);
            painter.restore();
            break;
        default:
            if (state.brush.style != gdi::kBrushNull) painter.fillRect(r, MakeBrush());
            break;
    }
}
