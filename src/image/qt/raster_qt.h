#pragma once

// The image object on Qt: conversions with QImage (the program's bitmaps), the clipboard's
// "image/bmp" payload, and drawing onto a QImage or through a QPainter.
//
// Destination coordinates are the device's (top row first); the image's own rows stay bottom-up.
// The drawing calls return 1 on success and 0 when the image is empty, the target is missing or
// a size is 0 (Draw and Draw2 also when the image is not enabled); a negative width or height
// means the image's own.

#include <QByteArray>
#include <QImage>
#include <QPainter>
#include <QRect>

#include "image/raster.h"

// A screen-compatible copy (Format_RGB32) of the picture; a null QImage for an empty image.
QImage MakeBitmap(const CRaster& image);

// Rows of a picture as screen pixels (0xFFRRGGBB), without blending; the palette is read once.
// It reads the image it was made for, which must outlive it unchanged in size and depth.
class CBitmapRows {
  public:
    explicit CBitmapRows(const CRaster& image);
    // Columns [x0, x1) of row y (0 at the top) into out[x0] .. out[x1 - 1].
    void Convert(int y, int x0, int x1, QRgb* out) const;

  private:
    const CRaster& image_;
    uint32_t bpp_;
    QRgb colors_[256] = {};
};

// Rebuilds the image from a bitmap of the same size: monochrome and 8-bit indexed bitmaps keep
// their depth and colour table, deeper ones become 24 bits (a 32-bit screen image included).
// A null bitmap leaves the image empty and gives false.
bool CreateFromHBITMAP(CRaster& image, const QImage& bitmap);

// The clipboard's "image/bmp" payload: a 14-byte file header and the packed block.
QByteArray CopyToClipboardBmp(const CRaster& image);
// Offers the picture on the clipboard as "image/bmp" and as an image; false when it could not
// be encoded or the clipboard did not take it.
bool PlaceOnClipboard(const CRaster& image);
// Reads such a payload (any BMP the clipboard offers); the image keeps its record as with
// CreateFromHANDLE. False, with the image unchanged, for a damaged payload.
bool CreateFromClipboardBmp(CRaster& image, const QByteArray& payload);

// The general drawing call. Images with a transparent colour, an alpha plane or an alpha palette
// are blended over what the target holds: on a QImage (RGB32 or ARGB32) with the exact integer
// arithmetic of the program, through a QPainter with the painter's own compositing. Scaling is
// nearest neighbour; only the part inside the target (and inside `clip`) is computed.
int Draw(const CRaster& image, QImage& target, int x, int y, int cx = -1, int cy = -1,
         const QRect* clip = nullptr);
int Draw(const CRaster& image, QPainter& painter, int x, int y, int cx = -1, int cy = -1,
         const QRect* clip = nullptr);

// Transparent-colour drawing: pixels of the transparent colour leave the target as it was; no
// alpha. Without a transparent colour the same as Stretch.
int Draw2(const CRaster& image, QImage& target, int x, int y, int cx = -1, int cy = -1);
int Draw2(const CRaster& image, QPainter& painter, int x, int y, int cx = -1, int cy = -1);

// The whole image stretched into the rectangle (nearest neighbour), ignoring transparency.
int Stretch(const CRaster& image, QImage& target, int x, int y, int cx, int cy);
int Stretch(const CRaster& image, QPainter& painter, int x, int y, int cx, int cy);
