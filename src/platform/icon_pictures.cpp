#include "platform/icon_pictures.h"

#include "image/format_bytes.h"

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <QImageReader>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <tuple>

namespace platform {
namespace {

constexpr int kLargestSide = 1024;  // icons stop at 256; anything far larger is not an icon
constexpr int kMostTries = 4;       // pictures tried per size before the icon is given up
constexpr qint64 kLargestFile = qint64{1} << 30;
constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr size_t kInfoHeaderSize = 40;
// Pixels decoded for one file, all pictures together: a file whose groups all name the same
// large picture would otherwise decode it once per group.
constexpr uint64_t kMostPixelsDecoded = uint64_t{1} << 25;

bool IsPng(const uint8_t* data, size_t size) {
    return size >= sizeof kPngSignature &&
           std::memcmp(data, kPngSignature, sizeof kPngSignature) == 0;
}

size_t RowBytes(size_t width, size_t bpp) {
    return (width * bpp + 31) / 32 * 4;
}

QImage DecodePng(const uint8_t* data, size_t size) {
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    const QSize side = reader.size();
    if (!side.isValid() || side.width() > kLargestSide || side.height() > kLargestSide) return {};
    QImage image;
    if (!reader.read(&image)) return {};
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// Colour rows bottom-up, then the AND mask (1 = transparent). Icons cut short before their mask
// are opaque.
QImage DecodeBitmap(const uint8_t* data, size_t size) {
    ByteReader in(data, size);
    const uint32_t headerSize = in.U32();
    const int32_t width = in.S32();
    const int32_t doubled = in.S32();
    in.U16();  // planes
    const uint32_t bpp = in.U16();
    const uint32_t compression = in.U32();
    in.Skip(12);
    const uint32_t used = in.U32();
    if (in.Failed() || headerSize < kInfoHeaderSize || headerSize > size || compression != 0) {
        return {};
    }
    if (width <= 0 || width > kLargestSide || doubled < 2 || doubled / 2 > kLargestSide) return {};
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) return {};
    const size_t w = static_cast<size_t>(width), h = static_cast<size_t>(doubled / 2);

    size_t colours = 0;
    if (bpp <= 8) colours = used > 0 && used < (1u << bpp) ? used : (1u << bpp);
    in.Seek(headerSize);
    const uint8_t* table = in.Here();
    if (!in.Skip(colours * 4)) return {};
    const size_t stride = RowBytes(w, bpp), maskStride = RowBytes(w, 1);
    if (stride * h > in.Left()) return {};
    const uint8_t* rows = in.Here();
    const uint8_t* mask = in.Left() - stride * h >= maskStride * h ? rows + stride * h : nullptr;

    QImage image(static_cast<int>(w), static_cast<int>(h), QImage::Format_ARGB32);
    if (image.isNull()) return {};
    bool anyAlpha = false;
    for (size_t y = 0; y < h; ++y) {
        const uint8_t* row = rows + (h - 1 - y) * stride;
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(static_cast<int>(y)));
        for (size_t x = 0; x < w; ++x) {
            if (bpp == 32) {
                const uint8_t* p = row + x * 4;
                out[x] = qRgba(p[2], p[1], p[0], p[3]);
                anyAlpha = anyAlpha || p[3] != 0;
                continue;
            }
            if (bpp == 24) {
                const uint8_t* p = row + x * 3;
                out[x] = qRgb(p[2], p[1], p[0]);
                continue;
            }
            const size_t bit = x * bpp;
            const size_t index = (row[bit / 8] >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
            const uint8_t* entry = index < colours ? table + index * 4 : nullptr;
            out[x] = entry ? qRgb(entry[2], entry[1], entry[0]) : qRgb(0, 0, 0);
        }
    }
    // Transparency comes from the mask, except for 32-bit pictures with an alpha of their own.
    if (!(bpp == 32 && anyAlpha)) {
        for (size_t y = 0; y < h; ++y) {
            const uint8_t* maskRow = mask ? mask + (h - 1 - y) * maskStride : nullptr;
            auto* out = reinterpret_cast<QRgb*>(image.scanLine(static_cast<int>(y)));
            for (size_t x = 0; x < w; ++x) {
                const bool clear = maskRow && ((maskRow[x / 8] >> (7 - x % 8)) & 1);
                out[x] = clear ? qRgba(qRed(out[x]), qGreen(out[x]), qBlue(out[x]), 0)
                               : (out[x] | 0xFF000000u);
            }
        }
    }
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// The depth the group gives an entry, else the picture's own.
int Depth(const uint8_t* file, const PeIconImage& entry) {
    if (entry.bitCount) return entry.bitCount;
    const uint8_t* data = file + entry.offset;
    if (IsPng(data, entry.size)) return 32;
    if (entry.size >= 16) return data[14] | (data[15] << 8);
    return 0;
}

QImage ToSide(const QImage& picture, int side) {
    if (picture.width() == side && picture.height() == side) return picture;
    return picture.scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

}  // namespace

QImage DecodeIconImage(const uint8_t* data, size_t size) {
    if (!data) return {};
    return IsPng(data, size) ? DecodePng(data, size) : DecodeBitmap(data, size);
}

namespace {

// The group's picture as IconPicture makes it, counting the pixels decoded against `pixelsLeft`.
QImage BudgetedPicture(const uint8_t* file, const PeIconGroup& group, int side,
                       uint64_t* pixelsLeft) {
    // Exact size first, then larger ones from the nearest up, then smaller ones from the nearest
    // down; within a size the most colours first.
    auto rank = [&](const PeIconImage& entry) {
        const int kind = entry.width == side ? 0 : entry.width > side ? 1 : 2;
        return std::make_tuple(kind, std::abs(entry.width - side), -Depth(file, entry));
    };
    std::vector<const PeIconImage*> order;
    for (const PeIconImage& entry : group.images) order.push_back(&entry);
    std::stable_sort(order.begin(), order.end(), [&](const PeIconImage* a, const PeIconImage* b) {
        return rank(*a) < rank(*b);
    });
    int tries = 0;
    for (const PeIconImage* entry : order) {
        if (++tries > kMostTries) break;
        if (pixelsLeft && *pixelsLeft == 0) break;
        const QImage picture = DecodeIconImage(file + entry->offset, entry->size);
        if (pixelsLeft) {
            const uint64_t pixels = uint64_t(picture.width()) * uint64_t(picture.height()) + 1;
            *pixelsLeft -= std::min(pixels, *pixelsLeft);
        }
        if (!picture.isNull()) return ToSide(picture, side);
    }
    return {};
}

}  // namespace

QImage IconPicture(const uint8_t* file, const PeIconGroup& group, int side) {
    return BudgetedPicture(file, group, side, nullptr);
}

std::vector<IconPictures> ExtractIcons(const uint8_t* file, size_t size, bool* cutShort) {
    bool cut = false;
    std::vector<IconPictures> icons;
    uint64_t pixelsLeft = kMostPixelsDecoded;
    for (const PeIconGroup& group : ReadPeIconGroups(file, size, &cut)) {
        if (pixelsLeft == 0) {
            cut = true;
            break;
        }
        IconPictures pictures{BudgetedPicture(file, group, 32, &pixelsLeft),
                              BudgetedPicture(file, group, 16, &pixelsLeft)};
        if (!pictures.large.isNull() && !pictures.small.isNull()) icons.push_back(pictures);
    }
    if (cutShort) *cutShort = cut;
    return icons;
}

std::vector<IconPictures> ExtractIcons(const QString& path, bool* cutShort) {
    if (cutShort) *cutShort = false;
    // Read whole rather than mapped: a file cut short while it is read must not end the program.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() <= 0 || file.size() > kLargestFile)
        return {};
    const QByteArray bytes = file.readAll();
    return ExtractIcons(reinterpret_cast<const uint8_t*>(bytes.constData()),
                        static_cast<size_t>(bytes.size()), cutShort);
}

}  // namespace platform
