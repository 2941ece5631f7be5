#include "image/qt/raster_qt.h"

#include "image/memory_stream.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPaintDevice>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// --- reading source pixels without per-pixel bounds checks ---

class Sampler {
  public:
    explicit Sampler(const CRaster& image) : image(image), bpp(image.GetBpp()) {
        for (uint32_t i = 0; i < image.GetNumColors(); ++i) palette[i] = image.GetPaletteColor(i);
    }
    const uint8_t* Row(int y) const { return image.GetBits(static_cast<uint32_t>(y)); }
    uint8_t Index(const uint8_t* row, int x) const {
        switch (bpp) {
            case 8:
                return row[x];
            case 4:
                return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F;
            default:
                return (row[x >> 3] >> (7 - (x & 7))) & 1;
        }
    }
    RGBQUAD Color(const uint8_t* row, int x) const {
        if (bpp == 24) return RGBQUAD{row[3 * x], row[3 * x + 1], row[3 * x + 2], 0};
        return palette[Index(row, x)];
    }

  private:
    const CRaster& image;
    const uint32_t bpp;
    RGBQUAD palette[256] = {};
};

QRgb ToRgb(RGBQUAD c) {
    return qRgb(c.rgbRed, c.rgbGreen, c.rgbBlue);
}

bool SameColour(RGBQUAD a, RGBQUAD b) {
    return a.rgbRed == b.rgbRed && a.rgbGreen == b.rgbGreen && a.rgbBlue == b.rgbBlue;
}

// --- which source pixel lands on which device pixel ---

enum class Mode { Opaque, Key, Blend };

struct Job {
    QRect visible;          // device pixels computed
    std::vector<int> cols;  // source column for each visible column
    std::vector<int> rows;  // source row (bottom-up) for each visible row
};

// Draw's mapping: one to one at the image's own size, otherwise nearest neighbour with the rows
// taken from each device row's lower edge.
void MapForDraw(const CRaster& image, const QRect& dest, Job& job) {
    const int width = static_cast<int>(image.GetWidth());
    const int height = static_cast<int>(image.GetHeight());
    const bool oneToOne = dest.width() == width && dest.height() == height;
    const float fx = static_cast<float>(width) / static_cast<float>(dest.width());
    const float fy = static_cast<float>(height) / static_cast<float>(dest.height());
    for (int dx = job.visible.left(); dx <= job.visible.right(); ++dx) {
        const int sx =
            oneToOne ? dx - dest.x() : static_cast<int>(std::floor((dx - dest.x()) * fx));
        job.cols.push_back(std::clamp(sx, 0, width - 1));
    }
    for (int dy = job.visible.top(); dy <= job.visible.bottom(); ++dy) {
        const int sy = oneToOne ? height - 1 - (dy - dest.y())
                                : height - static_cast<int>(std::ceil((dy + 1 - dest.y()) * fy));
        job.rows.push_back(std::clamp(sy, 0, height - 1));
    }
}

// Stretching: device column (row) i of the rectangle shows source column i * width / cx.
void MapForStretch(const CRaster& image, const QRect& dest, Job& job) {
    const int64_t width = image.GetWidth();
    const int64_t height = image.GetHeight();
    for (int dx = job.visible.left(); dx <= job.visible.right(); ++dx)
        job.cols.push_back(static_cast<int>((dx - dest.x()) * width / dest.width()));
    for (int dy = job.visible.top(); dy <= job.visible.bottom(); ++dy)
        job.rows.push_back(static_cast<int>(height - 1 - (dy - dest.y()) * height / dest.height()));
}

