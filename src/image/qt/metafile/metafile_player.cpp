// Reading of placeable WMF and EMF files: the headers and their size rules, then every record
// played on a CGdiCanvas over a white image.

#include "image/qt/metafile/metafile_player.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "image/codecs.h"
#include "image/dib_reader.h"
#include "image/format_bytes.h"
#include "image/memory_stream.h"
#include "image/qt/metafile/gdi_canvas.h"

namespace {

constexpr const char* kErrEmpty = "empty WMF";
constexpr const char* kErrCorrupted = "corrupted WMF";
constexpr const char* kErrCancelled = "Cancelled";
constexpr const char* kErrMemory = "Can't allocate memory";

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr uint32_t kPlaceableSize = 22;
constexpr uint32_t kEmfSignature = 0x464D4520;  // " EMF"
constexpr int kMaxSide = 4000;
constexpr uint32_t kRecordsBetweenEscapeChecks = 256;

QPointF ScreenDpi() {
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        if (const QScreen* screen = app->primaryScreen())
            return {std::round(screen->logicalDotsPerInchX()),
                    std::round(screen->logicalDotsPerInchY())};
    }
    return {96, 96};
}

QColor ColorRef(uint32_t c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

// A device-independent bitmap (header, colour table, rows) as a picture with its top row first.
// Sizes its data cannot hold are refused before anything is allocated.
QImage DibToImage(const uint8_t* info, size_t infoSize, const uint8_t* bits, size_t bitsSize) {
    if (infoSize < 12) return {};
    const bool core = le::Load32(info) == 12;
    if (!core && infoSize < kInfoHeaderSize) return {};
    const uint64_t dibWidth =
        core ? le::Load16(info + 4) : std::abs(int64_t{int32_t(le::Load32(info + 4))});
    const uint64_t dibHeight =
        core ? le::Load16(info + 6) : std::abs(int64_t{int32_t(le::Load32(info + 8))});
    const uint32_t bpp = le::Load16(info + (core ? 10 : 14));
    const uint32_t compression = core ? BI_RGB : le::Load32(info + 16);
    const uint64_t rowBytes = (dibWidth * bpp + 31) / 32 * 4;
    const uint64_t data = bits ? bitsSize : infoSize;
    const bool rle = compression == BI_RLE8 || compression == BI_RLE4;
    if ((rle ? dibWidth * dibHeight / 256 : rowBytes * dibHeight) > data) return {};
    std::vector<uint8_t> block(info, info + infoSize);
    int64_t bitsOffset = -1;
    if (bits) {
        bitsOffset = static_cast<int64_t>(block.size());
        block.insert(block.end(), bits, bits + bitsSize);
    }
    CMemoryStream stream(block.data(), block.size());
    CRaster raster(kTypeBmp);
    if (!ReadDib(raster, stream, bitsOffset, kTypeBmp)) return {};
    const int width = static_cast<int>(raster.GetWidth()),
              height = static_cast<int>(raster.GetHeight());
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull()) return {};
    for (int y = 0; y < height; ++y) {
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        const int row = height - 1 - y;
        if (raster.GetBpp() == 24) {
            const uint8_t* in = raster.GetBits(row);
            for (int x = 0; x < width; ++x) out[x] = qRgb(in[3 * x + 2], in[3 * x + 1], in[3 * x]);
        } else {
            for (int x = 0; x < width; ++x) {
                const RGBQUAD c = raster.GetPixelColor(x, row);
                out[x] = qRgb(c.rgbRed, c.rgbGreen, c.rgbBlue);
            }
        }
    }
    return image;
}

// The source rectangle of a bitmap record, measured from the top (records count rows of
// bottom-up bitmaps from the bottom).
QRectF SourceRect(const QImage& image, double x, double y, double w, double h) {
    return QRectF(x, image.height() - y - h, w, h);
}

// --- WMF ---

class WmfPlayer {
  public:
    WmfPlayer(CGdiCanvas& canvas, uint16_t objects) : canvas(canvas), tableSize(objects) {}

    // Plays the records from `at`; false with `error` set for a record that does not fit the file
    // or when cancelled.
    bool Play(const std::vector<uint8_t>& bytes, size_t at, const CRaster& progress,
              const char*& error);

  private:
    void Record(uint16_t function, ByteReader& p);
    void AddObject(const GdiObject& object);
    std::vector<QPointF> Points(ByteReader& p, size_t count);
    QString Chars(ByteReader& p, size_t count);

    CGdiCanvas& canvas;
    uint32_t tableSize;
    std::vector<GdiObject> objects;
    std::set<uint32_t> freeSlots;
};

