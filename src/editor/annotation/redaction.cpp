#include "editor/annotation/redaction.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace redaction {

namespace {

QRect Inside(const QImage& image, const QRect& area) {
    return area.intersected(image.rect());
}

// One box pass over `count` pixels `stride` apart, with the edge pixels repeated beyond the ends.
void BoxPass(QRgb* first, int count, int stride, int radius, std::vector<QRgb>& line) {
    line.resize(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) line[static_cast<size_t>(i)] = first[i * stride];
    auto at = [&](int i) { return line[static_cast<size_t>(std::clamp(i, 0, count - 1))]; };
    std::array<uint32_t, 4> sum{};
    auto add = [&](QRgb p, int sign) {
        for (int c = 0; c < 4; ++c)
            sum[c] += static_cast<uint32_t>(sign * int((p >> (8 * c)) & 0xff));
    };
    for (int i = -radius; i <= radius; ++i) add(at(i), 1);
    const uint32_t span = static_cast<uint32_t>(2 * radius + 1);
    for (int i = 0; i < count; ++i) {
        QRgb out = 0;
        for (int c = 0; c < 4; ++c) out |= ((sum[c] + span / 2) / span) << (8 * c);
        first[i * stride] = out;
        add(at(i - radius), -1);
        add(at(i + radius + 1), 1);
    }
}

}  // namespace

void Pixelate(QImage& image, const QRect& area, QPoint blockOrigin, int block) {
    const QRect inside = Inside(image, area);
    if (inside.isEmpty() || block < 1) return;
    // The first block row and column that reach into the area.
    auto firstBlock = [block](int from, int origin) {
        const int offset = from - origin;
        return origin + (offset >= 0 ? offset / block : -((-offset + block - 1) / block)) * block;
    };
    for (int by = firstBlock(inside.top(), blockOrigin.y()); by <= inside.bottom(); by += block) {
        for (int bx = firstBlock(inside.left(), blockOrigin.x()); bx <= inside.right();
             bx += block) {
            const QRect cell = QRect(bx, by, block, block).intersected(inside);
            if (cell.isEmpty()) continue;
            uint64_t sum[4] = {0, 0, 0, 0};
            for (int y = cell.top(); y <= cell.bottom(); ++y) {
                const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
                for (int x = cell.left(); x <= cell.right(); ++x) {
                    for (int c = 0; c < 4; ++c) sum[c] += (row[x] >> (8 * c)) & 0xff;
                }
            }
            const uint64_t n =
                static_cast<uint64_t>(cell.width()) * static_cast<uint64_t>(cell.height());
            QRgb mean = 0;
            for (int c = 0; c < 4; ++c) mean |= static_cast<QRgb>((sum[c] + n / 2) / n) << (8 * c);
            for (int y = cell.top(); y <= cell.bottom(); ++y) {
                auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
                std::fill(row + cell.left(), row + cell.right() + 1, mean);
            }
        }
    }
}

void Blur(QImage& image, const QRect& area, int radius) {
    const QRect inside = Inside(image, area);
    if (inside.isEmpty() || radius < 1) return;
    const int stride = static_cast<int>(image.bytesPerLine() / 4);
    std::vector<QRgb> line;
    for (int pass = 0; pass < 3; ++pass) {
        for (int y = inside.top(); y <= inside.bottom(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
            BoxPass(row + inside.left(), inside.width(), 1, radius, line);
        }
        auto* top = reinterpret_cast<QRgb*>(image.scanLine(inside.top()));
        for (int x = inside.left(); x <= inside.right(); ++x) {
            BoxPass(top + x, inside.height(), stride, radius, line);
        }
    }
}

void Fill(QImage& image, const QRect& area, QColor color) {
    const QRect inside = Inside(image, area);
    if (inside.isEmpty()) return;
    const QRgb value = image.hasAlphaChannel() ? color.rgba() : (color.rgb() | 0xff000000u);
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        std::fill(row + inside.left(), row + inside.right() + 1, value);
    }
}

}  // namespace redaction