// Puts the mapped pixels into `out`, whose pixel (0, 0) is the visible part's top left.
// exact: `out` holds what the target showed and is blended with the program's arithmetic;
// otherwise `out` is a transparent ARGB buffer that receives colour and opacity.
void Compose(const CRaster& image, const Job& job, Mode mode, QImage& out, QPoint origin,
             bool exact) {
    const Sampler sampler(image);
    const bool transparent = image.GetTransIndex() != -1;
    const RGBQUAD key = image.GetTransColor();
    const uint8_t* alphaPlane = image.AlphaGetBits();
    const uint32_t alphaMax = image.GetAlphaMax();
    const bool alphaPalette = image.IsAlphaPaletteEnabled() && image.GetNumColors() > 0;
    const size_t width = image.GetWidth();
    const int columns = static_cast<int>(job.cols.size());

    for (size_t j = 0; j < job.rows.size(); ++j) {
        const int sy = job.rows[j];
        const uint8_t* row = sampler.Row(sy);
        auto* target =
            reinterpret_cast<QRgb*>(out.scanLine(origin.y() + static_cast<int>(j))) + origin.x();
        for (int i = 0; i < columns; ++i) {
            const int sx = job.cols[i];
            const RGBQUAD c = sampler.Color(row, sx);
            uint32_t a = 255;
            if (mode != Mode::Opaque) {
                if (transparent && SameColour(c, key)) continue;
                if (mode == Mode::Blend) {
                    a = ((alphaPlane ? alphaPlane[sy * width + sx] : 255u) * (alphaMax + 1)) >> 8;
                    if (alphaPalette) a = (a * (c.rgbReserved + 1u)) >> 8;
                    if (a == 0) continue;
                }
            }
            if (!exact) {
                target[i] = qRgba(c.rgbRed, c.rgbGreen, c.rgbBlue, static_cast<int>(a));
            } else if (a == 255) {
                target[i] = ToRgb(c);
            } else {
                const QRgb back = target[i];
                const auto mix = [a](uint32_t source, uint32_t background) {
                    return static_cast<int>((source * a + background * (255 - a)) >> 8);
                };
                target[i] = qRgb(mix(c.rgbRed, qRed(back)), mix(c.rgbGreen, qGreen(back)),
                                 mix(c.rgbBlue, qBlue(back)));
            }
        }
    }
}

// --- targets ---

bool Blends(const CRaster& image) {
    return image.GetTransIndex() != -1 || image.AlphaIsValid() || image.IsAlphaPaletteEnabled();
}

// The destination rectangle, with the image's own size for negative extents; empty for 0.
QRect Destination(const CRaster& image, int x, int y, int cx, int cy) {
    if (cx < 0) cx = static_cast<int>(image.GetWidth());
    if (cy < 0) cy = static_cast<int>(image.GetHeight());
    return QRect(x, y, cx, cy);
}

bool DirectlyWritable(const QImage& target) {
    const QImage::Format f = target.format();
    return f == QImage::Format_RGB32 || f == QImage::Format_ARGB32 ||
           f == QImage::Format_ARGB32_Premultiplied;
}

// The part of the painter's device that can show anything.
QRect PainterBox(QPainter& painter) {
    QRect box(QPoint(-(1 << 29), -(1 << 29)), QPoint(1 << 29, 1 << 29));
    if (painter.hasClipping()) box &= painter.clipBoundingRect().toAlignedRect();
    const QPaintDevice* device = painter.device();
    if (device && painter.worldTransform().isIdentity())
        box &= QRect(0, 0, device->width(), device->height());
    return box;
}

using MapFunction = void (*)(const CRaster&, const QRect&, Job&);

int Render(const CRaster& image, QImage& target, const QRect& dest, const QRect* clip, Mode mode,
           MapFunction map);

int Render(const CRaster& image, QPainter& painter, const QRect& dest, const QRect* clip, Mode mode,
           MapFunction map) {
    if (!image.IsValid() || !painter.isActive() || dest.width() <= 0 || dest.height() <= 0)
        return 0;
    Job job;
    job.visible = dest & PainterBox(painter);
    if (clip) job.visible &= *clip;
    if (job.visible.isEmpty()) return 1;
    map(image, dest, job);
    QImage buffer(job.visible.size(),
                  mode == Mode::Opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32);
    if (buffer.isNull()) return 0;
    buffer.fill(Qt::transparent);
    Compose(image, job, mode, buffer, QPoint(0, 0), false);
    painter.drawImage(job.visible.topLeft(), buffer);
    return 1;
}