bool WmfPlayer::Play(const std::vector<uint8_t>& bytes, size_t at, const CRaster& progress,
                     const char*& error) {
    ByteReader in(bytes);
    in.Seek(at);
    for (uint32_t n = 0; in.Left() >= 6; ++n) {
        if (n % kRecordsBetweenEscapeChecks == 0 && progress.GetEscape()) {
            error = kErrCancelled;
            return false;
        }
        const size_t start = in.Position();
        const uint64_t size = static_cast<uint64_t>(in.U32()) * 2;
        const uint16_t function = in.U16();
        if (function == 0) return true;  // end of the metafile
        if (size < 6 || size > bytes.size() - start) {
            error = kErrCorrupted;
            return false;
        }
        if (canvas.Exhausted()) return true;
        ByteReader params(bytes.data() + start + 6, static_cast<size_t>(size) - 6);
        Record(function, params);
        in.Seek(start + static_cast<size_t>(size));
    }
    return true;
}

void WmfPlayer::AddObject(const GdiObject& object) {
    uint32_t slot;
    if (!freeSlots.empty()) {
        slot = *freeSlots.begin();
        freeSlots.erase(freeSlots.begin());
        objects[slot] = object;
        return;
    }
    slot = static_cast<uint32_t>(objects.size());
    if (slot >= std::max<uint32_t>(tableSize, 16)) return;  // table full: the object is lost
    objects.push_back(object);
}

std::vector<QPointF> WmfPlayer::Points(ByteReader& p, size_t count) {
    std::vector<QPointF> points;
    count = std::min(count, p.Left() / 4);
    points.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const double x = p.S16();
        points.emplace_back(x, p.S16());
    }
    return points;
}

QString WmfPlayer::Chars(ByteReader& p, size_t count) {
    count = std::min(count, p.Left());
    QString text = QString::fromLatin1(reinterpret_cast<const char*>(p.Here()), count);
    p.Skip(count + (count & 1));
    return text;
}

