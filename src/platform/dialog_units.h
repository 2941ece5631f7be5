#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

namespace platform {

// Dialog units of the given font: x is a quarter of the average character width,
// y an eighth of the character height.
QSize DialogUnitsToPixels(const QSize& units, const QFont& font = QFont());
QRect DialogUnitsToPixels(const QRect& units, const QFont& font = QFont());

}  // namespace platform