int Render(const CRaster& image, QImage& target, const QRect& dest, const QRect* clip, Mode mode,
           MapFunction map) {
    if (!image.IsValid() || target.isNull() || dest.width() <= 0 || dest.height() <= 0) return 0;
    if (!DirectlyWritable(target)) {
        QPainter painter(&target);
        return Render(image, painter, dest, clip, mode, map);
    }
    Job job;
    job.visible = dest & target.rect();
    if (clip) job.visible &= *clip;
    if (job.visible.isEmpty()) return 1;
    map(image, dest, job);
    Compose(image, job, mode, target, job.visible.topLeft(), true);
    return 1;
}

template <class Target>
int DrawOn(const CRaster& image, Target& target, int x, int y, int cx, int cy, const QRect* clip) {
    if (!image.IsEnabled()) return 0;
    return Render(image, target, Destination(image, x, y, cx, cy), clip,
                  Blends(image) ? Mode::Blend : Mode::Opaque, MapForDraw);
}

template <class Target>
int Draw2On(const CRaster& image, Target& target, int x, int y, int cx, int cy) {
    if (!image.IsEnabled()) return 0;
    return Render(image, target, Destination(image, x, y, cx, cy), nullptr,
                  image.GetTransIndex() != -1 ? Mode::Key : Mode::Opaque, MapForStretch);
}

}  // namespace

// --- bitmaps ---

CBitmapRows::CBitmapRows(const CRaster& image) : image_(image), bpp_(image.GetBpp()) {
    for (uint32_t i = 0; i < std::min<uint32_t>(image.GetNumColors(), 256); ++i)
        colors_[i] = ToRgb(image.GetPaletteColor(i));
}