void WmfPlayer::Record(uint16_t function, ByteReader& p) {
    GdiState& s = canvas.State();
    // Coordinates come last-first in most records.
    auto box = [&]() {
        const double bottom = p.S16(), right = p.S16(), top = p.S16(), left = p.S16();
        return QRectF(QPointF(left, top), QPointF(right, bottom));
    };
    auto point = [&]() {
        const double y = p.S16();
        return QPointF(p.S16(), y);
    };
    switch (function) {
        case 0x001E:
            canvas.SaveState();
            break;
        case 0x0127:
            canvas.RestoreState(p.S16());
            break;
        case 0x0102:
            s.opaque = p.U16() == 2;
            break;
        case 0x0103: {
            // A placeable file is drawn into its frame: only the isotropic choice changes that.
            const int mode = p.U16();
            s.mapMode = mode == gdi::kMapIsotropic ? gdi::kMapIsotropic : gdi::kMapAnisotropic;
            break;
        }
        case 0x0106:
            s.fillRule = p.U16() == 2 ? Qt::WindingFill : Qt::OddEvenFill;
            break;
        case 0x012E:
            s.textAlign = p.U16();
            break;
        case 0x0201:
            s.backColor = ColorRef(p.U32());
            break;
        case 0x0209:
            s.textColor = ColorRef(p.U32());
            break;
        case 0x020B:
            s.windowOrg = point();
            break;
        case 0x020C:
            s.windowExt = point();
            break;
        case 0x020D:
            s.viewportOrg = point();
            break;
        case 0x020E:
            s.viewportExt = point();
            break;
        case 0x020F:
            s.windowOrg += point();
            break;
        case 0x0211:
            s.viewportOrg += point();
            break;
        case 0x0214:
            canvas.MoveTo(point());
            break;
        case 0x0213:
            canvas.LineTo(point());
            break;
        case 0x041F: {
            const uint32_t color = p.U32();
            canvas.SetPixel(point(), ColorRef(color));
            break;
        }
        case 0x0324:
        case 0x0325: {
            const size_t count = p.U16();
            const std::vector<QPointF> points = Points(p, count);
            if (function == 0x0325)
                canvas.Polyline(points);
            else
                canvas.PolyPolygon({points});
            break;
        }
        case 0x0538: {
            const size_t polygons = p.U16();
            std::vector<size_t> counts;
            for (size_t i = 0; i < polygons && !p.Failed(); ++i) counts.push_back(p.U16());
            std::vector<std::vector<QPointF>> shapes;
            for (size_t count : counts) shapes.push_back(Points(p, count));
            if (!p.Failed()) canvas.PolyPolygon(shapes);
            break;
        }
        case 0x041B:
            canvas.Rectangle(box());
            break;
        case 0x0418:
            canvas.Ellipse(box());
            break;
        case 0x061C: {
            const double h = p.S16(), w = p.S16();
            canvas.RoundRect(box(), QSizeF(w, h));
            break;
        }
        case 0x0817:
        case 0x0830:
        case 0x081A: {
            const QPointF end = point(), start = point();
            const QRectF r = box();
            const auto kind = function == 0x0817   ? CGdiCanvas::kArc
                              : function == 0x0830 ? CGdiCanvas::kChord
                                                   : CGdiCanvas::kPie;
            canvas.Arc(kind, r, start, end);
            break;
        }
        case 0x0521: {
            const size_t count = p.U16();
            const QString text = Chars(p, count);
            canvas.Text(point(), text, {}, 0, nullptr);
            break;
        }
        case 0x0A32: {
            const QPointF at = point();
            const size_t count = p.U16();
            const uint16_t options = p.U16();
            QRectF r;
            const bool hasBox = options & (gdi::kTextOpaque | gdi::kTextClipped);
            if (hasBox) {
                const double left = p.S16(), top = p.S16(), right = p.S16(), bottom = p.S16();
                r = QRectF(QPointF(left, top), QPointF(right, bottom));
            }
            const QString text = Chars(p, count);
            std::vector<double> advances;
            if (p.Left() >= 2 * static_cast<size_t>(count))
                for (size_t i = 0; i < count; ++i) advances.push_back(p.S16());
            canvas.Text(at, text, advances, options, hasBox ? &r : nullptr);
            break;
        }
        case 0x02FA: {
            GdiObject o;
            o.kind = GdiObject::kPen;
            o.pen.style = p.U16();
            o.pen.width = p.S16();
            p.S16();
            o.pen.color = ColorRef(p.U32());
            AddObject(o);
            break;
        }
        case 0x02FC: {
            GdiObject o;
            o.kind = GdiObject::kBrush;
            o.brush.style = p.U16();
            o.brush.color = ColorRef(p.U32());
            o.brush.hatch = p.U16();
            if (o.brush.style > gdi::kBrushHatched) o.brush.style = gdi::kBrushSolid;
            AddObject(o);
            break;
        }
        case 0x0142: {  // brush with a bitmap pattern
            GdiObject o;
            o.kind = GdiObject::kBrush;
            o.brush.style = gdi::kBrushPattern;
            p.U16();
            p.U16();
            o.brush.pattern = DibToImage(p.Here(), p.Left(), nullptr, 0);
            o.brush.color = Qt::black;
            AddObject(o);
            break;
        }
        case 0x02FB: {
            GdiObject o;
            o.kind = GdiObject::kFont;
            o.font.height = p.S16();
            p.S16();
            o.font.escapement = p.S16();
            p.S16();
            o.font.weight = p.S16();
            o.font.italic = p.U8();
            o.font.underline = p.U8();
            o.font.strikeOut = p.U8();
            p.Skip(5);
            char face[33] = {};
            p.Bytes(face, std::min<size_t>(32, p.Left()));
            o.font.face = QString::fromLatin1(face);
            AddObject(o);
            break;
        }
        case 0x00F7:
        case 0x01F9:
        case 0x06FF: {
            GdiObject o;
            o.kind = function == 0x01F9 ? GdiObject::kBrush : GdiObject::kOther;
            o.brush.color = Qt::black;
            AddObject(o);
            break;
        }
        case 0x012D: {
            const uint16_t index = p.U16();
            if (index < objects.size()) canvas.Select(objects[index]);
            break;
        }
        case 0x01F0: {
            const uint16_t index = p.U16();
            if (index < objects.size() && objects[index].kind != GdiObject::kNone) {
                objects[index] = GdiObject();
                freeSlots.insert(index);
            }
            break;
        }
        case 0x061D: {
            const uint32_t rop = p.U32();
            const double h = p.S16(), w = p.S16();
            const QPointF at = point();
            canvas.PatternBlt(QRectF(at, QSizeF(w, h)), rop);
            break;
        }
        case 0x0F43: {  // stretched DIB
            const uint32_t rop = p.U32();
            p.U16();  // colour usage
            const double sh = p.S16(), sw = p.S16(), sy = p.S16(), sx = p.S16();
            const double dh = p.S16(), dw = p.S16();
            const QPointF at = point();
            const QImage image = DibToImage(p.Here(), p.Left(), nullptr, 0);
            canvas.Bitmap(image, SourceRect(image, sx, sy, sw, sh), QRectF(at, QSizeF(dw, dh)),
                          rop);
            break;
        }
        case 0x0B41:
        case 0x0940: {  // DIB block transfers, stretched or not
            const uint32_t rop = p.U32();
            double sh = 0, sw = 0;
            if (function == 0x0B41) sh = p.S16(), sw = p.S16();
            const double sy = p.S16(), sx = p.S16();
            const double dh = p.S16(), dw = p.S16();
            const QPointF at = point();
            if (function == 0x0940) sh = dh, sw = dw;
            if (p.Left() < 12) {  // no bitmap: the brush is the source
                canvas.PatternBlt(QRectF(at, QSizeF(dw, dh)), rop);
                break;
            }
            const QImage image = DibToImage(p.Here(), p.Left(), nullptr, 0);
            canvas.Bitmap(image, SourceRect(image, sx, sy, sw, sh), QRectF(at, QSizeF(dw, dh)),
                          rop);
            break;
        }
        default:
            break;  // records we do not draw are skipped
    }
}

