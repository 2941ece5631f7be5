#include "editor/annotation/burn_in.h"

#include "editor/annotation/annotation_layer.h"
#include "image/raster.h"

#include <QImage>

bool BurnIn(CRaster& picture, const CAnnotationLayer& layer) {
    if (!picture.IsValid()) return false;
    if (layer.IsEmpty()) return true;
    if (picture.GetBpp() < 24 && !picture.IncreaseBpp(24)) return false;
    const QRect whole(0, 0, static_cast<int>(picture.GetWidth()),
                      static_cast<int>(picture.GetHeight()));
    // Only the rows and columns the marks reach are taken out and put back.
    const QRect area = layer.SourceArea(layer.Bounds()).intersected(whole);
    if (area.isEmpty()) return true;
    QImage patch(area.size(), QImage::Format_RGB32);
    if (patch.isNull()) return false;
    const int bottom = whole.height() - 1;
    for (int y = 0; y < area.height(); ++y) {
        const uint8_t* in =
            picture.GetBits(static_cast<uint32_t>(bottom - area.top() - y)) + 3 * area.left();
        auto* out = reinterpret_cast<QRgb*>(patch.scanLine(y));
        for (int x = 0; x < area.width(); ++x, in += 3) out[x] = qRgb(in[2], in[1], in[0]);
    }
    layer.Render(patch, area.topLeft());
    for (int y = 0; y < area.height(); ++y) {
        uint8_t* out =
            picture.GetBits(static_cast<uint32_t>(bottom - area.top() - y)) + 3 * area.left();
        const auto* in = reinterpret_cast<const QRgb*>(patch.constScanLine(y));
        const bool alpha = picture.AlphaIsValid();
        for (int x = 0; x < area.width(); ++x, out += 3) {
            // A mark drawn where the picture is transparent shows in the saved file too.
            if (alpha &&
                (out[0] != qBlue(in[x]) || out[1] != qGreen(in[x]) || out[2] != qRed(in[x]))) {
                picture.AlphaSet(area.left() + x, bottom - area.top() - y, 255);
            }
            out[0] = static_cast<uint8_t>(qBlue(in[x]));
            out[1] = static_cast<uint8_t>(qGreen(in[x]));
            out[2] = static_cast<uint8_t>(qRed(in[x]));
        }
    }
    return true;
}
