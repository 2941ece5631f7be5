#include "capture/bitmap_helpers.h"

#include "image/qt/raster_qt.h"
#include "image/raster.h"

#include <QRect>

#include <cstdio>
#include <cstring>

namespace {

constexpr int kHeaderSize = 40;

void PutLe(std::vector<uint8_t>& bytes, size_t offset, uint32_t value, int width) {
    for (int i = 0; i < width; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t GetLe(const uint8_t* bytes, int width) {
    uint32_t value = 0;
    for (int i = 0; i < width; ++i) value |= uint32_t(bytes[i]) << (8 * i);
    return value;
}

// The depth the bitmap keeps in a packed block: 1 and 8 bits with their colour tables, else 32.
QImage AtBlockDepth(const QImage& bitmap, int& bitCount) {
    switch (bitmap.format()) {
        case QImage::Format_Mono:
            bitCount = 1;
            return bitmap;
        case QImage::Format_MonoLSB:
            bitCount = 1;
            return bitmap.convertToFormat(QImage::Format_Mono);
        case QImage::Format_Indexed8:
            bitCount = 8;
            return bitmap;
        default:
            bitCount = 32;
            return bitmap.format() == QImage::Format_RGB32
                       ? bitmap
                       : bitmap.convertToFormat(QImage::Format_RGB32);
    }
}

}  // namespace

std::vector<uint8_t> BitmapToDib(const QImage& source, int compression) {
    if (source.isNull() || compression != kCompressionNone) return {};
    int bitCount = 0;
    const QImage bitmap = AtBlockDepth(source, bitCount);
    const int width = bitmap.width(), height = bitmap.height();
    const int colours = bitCount <= 8 ? 1 << bitCount : 0;
    const size_t rowBytes = size_t(bitCount * width + 31) / 32 * 4;
    const size_t tableBytes = size_t(colours) * 4;
    const size_t imageBytes = rowBytes * height;

    std::vector<uint8_t> dib(kHeaderSize + tableBytes + imageBytes, 0);
    PutLe(dib, 0, kHeaderSize, 4);
    PutLe(dib, 4, width, 4);
    PutLe(dib, 8, height, 4);
    PutLe(dib, 12, 1, 2);
    PutLe(dib, 14, bitCount, 2);
    PutLe(dib, 16, compression, 4);
    PutLe(dib, 20, static_cast<uint32_t>(imageBytes), 4);

    const QList<QRgb> table = bitmap.colorTable();
    for (int i = 0; i < colours && i < table.size(); ++i) {
        PutLe(dib, kHeaderSize + 4 * i, table[i] & 0xFFFFFF, 4);  // blue, green, red, 0
    }
    uint8_t* bits = dib.data() + kHeaderSize + tableBytes;
    const size_t copyBytes =
        bitCount == 32 ? size_t(width) * 4 : (size_t(bitCount) * width + 7) / 8;
    for (int y = 0; y < height; ++y) {
        // Rows are stored bottom-up.
        std::memcpy(bits + rowBytes * (height - 1 - y), bitmap.constScanLine(y), copyBytes);
    }
    if (bitCount == 32) {
        for (size_t i = 3; i < imageBytes; i += 4) bits[i] = 0;
    }
    return dib;
}

QImage DibToBitmap(const uint8_t* dib, size_t size) {
    CRaster image;
    if (!dib || !image.CreateFromHANDLE(dib, size)) return {};
    return MakeBitmap(image);
}

bool WriteDibFile(const std::string& path, const std::vector<uint8_t>& dib) {
    if (dib.size() < kHeaderSize) return false;
    const uint32_t headerSize = GetLe(dib.data(), 4);
    const uint32_t bitCount = GetLe(dib.data() + 14, 2);
    const uint32_t colours = bitCount <= 8 ? 1u << bitCount : 0;
    std::vector<uint8_t> fileHeader(kFileHeaderSize, 0);
    PutLe(fileHeader, 0, 0x4D42, 2);
    PutLe(fileHeader, 2, static_cast<uint32_t>(dib.size() + kFileHeaderSize), 4);
    PutLe(fileHeader, 10, kFileHeaderSize + headerSize + 4 * colours, 4);

    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool written = std::fwrite(fileHeader.data(), 1, fileHeader.size(), file) == fileHeader.size();
    written = written && std::fwrite(dib.data(), 1, dib.size(), file) == dib.size();
    written = std::fclose(file) == 0 && written;
    if (!written) std::remove(path.c_str());
    return written;
}

QImage ResizeBitmap(const QImage& bitmap, int width, int height) {
    // Widths and heights are 16-bit quantities.
    const int w = width & 0xFFFF, h = height & 0xFFFF;
    if (bitmap.isNull() || w == 0 || h == 0) return {};
    const QImage source = bitmap.convertToFormat(QImage::Format_RGB32);
    const int W = source.width(), H = source.height();

    // Where each source column goes: target column, its weight, and the next column's weight.
    struct Split {
        int target;
        float first;
        float second;
    };
    auto splits = [](int sourceCount, int targetCount) {
        std::vector<Split> result(sourceCount);
        int accumulator = 0, target = 0;
        for (int s = 0; s < sourceCount; ++s) {
            accumulator += targetCount;
            if (accumulator >= sourceCount) {
                const float f = float(accumulator - sourceCount) / float(targetCount);
                result[s] = {target, 1.0f - f, f};
                accumulator -= sourceCount;
                ++target;
            } else {
                result[s] = {target, 1.0f, 0.0f};
            }
        }
        return result;
    };
    const std::vector<Split> columns = splits(W, w);
    const std::vector<Split> rows = splits(H, h);

    std::vector<float> sums(size_t(w) * h * 3, 0.0f);
    auto add = [&](int tx, int ty, float weight, QRgb pixel) {
        if (tx >= w || ty >= h || weight == 0.0f) return;
        float* cell = &sums[(size_t(ty) * w + tx) * 3];
        cell[0] += weight * qRed(pixel);
        cell[1] += weight * qGreen(pixel);
        cell[2] += weight * qBlue(pixel);
    };
    for (int sy = 0; sy < H; ++sy) {
        const auto* line = reinterpret_cast<const QRgb*>(source.constScanLine(sy));
        const Split& row = rows[sy];
        for (int sx = 0; sx < W; ++sx) {
            const Split& column = columns[sx];
            add(column.target, row.target, column.first * row.first, line[sx]);
            add(column.target + 1, row.target, column.second * row.first, line[sx]);
            add(column.target, row.target + 1, column.first * row.second, line[sx]);
            add(column.target + 1, row.target + 1, column.second * row.second, line[sx]);
        }
    }

    QImage result(w, h, QImage::Format_RGB32);
    const float scale = float(w) * float(h) / (float(W) * float(H));
    auto channel = [scale](float sum) {
        const int value = static_cast<int>(sum * scale + 0.5f);
        return value > 255 ? 255 : value;
    };
    for (int ty = 0; ty < h; ++ty) {
        auto* line = reinterpret_cast<QRgb*>(result.scanLine(ty));
        for (int tx = 0; tx < w; ++tx) {
            const float* cell = &sums[(size_t(ty) * w + tx) * 3];
            line[tx] = qRgb(channel(cell[0]), channel(cell[1]), channel(cell[2]));
        }
    }
    return result;
}

// Collecting the transparent runs and inverting them, or collecting the opaque runs, gives the
// same shape; it is built from the opaque runs.
QRegion BitmapToRegion(const QImage& bitmap, QRgb colour, bool /*collectOpaque*/) {
    if (bitmap.isNull()) return {};
    const QImage pixels = bitmap.convertToFormat(QImage::Format_RGB32);

    // The tolerance box of each channel.
    auto bounds = [colour](int value, int& low, int& high) {
        if ((colour & 0xFFFFFF) == 0) {
            low = 0, high = 16;
        } else if ((colour & 0xFFFFFF) == 0xFFFFFF) {
            low = 239, high = 255;
        } else {
            low = value <= 16 ? 0 : value - 17;
            high = value >= 239 ? 255 : value + 17;
        }
    };
    int lowR, highR, lowG, highG, lowB, highB;
    bounds(qRed(colour), lowR, highR);
    bounds(qGreen(colour), lowG, highG);
    bounds(qBlue(colour), lowB, highB);
    // The red bounds meet the pixel's first byte in memory and the blue bounds its third.
    auto inBox = [&](QRgb p) {
        return qBlue(p) >= lowR && qBlue(p) <= highR && qGreen(p) >= lowG && qGreen(p) <= highG &&
               qRed(p) >= lowB && qRed(p) <= highB;
    };

    // Either mode ends with the pixels outside the box: gather their runs row by row, top row
    // first. Rows with the same runs as the row above join its band, which keeps the region in
    // its canonical y-x banded form, so it is made in one step.
    std::vector<QRect> runs;
    std::vector<std::pair<int, int>> band, row;
    int bandTop = 0;
    auto flushBand = [&](int bottom) {
        for (const auto& [x0, x1] : band) runs.emplace_back(x0, bandTop, x1 - x0, bottom - bandTop);
    };
    const int width = pixels.width();
    for (int y = 0; y < pixels.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
        row.clear();
        for (int x = 0; x < width;) {
            while (x < width && inBox(line[x])) ++x;
            const int start = x;
            while (x < width && !inBox(line[x])) ++x;
            if (x > start) row.emplace_back(start, x);
        }
        if (row != band) {
            flushBand(y);
            band.swap(row);
            bandTop = y;
        }
    }
    flushBand(pixels.height());
    QRegion region;
    region.setRects(runs.data(), static_cast<int>(runs.size()));
    return region;
}