// --- EMF ---

class EmfPlayer {
  public:
    EmfPlayer(CGdiCanvas& canvas, uint32_t handles) : canvas(canvas), handles(handles) {}

    bool Play(const std::vector<uint8_t>& bytes, const CRaster& progress, const char*& error);

  private:
    void Record(uint32_t type, ByteReader& p);
    std::vector<QPointF> Points(ByteReader& p, size_t count, bool small);
    std::vector<std::vector<QPointF>> PolyPoints(ByteReader& p, bool small);
    void Select(uint32_t index);
    void Text(ByteReader& p, bool wide);
    void Blit(uint32_t type, ByteReader& p);
    void Store(uint32_t index, const GdiObject& object);

    CGdiCanvas& canvas;
    uint32_t handles;
    std::map<uint32_t, GdiObject> objects;
};

bool EmfPlayer::Play(const std::vector<uint8_t>& bytes, const CRaster& progress,
                     const char*& error) {
    ByteReader in(bytes);
    for (uint32_t n = 0; in.Left() >= 8; ++n) {
        if (n % kRecordsBetweenEscapeChecks == 0 && progress.GetEscape()) {
            error = kErrCancelled;
            return false;
        }
        const size_t start = in.Position();
        const uint32_t type = in.U32(), size = in.U32();
        if (size < 8 || size > bytes.size() - start) {
            error = kErrCorrupted;
            return false;
        }
        if (type == 14) return true;  // end of the metafile
        if (canvas.Exhausted()) return true;
        ByteReader params(bytes.data() + start, size);
        params.Seek(8);
        Record(type, params);
        in.Seek(start + ((size + 3) & ~size_t{3}));
    }
    return true;
}

std::vector<QPointF> EmfPlayer::Points(ByteReader& p, size_t count, bool small) {
    std::vector<QPointF> points;
    count = std::min(count, p.Left() / (small ? 4 : 8));
    points.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const double x = small ? p.S16() : p.S32();
        points.emplace_back(x, small ? p.S16() : p.S32());
    }
    return points;
}

std::vector<std::vector<QPointF>> EmfPlayer::PolyPoints(ByteReader& p, bool small) {
    p.Skip(16);  // bounds
    const uint32_t count = p.U32();
    p.U32();  // total points
    std::vector<uint32_t> counts;
    for (uint32_t i = 0; i < count && p.Left() >= 4; ++i) counts.push_back(p.U32());
    std::vector<std::vector<QPointF>> shapes;
    for (uint32_t n : counts) shapes.push_back(Points(p, n, small));
    return shapes;
}

void EmfPlayer::Store(uint32_t index, const GdiObject& object) {
    if (index == 0 || index >= std::max<uint32_t>(handles, 16)) return;
    objects[index] = object;
}

void EmfPlayer::Select(uint32_t index) {
    if (index & 0x80000000) {  // stock objects
        GdiObject o;
        switch (index & 0x7FFFFFFF) {
            case 0:
            case 1:
            case 2:
            case 3:
            case 4: {
                static const int kGrey[5] = {255, 192, 128, 64, 0};
                o.kind = GdiObject::kBrush;
                o.brush.color = QColor(kGrey[index & 7], kGrey[index & 7], kGrey[index & 7]);
                break;
            }
            case 5:
                o.kind = GdiObject::kBrush;
                o.brush.style = gdi::kBrushNull;
                break;
            case 6:
            case 7:
            case 8:
                o.kind = GdiObject::kPen;
                o.pen.color = (index & 0xFF) == 6 ? Qt::white : Qt::black;
                if ((index & 0xFF) == 8) o.pen.style = gdi::kPenNull;
                break;
            case 10:
            case 11:
            case 12:
            case 13:
            case 14:
            case 16:
            case 17:
                o.kind = GdiObject::kFont;
                break;
            default:
                return;
        }
        canvas.Select(o);
        return;
    }
    const auto found = objects.find(index);
    if (found != objects.end()) canvas.Select(found->second);
}

