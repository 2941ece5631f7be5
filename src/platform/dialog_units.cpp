#include "platform/dialog_units.h"

#include <QFontMetrics>

namespace platform {

namespace {
// Base units: the average width of the alphabet's letters and the font height.
QSize BaseUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const QString letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    const int width = (metrics.horizontalAdvance(letters) / 26 + 1) / 2;
    return {width, metrics.height()};
}
}  // namespace

QSize DialogUnitsToPixels(const QSize& units, const QFont& font) {
    const QSize base = BaseUnits(font);
    return {units.width() * base.width() / 4, units.height() * base.height() / 8};
}

QRect DialogUnitsToPixels(const QRect& units, const QFont& font) {
    const QSize base = BaseUnits(font);
    return {units.x() * base.width() / 4, units.y() * base.height() / 8,
            units.width() * base.width() / 4, units.height() * base.height() / 8};
}

}  // namespace platform
