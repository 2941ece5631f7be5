#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

namespace platform {

// Pixels per 4 horizontal and 8 vertical dialog units.
struct BaseUnits {
    int x = 0;
    int y = 0;
    bool operator==(const BaseUnits&) const = default;
};

// The skinned windows (panel, preview, lists, picking balloon, icon window) are laid out on
// pixel-sized skins, so their units are fixed to the classic 8-point dialog font, whatever fonts
// are installed or chosen by the user.
inline constexpr BaseUnits kSkinBaseUnits{6, 13};

// A plain dialog's units follow its font: the average letter width and the character height.
BaseUnits FontBaseUnits(const QFont& font);

// Units to pixels, rounded to the nearest pixel.
QSize DialogUnitsToPixels(const QSize& units, BaseUnits base);
QRect DialogUnitsToPixels(const QRect& units, BaseUnits base);

// Plain dialogs: the units of the given font.
QSize DialogUnitsToPixels(const QSize& units, const QFont& font = QFont());
QRect DialogUnitsToPixels(const QRect& units, const QFont& font = QFont());

// Skinned windows: the fixed units.
inline QSize SkinUnitsToPixels(const QSize& units) {
    return DialogUnitsToPixels(units, kSkinBaseUnits);
}
inline QRect SkinUnitsToPixels(const QRect& units) {
    return DialogUnitsToPixels(units, kSkinBaseUnits);
}

}  // namespace platform