void EmfPlayer::Text(ByteReader& p, bool wide) {
    const size_t recordStart = 0;
    p.Skip(16 + 4 + 8);  // bounds, graphics mode, scales
    const double x = p.S32(), y = p.S32();
    const uint32_t count = p.U32(), offString = p.U32(), options = p.U32();
    const double left = p.S32(), top = p.S32(), right = p.S32(), bottom = p.S32();
    const uint32_t offDx = p.U32();
    if (p.Failed()) return;
    QString text;
    const size_t charBytes = wide ? 2 : 1;
    if (offString >= recordStart && offString <= p.Size() &&
        static_cast<uint64_t>(count) * charBytes <= p.Size() - offString) {
        const uint8_t* s = p.Data() + offString;
        if (wide) {
            for (uint32_t i = 0; i < count; ++i) text.append(QChar(le::Load16(s + 2 * i)));
        } else {
            text = QString::fromLatin1(reinterpret_cast<const char*>(s), count);
        }
    }
    std::vector<double> advances;
    if (offDx && offDx <= p.Size() && static_cast<uint64_t>(count) * 4 <= p.Size() - offDx) {
        for (uint32_t i = 0; i < count; ++i)
            advances.push_back(static_cast<int32_t>(le::Load32(p.Data() + offDx + 4 * i)));
    }
    const QRectF box(QPointF(left, top), QPointF(right, bottom));
    canvas.Text(QPointF(x, y), text, advances, options, &box);
}

void EmfPlayer::Blit(uint32_t type, ByteReader& p) {
    p.Skip(16);  // bounds
    double dx, dy, dw = 0, dh = 0, sx, sy, sw = 0, sh = 0;
    uint32_t rop, offBmi, cbBmi, offBits, cbBits;
    if (type == 81) {  // stretched DIB bits
        dx = p.S32(), dy = p.S32(), sx = p.S32(), sy = p.S32(), sw = p.S32(), sh = p.S32();
        offBmi = p.U32(), cbBmi = p.U32(), offBits = p.U32(), cbBits = p.U32();
        p.U32();  // colour usage
        rop = p.U32();
        dw = p.S32(), dh = p.S32();
    } else {  // block transfers, stretched (77) or not (76)
        dx = p.S32(), dy = p.S32(), dw = p.S32(), dh = p.S32();
        rop = p.U32();
        sx = p.S32(), sy = p.S32();
        p.Skip(24 + 4 + 4);  // source transform, background colour, colour usage
        offBmi = p.U32(), cbBmi = p.U32(), offBits = p.U32(), cbBits = p.U32();
        if (type == 77) {
            sw = p.S32(), sh = p.S32();
        } else {
            sw = dw, sh = dh;
        }
    }
    if (p.Failed()) return;
    const QRectF dest(QPointF(dx, dy), QSizeF(dw, dh));
    if (cbBmi == 0) {
        canvas.PatternBlt(dest, rop);
        return;
    }
    const size_t size = p.Size();
    if (offBmi > size || cbBmi > size - offBmi || offBits > size || cbBits > size - offBits) return;
    const QImage image = DibToImage(p.Data() + offBmi, cbBmi, p.Data() + offBits, cbBits);
    canvas.Bitmap(image, SourceRect(image, sx, sy, sw, sh), dest, rop);
}

