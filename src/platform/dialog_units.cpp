#include "platform/dialog_units.h"

#include <QFontMetrics>

namespace platform {

namespace {
// value * base / divisor, rounded half away from zero.
int Scale(int value, int base, int divisor) {
    const long long product = static_cast<long long>(value) * base;
    const long long half = divisor / 2;
    return static_cast<int>(product >= 0 ? (product + half) / divisor
                                         : -((-product + half) / divisor));
}
}  // namespace

BaseUnits FontBaseUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const QString letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    const int width = (metrics.horizontalAdvance(letters) / 26 + 1) / 2;
    return {width, metrics.height()};
}

QSize DialogUnitsToPixels(const QSize& units, BaseUnits base) {
    return {Scale(units.width(), base.x, 4), Scale(units.height(), base.y, 8)};
}

// Each edge is mapped on its own, so that neighbouring controls stay apart as in units.
QRect DialogUnitsToPixels(const QRect& units, BaseUnits base) {
    const int left = Scale(units.x(), base.x, 4);
    const int top = Scale(units.y(), base.y, 8);
    const int right = Scale(units.x() + units.width(), base.x, 4);
    const int bottom = Scale(units.y() + units.height(), base.y, 8);
    return {left, top, right - left, bottom - top};
}

QSize DialogUnitsToPixels(const QSize& units, const QFont& font) {
    return DialogUnitsToPixels(units, FontBaseUnits(font));
}

QRect DialogUnitsToPixels(const QRect& units, const QFont& font) {
    return DialogUnitsToPixels(units, FontBaseUnits(font));
}

}  // namespace platform
