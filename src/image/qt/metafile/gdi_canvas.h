#pragma once

// The drawing state a metafile's records change (pens, brushes, fonts, colours, mapping, saved
// states) and the drawing calls they make, painted with QPainter onto the image being rendered.

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QString>
#include <QTransform>
#include <vector>

// GDI constants used by the records.
namespace gdi {
enum PenStyle { kPenSolid = 0, kPenDash, kPenDot, kPenDashDot, kPenDashDotDot, kPenNull };
enum BrushStyle { kBrushSolid = 0, kBrushNull = 1, kBrushHatched = 2, kBrushPattern = 3 };
enum MapMode {
    kMapText = 1,
    kMapLoMetric,
    kMapHiMetric,
    kMapLoEnglish,
    kMapHiEnglish,
    kMapTwips,
    kMapIsotropic,
    kMapAnisotropic
};
constexpr uint32_t kAlignUpdateCp = 1, kAlignRight = 2, kAlignCenter = 6;
constexpr uint32_t kAlignBottom = 8, kAlignBaseline = 24;
constexpr uint32_t kTextOpaque = 2, kTextClipped = 4;
constexpr uint32_t kRopSrcCopy = 0x00CC0020, kRopSrcPaint = 0x00EE0086, kRopSrcAnd = 0x008800C6;
constexpr uint32_t kRopSrcInvert = 0x00660046, kRopNotSrcCopy = 0x00330008;
constexpr uint32_t kRopPatCopy = 0x00F00021, kRopBlackness = 0x00000042;
constexpr uint32_t kRopWhiteness = 0x00FF0062, kRopDstInvert = 0x00550009;
}  // namespace gdi

struct GdiPen {
    uint32_t style = gdi::kPenSolid;
    double width = 0;  // logical units; 0 and 1 draw one pixel wide
    QColor color = Qt::black;
};

struct GdiBrush {
    uint32_t style = gdi::kBrushSolid;
    QColor color = Qt::white;
    uint32_t hatch = 0;
    QImage pattern;
};

struct GdiFont {
    double height = 0;  // logical units; negative = character height, positive = cell height
    int weight = 400;
    bool italic = false, underline = false, strikeOut = false;
    double escapement = 0;  // tenths of a degree, counter-clockwise
    QString face;
};

// One entry of a metafile's object table.
struct GdiObject {
    enum Kind { kNone, kPen, kBrush, kFont, kOther } kind = kNone;
    GdiPen pen;
    GdiBrush brush;
    GdiFont font;
};

struct GdiState {
    GdiPen pen;
    GdiBrush brush;
    GdiFont font;
    QColor textColor = Qt::black, backColor = Qt::white;
    bool opaque = true;
    Qt::FillRule fillRule = Qt::OddEvenFill;
    int mapMode = gdi::kMapText;
    QPointF windowOrg{0, 0}, windowExt{1, 1}, viewportOrg{0, 0}, viewportExt{1, 1};
    QTransform world;
    QPointF current;
    uint32_t textAlign = 0;
};

class CGdiCanvas {
  public:
    // `deviceToImage` maps the metafile's device units onto the image; `dpi` serves the metric
    // mapping modes.
    CGdiCanvas(QImage& target, const QTransform& deviceToImage, QPointF dpi);
    ~CGdiCanvas();
    CGdiCanvas(const CGdiCanvas&) = delete;
    CGdiCanvas& operator=(const CGdiCanvas&) = delete;

    GdiState& State() { return state; }
    void Select(const GdiObject& object);
    void SaveState();
    // A negative value counts back from the latest saved state, a positive one is absolute.
    void RestoreState(int which);
    // Drawing stops for good once the painted area passes a bound far above any real drawing,
    // so that a small file cannot keep us painting for ever.
    bool Exhausted() const { return budget <= 0; }

    // --- path brackets: drawing between Begin and End builds a path instead of painting ---
    void BeginPath();
    void EndPath();
    void CloseFigure();
    void DrawPath(bool fill, bool stroke);

    // --- drawing, in logical units ---
    void MoveTo(QPointF p);
    void LineTo(QPointF p);
    void Polyline(const std::vector<QPointF>& points);
    void PolylineTo(const std::vector<QPointF>& points);
    void PolyBezier(const std::vector<QPointF>& points, bool fromCurrent);
    void PolyPolygon(const std::vector<std::vector<QPointF>>& polygons);
    void PolyPolyline(const std::vector<std::vector<QPointF>>& lines);
    void Rectangle(QRectF box);
    void RoundRect(QRectF box, QSizeF corner);
    void Ellipse(QRectF box);
    enum ArcKind { kArc, kChord, kPie };
    void Arc(ArcKind kind, QRectF box, QPointF start, QPointF end);
    void SetPixel(QPointF p, QColor color);
    // Text at a reference point; `advances` (logical units, may be empty) places each character.
    void Text(QPointF at, const QString& text, const std::vector<double>& advances,
              uint32_t options, const QRectF* box);
    // A bitmap (rows top first) stretched from `source` onto the logical rectangle.
    void Bitmap(const QImage& image, QRectF source, QRectF dest, uint32_t rop);
    // A raster operation without a source over the logical rectangle (brush, black, white).
    void PatternBlt(QRectF dest, uint32_t rop);

  private:
    QTransform Full() const;
    QPointF Map(QPointF p) const;
    QRectF MapBox(QRectF box) const;
    double LinearScale() const;
    QPen MakePen() const;
    QBrush MakeBrush() const;
    bool Spend(const QRectF& area);
    void Paint(const QPainterPath& path, bool fill);
    void Stroke(const QPainterPath& path);
    QFont MakeFont(double& pixelSize) const;

    QImage& target;
    QPainter painter;
    QTransform base;
    QPointF dpi;
    GdiState state;
    std::vector<GdiState> saved;
    bool recording = false;
    QPainterPath path;
    double budget;
};

// Whether fonts can be used: a GUI application object exists, or one (without windows) was made.
bool EnsureFonts();