void EmfPlayer::Record(uint32_t type, ByteReader& p) {
    GdiState& s = canvas.State();
    auto point = [&]() {
        const double x = p.S32();
        return QPointF(x, p.S32());
    };
    auto box = [&]() {
        const double left = p.S32(), top = p.S32(), right = p.S32(), bottom = p.S32();
        return QRectF(QPointF(left, top), QPointF(right, bottom));
    };
    auto transform = [&]() {
        float v[6];
        for (float& f : v) {
            const uint32_t bitsValue = p.U32();
            std::memcpy(&f, &bitsValue, 4);
            if (!std::isfinite(f)) f = 0;
        }
        return QTransform(v[0], v[1], v[2], v[3], v[4], v[5]);
    };
    switch (type) {
        case 2:
        case 3:
        case 4:
        case 5:
        case 6:
        case 85:
        case 86:
        case 87:
        case 88:
        case 89: {
            const bool small = type >= 85;
            const uint32_t kind = small ? type - 83 : type;
            p.Skip(16);
            const uint32_t count = p.U32();
            const std::vector<QPointF> points = Points(p, count, small);
            if (kind == 2 || kind == 5)
                canvas.PolyBezier(points, kind == 5);
            else if (kind == 3)
                canvas.PolyPolygon({points});
            else if (kind == 4)
                canvas.Polyline(points);
            else
                canvas.PolylineTo(points);
            break;
        }
        case 7:
            canvas.PolyPolyline(PolyPoints(p, false));
            break;
        case 8:
            canvas.PolyPolygon(PolyPoints(p, false));
            break;
        case 90:
            canvas.PolyPolyline(PolyPoints(p, true));
            break;
        case 91:
            canvas.PolyPolygon(PolyPoints(p, true));
            break;
        case 9:
            s.windowExt = point();
            break;
        case 10:
            s.windowOrg = point();
            break;
        case 11:
            s.viewportExt = point();
            break;
        case 12:
            s.viewportOrg = point();
            break;
        case 17: {
            const uint32_t mode = p.U32();
            if (mode >= gdi::kMapText && mode <= gdi::kMapAnisotropic)
                s.mapMode = static_cast<int>(mode);
            break;
        }
        case 18:
            s.opaque = p.U32() == 2;
            break;
        case 19:
            s.fillRule = p.U32() == 2 ? Qt::WindingFill : Qt::OddEvenFill;
            break;
        case 22:
            s.textAlign = p.U32();
            break;
        case 24:
            s.textColor = ColorRef(p.U32());
            break;
        case 25:
            s.backColor = ColorRef(p.U32());
            break;
        case 27:
            canvas.MoveTo(point());
            break;
        case 54:
            canvas.LineTo(point());
            break;
        case 33:
            canvas.SaveState();
            break;
        case 34:
            canvas.RestoreState(p.S32());
            break;
        case 35:
            s.world = transform();
            break;
        case 36: {
            const QTransform t = transform();
            const uint32_t mode = p.U32();
            if (mode == 1)
                s.world = QTransform();
            else if (mode == 2)
                s.world = t * s.world;
            else if (mode == 3)
                s.world = s.world * t;
            else if (mode == 4)
                s.world = t;
            break;
        }
        case 37:
            Select(p.U32());
            break;
        case 38: {
            const uint32_t index = p.U32();
            GdiObject o;
            o.kind = GdiObject::kPen;
            o.pen.style = p.U32();
            o.pen.width = p.S32();
            p.S32();
            o.pen.color = ColorRef(p.U32());
            Store(index, o);
            break;
        }
        case 95: {  // extended pen
            const uint32_t index = p.U32();
            p.Skip(16);
            GdiObject o;
            o.kind = GdiObject::kPen;
            o.pen.style = p.U32() & 0x0F;
            o.pen.width = p.U32();
            p.U32();
            o.pen.color = ColorRef(p.U32());
            Store(index, o);
            break;
        }
        case 39: {
            const uint32_t index = p.U32();
            GdiObject o;
            o.kind = GdiObject::kBrush;
            o.brush.style = p.U32();
            o.brush.color = ColorRef(p.U32());
            o.brush.hatch = p.U32();
            if (o.brush.style > gdi::kBrushHatched) o.brush.style = gdi::kBrushSolid;
            Store(index, o);
            break;
        }
        case 94: {  // brush with a bitmap pattern
            const uint32_t index = p.U32();
            p.U32();
            const uint32_t offBmi = p.U32(), cbBmi = p.U32(), offBits = p.U32(), cbBits = p.U32();
            GdiObject o;
            o.kind = GdiObject::kBrush;
            o.brush.style = gdi::kBrushPattern;
            const size_t size = p.Size();
            if (offBmi <= size && cbBmi <= size - offBmi && offBits <= size &&
                cbBits <= size - offBits)
                o.brush.pattern = DibToImage(p.Data() + offBmi, cbBmi, p.Data() + offBits, cbBits);
            Store(index, o);
            break;
        }
        case 82: {
            const uint32_t index = p.U32();
            GdiObject o;
            o.kind = GdiObject::kFont;
            o.font.height = p.S32();
            p.S32();
            o.font.escapement = p.S32();
            p.S32();
            o.font.weight = p.S32();
            o.font.italic = p.U8();
            o.font.underline = p.U8();
            o.font.strikeOut = p.U8();
            p.Skip(5);
            for (int i = 0; i < 32 && p.Left() >= 2; ++i) {
                const uint16_t c = p.U16();
                if (!c) break;
                o.font.face.append(QChar(c));
            }
            Store(index, o);
            break;
        }
        case 40:
            objects.erase(p.U32());
            break;
        case 42:
            canvas.Ellipse(box());
            break;
        case 43:
            canvas.Rectangle(box());
            break;
        case 44: {
            const QRectF r = box();
            const double w = p.S32();
            canvas.RoundRect(r, QSizeF(w, p.S32()));
            break;
        }
        case 45:
        case 46:
        case 47: {
            const QRectF r = box();
            const QPointF start = point(), end = point();
            canvas.Arc(type == 45   ? CGdiCanvas::kArc
                       : type == 46 ? CGdiCanvas::kChord
                                    : CGdiCanvas::kPie,
                       r, start, end);
            break;
        }
        case 59:
            canvas.BeginPath();
            break;
        case 60:
            canvas.EndPath();
            break;
        case 61:
            canvas.CloseFigure();
            break;
        case 62:
            canvas.DrawPath(true, false);
            break;
        case 63:
            canvas.DrawPath(true, true);
            break;
        case 64:
            canvas.DrawPath(false, true);
            break;
        case 83:
            Text(p, false);
            break;
        case 84:
            Text(p, true);
            break;
        case 76:
        case 77:
        case 81:
            Blit(type, p);
            break;
        default:
            break;  // records we do not draw are skipped
    }
}

