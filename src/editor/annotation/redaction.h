#pragma once

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>

// Redaction of an area of a 32-bit picture (RGB32 or ARGB32): what the area held is gone for good.
namespace redaction {

// Blocks of `block` x `block` pixels counted from `blockOrigin`, each filled with the mean
// colour of its pixels inside `area`.
void Pixelate(QImage& image, const QRect& area, QPoint blockOrigin, int block);
// Three passes of a box blur of `radius` across and down, reading only pixels inside `area`
// (its edge pixels stand in for what lies beyond it).
void Blur(QImage& image, const QRect& area, int radius);
// One colour.
void Fill(QImage& image, const QRect& area, QColor color);

}  // namespace redaction