void CBitmapRows::Convert(int y, int x0, int x1, QRgb* out) const {
    const uint8_t* in = image_.GetBits(image_.GetHeight() - 1 - static_cast<uint32_t>(y));
    switch (bpp_) {
        case 24: {
            const uint8_t* p = in + 3 * static_cast<size_t>(x0);
            for (int x = x0; x < x1; ++x, p += 3)
                out[x] = 0xFF000000u | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
            break;
        }
        case 8:
            for (int x = x0; x < x1; ++x) out[x] = colors_[in[x]];
            break;
        case 4:
            for (int x = x0; x < x1; ++x)
                out[x] = colors_[(in[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F];
            break;
        default:
            for (int x = x0; x < x1; ++x) out[x] = colors_[(in[x >> 3] >> (7 - (x & 7))) & 1];
            break;
    }
}

QImage MakeBitmap(const CRaster& image) {
    if (!image.IsValid()) return QImage();
    const int width = static_cast<int>(image.GetWidth());
    const int height = static_cast<int>(image.GetHeight());
    QImage bitmap(width, height, QImage::Format_RGB32);
    if (bitmap.isNull()) return bitmap;
    const CBitmapRows rows(image);
    for (int y = 0; y < height; ++y)
        rows.Convert(y, 0, width, reinterpret_cast<QRgb*>(bitmap.scanLine(y)));
    return bitmap;
}

bool CreateFromHBITMAP(CRaster& image, const QImage& bitmap) {
    image.Destroy();
    if (bitmap.isNull()) return false;
    const bool mono = bitmap.depth() == 1;
    const bool indexed = bitmap.format() == QImage::Format_Indexed8;
    const uint32_t bpp = mono ? 1 : indexed ? 8 : 24;
    const uint32_t width = static_cast<uint32_t>(bitmap.width());
    const uint32_t height = static_cast<uint32_t>(bitmap.height());
    if (!image.Create(width, height, bpp, image.GetType())) return false;

    if (mono || indexed) {
        const QImage source = mono ? bitmap.convertToFormat(QImage::Format_Mono) : bitmap;
        const QList<QRgb> table = source.colorTable();
        for (int i = 0; i < table.size(); ++i)
            image.SetPaletteIndex(static_cast<uint32_t>(i), qRed(table[i]), qGreen(table[i]),
                                  qBlue(table[i]));
        const size_t bytes = std::min<size_t>(image.GetEffWidth(), source.bytesPerLine());
        for (uint32_t y = 0; y < height; ++y)
            std::memcpy(image.GetBits(height - 1 - y), source.constScanLine(static_cast<int>(y)),
                        bytes);
        return true;
    }
    const QImage source = bitmap.convertToFormat(QImage::Format_RGB32);
    if (source.isNull()) {
        image.SetLastError("GetDIBits failed");
        return false;
    }
    for (uint32_t y = 0; y < height; ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(static_cast<int>(y)));
        uint8_t* out = image.GetBits(height - 1 - y);
        for (uint32_t x = 0; x < width; ++x) {
            out[3 * x] = static_cast<uint8_t>(qBlue(in[x]));
            out[3 * x + 1] = static_cast<uint8_t>(qGreen(in[x]));
            out[3 * x + 2] = static_cast<uint8_t>(qRed(in[x]));
        }
    }
    return true;
}

// --- clipboard ---

QByteArray CopyToClipboardBmp(const CRaster& image) {
    if (!image.IsValid()) return QByteArray();
    CRaster ghost;
    ghost.Ghost(&image);
    uint8_t* buffer = nullptr;
    int32_t size = 0;
    if (!ghost.Encode(buffer, size, kTypeBmp)) return QByteArray();
    QByteArray payload(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    return payload;
}

bool PlaceOnClipboard(const CRaster& image) {
    const QByteArray payload = CopyToClipboardBmp(image);
    if (payload.isEmpty()) return false;
    auto* data = new QMimeData;
    data->setData("image/bmp", payload);
    data->setImageData(MakeBitmap(image));
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setMimeData(data);
    return clipboard->ownsClipboard();
}

bool CreateFromClipboardBmp(CRaster& image, const QByteArray& payload) {
    CMemoryStream stream(reinterpret_cast<uint8_t*>(const_cast<char*>(payload.constData())),
                         static_cast<size_t>(payload.size()));
    CRaster decoded(kTypeBmp);
    if (!decoded.Decode(&stream, kTypeBmp)) {
        image.SetLastError(decoded.GetLastError());
        return false;
    }
    const std::vector<uint8_t> block = decoded.CopyToHandle();
    return image.CreateFromHANDLE(block.data(), block.size());
}

// --- drawing ---

int Draw(const CRaster& image, QImage& target, int x, int y, int cx, int cy, const QRect* clip) {
    return DrawOn(image, target, x, y, cx, cy, clip);
}

int Draw(const CRaster& image, QPainter& painter, int x, int y, int cx, int cy, const QRect* clip) {
    return DrawOn(image, painter, x, y, cx, cy, clip);
}

int Draw2(const CRaster& image, QImage& target, int x, int y, int cx, int cy) {
    return Draw2On(image, target, x, y, cx, cy);
}

int Draw2(const CRaster& image, QPainter& painter, int x, int y, int cx, int cy) {
    return Draw2On(image, painter, x, y, cx, cy);
}

int Stretch(const CRaster& image, QImage& target, int x, int y, int cx, int cy) {
    return Render(image, target, Destination(image, x, y, cx, cy), nullptr, Mode::Opaque,
                  MapForStretch);
}

int Stretch(const CRaster& image, QPainter& painter, int x, int y, int cx, int cy) {
    return Render(image, painter, Destination(image, x, y, cx, cy), nullptr, Mode::Opaque,
                  MapForStretch);
}