// --- headers and sizes ---

struct Layout {
    bool placeable = false;
    QSize size;
    QTransform deviceToImage;
    QRectF window;       // placeable: the frame in metafile units
    size_t records = 0;  // placeable: position of the first record
    uint16_t objects = 0;
    uint32_t handles = 0;
};

const char* ReadPlaceable(const std::vector<uint8_t>& bytes, QPointF dpi, Layout& layout) {
    ByteReader in(bytes);
    uint16_t words[11];
    for (uint16_t& w : words) w = in.U16();
    if (in.Failed()) return kErrCorrupted;
    uint16_t sum = 0;
    for (int i = 0; i < 10; ++i) sum ^= words[i];
    const int16_t left = static_cast<int16_t>(words[3]), top = static_cast<int16_t>(words[4]);
    const int16_t right = static_cast<int16_t>(words[5]), bottom = static_cast<int16_t>(words[6]);
    const uint16_t inch = words[7];
    if (sum != words[10] || inch < 1 || inch > 2540) return kErrCorrupted;
    const uint16_t type = in.U16(), headerWords = in.U16();
    in.U16();  // version
    in.U32();  // size
    layout.objects = in.U16();
    if (in.Failed() || (type != 1 && type != 2) || headerWords < 9) return kErrCorrupted;
    const double w = (right - left) * dpi.x() / inch, h = (bottom - top) * dpi.y() / inch;
    layout.size = QSize(static_cast<int>(std::fabs(w)), static_cast<int>(std::fabs(h)));
    layout.window = QRectF(left, top, right - left, bottom - top);
    layout.records = kPlaceableSize + headerWords * 2u;
    layout.placeable = true;
    return nullptr;
}

const char* ReadEmfHeader(const std::vector<uint8_t>& bytes, Layout& layout) {
    ByteReader in(bytes);
    const uint32_t type = in.U32();
    in.U32();
    const int32_t bl = in.S32(), bt = in.S32(), br = in.S32(), bb = in.S32();
    const int32_t fl = in.S32(), ft = in.S32(), fr = in.S32(), fb = in.S32();
    const uint32_t signature = in.U32();
    in.Skip(12);  // version, bytes, records
    layout.handles = in.U16();
    in.Skip(2 + 4 + 4 + 4);  // reserved, description, palette entries
    const int32_t devW = in.S32(), devH = in.S32(), mmW = in.S32(), mmH = in.S32();
    if (in.Failed() || type != 1 || signature != kEmfSignature) return kErrCorrupted;
    const int64_t w = int64_t{br} - bl + 1, h = int64_t{bb} - bt + 1;
    if (w <= 0 || h <= 0 || w > INT32_MAX || h > INT32_MAX) return kErrCorrupted;
    layout.size = QSize(static_cast<int>(w), static_cast<int>(h));
    // The picture frame (hundredths of a millimetre) in reference device pixels is what the
    // image shows; without a usable frame, the bounds.
    QRectF frame(bl, bt, w, h);
    if (devW > 0 && devH > 0 && mmW > 0 && mmH > 0 && fr > fl && fb > ft) {
        const double px = devW / (mmW * 100.0), py = devH / (mmH * 100.0);
        frame = QRectF(QPointF(fl * px, ft * py), QPointF(fr * px, fb * py));
    }
    layout.window = frame;
    return nullptr;
}

// Whether every record up to the end record lies within the file, walked as the players walk
// them: a file whose records run past its end is refused before its picture is allocated.
bool RecordsHold(const std::vector<uint8_t>& bytes, const Layout& layout) {
    ByteReader in(bytes);
    in.Seek(layout.placeable ? layout.records : 0);
    const size_t header = layout.placeable ? 6 : 8;
    while (in.Left() >= header) {
        const size_t start = in.Position();
        uint64_t size = 0;
        bool end = false;
        if (layout.placeable) {
            size = uint64_t{in.U32()} * 2;
            end = in.U16() == 0;
        } else {
            end = in.U32() == 14;
            size = in.U32();
        }
        if (end && layout.placeable) return true;
        if (size < header || size > bytes.size() - start) return false;
        if (end) return true;
        const uint64_t next = start + (layout.placeable ? size : (size + 3) & ~uint64_t{3});
        if (!in.Seek(static_cast<size_t>(std::min<uint64_t>(next, bytes.size())))) break;
    }
    return true;
}

const char* Render(const std::vector<uint8_t>& bytes, const Layout& layout, QPointF dpi,
                   CRaster& image) {
    QSize size = layout.size;
    if (size.width() <= 0 || size.height() <= 0) return kErrCorrupted;
    if (!RecordsHold(bytes, layout)) return kErrCorrupted;
    const int longest = std::max(size.width(), size.height());
    if (longest > kMaxSide) {
        const double scale = static_cast<double>(kMaxSide) / longest;
        size = QSize(std::max(1, static_cast<int>(size.width() * scale)),
                     std::max(1, static_cast<int>(size.height() * scale)));
    }
    // The picture is drawn straight into the image's rows (blue, green, red bytes, as the image
    // keeps them), top row first, and the rows are turned bottom-up afterwards: no second copy
    // of a picture that may be 4000 x 4000.
    const int width = size.width(), height = size.height();
    if (!image.Create(width, height, 24, kTypeWmf)) return kErrMemory;
    const size_t stride = image.GetEffWidth();
    QImage canvasImage(image.GetBits(0), width, height, static_cast<qsizetype>(stride),
                       QImage::Format_BGR888);
    if (canvasImage.isNull()) return kErrMemory;
    canvasImage.fill(Qt::white);
    const char* error = nullptr;
    {
        const QRectF window = layout.window;
        if (layout.placeable) {
            CGdiCanvas canvas(canvasImage, QTransform(), dpi);
            GdiState& s = canvas.State();
            s.mapMode = gdi::kMapAnisotropic;
            s.windowOrg = window.topLeft();
            s.windowExt = QPointF(window.width(), window.height());
            s.viewportExt = QPointF(size.width(), size.height());
            WmfPlayer player(canvas, layout.objects);
            player.Play(bytes, layout.records, image, error);
        } else {
            const double sx = window.width() ? size.width() / window.width() : 1;
            const double sy = window.height() ? size.height() / window.height() : 1;
            const QTransform toImage(sx, 0, 0, sy, -window.left() * sx, -window.top() * sy);
            CGdiCanvas canvas(canvasImage, toImage, dpi);
            EmfPlayer player(canvas, layout.handles);
            player.Play(bytes, image, error);
        }
    }
    if (error) return error;
    for (int y = 0; y < height / 2; ++y) {
        uint8_t* top = image.GetBits(static_cast<uint32_t>(y));
        std::swap_ranges(top, top + stride, image.GetBits(static_cast<uint32_t>(height - 1 - y)));
    }
    image.SetXDPI(static_cast<int32_t>(dpi.x()));
    image.SetYDPI(static_cast<int32_t>(dpi.y()));
    return nullptr;
}

const bool installed = (InstallMetafilePlayer(), true);

}  // namespace

bool DecodeMetafile(CRaster& image, CByteStream& stream) {
    const std::vector<uint8_t> bytes = ReadRest(stream);
    if (bytes.empty()) {
        image.SetLastError(kErrEmpty);
        return false;
    }
    const QPointF dpi = ScreenDpi();
    Layout layout;
    const bool placeable = bytes.size() >= 4 && le::Load32(bytes.data()) == kPlaceableKey;
    const char* error =
        placeable ? ReadPlaceable(bytes, dpi, layout) : ReadEmfHeader(bytes, layout);
    if (!error) error = Render(bytes, layout, dpi, image);
    if (error) {
        image.Destroy();
        image.SetLastError(error);
        return false;
    }
    return true;
}

void InstallMetafilePlayer() {
    SetMetafileDecoder(DecodeMetafile);
    (void)installed;
}
