#include "editor/annotation/burn_in.h"

#include "editor/annotation/annotation_layer.h"
#include "image/raster.h"

#include <QImage>

#include <cstdint>

namespace {

// Draws marks first .. first + count - 1 into the picture's pixels of `area`.
bool BurnArea(CRaster& picture, const CAnnotationLayer& layer, const QRect& area, int first,
              int count) {
    QImage patch(area.size(), QImage::Format_RGB32);
    if (patch.isNull()) return false;
    const int bottom = static_cast<int>(picture.GetHeight()) - 1;
    for (int y = 0; y < area.height(); ++y) {
        const uint8_t* in =
            picture.GetBits(static_cast<uint32_t>(bottom - area.top() - y)) + 3 * area.left();
        auto* out = reinterpret_cast<QRgb*>(patch.scanLine(y));
        for (int x = 0; x < area.width(); ++x, in += 3) out[x] = qRgb(in[2], in[1], in[0]);
    }
    layer.RenderRange(patch, area.topLeft(), first, count);
    const bool alpha = picture.AlphaIsValid();
    for (int y = 0; y < area.height(); ++y) {
        uint8_t* out =
            picture.GetBits(static_cast<uint32_t>(bottom - area.top() - y)) + 3 * area.left();
        const auto* in = reinterpret_cast<const QRgb*>(patch.constScanLine(y));
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

int64_t AreaOf(const QRect& r) {
    return r.isEmpty() ? 0 : int64_t{r.width()} * r.height();
}

}  // namespace

bool BurnIn(CRaster& picture, const CAnnotationLayer& layer) {
    if (!picture.IsValid()) return false;
    if (layer.IsEmpty()) return true;
    if (picture.GetBpp() < 24 && !picture.IncreaseBpp(24)) return false;
    const QRect whole(0, 0, static_cast<int>(picture.GetWidth()),
                      static_cast<int>(picture.GetHeight()));
    // Marks go in order, in batches of neighbours: only the pixels a batch reaches are taken
    // out and put back, so marks spread over a large picture never convert all of it.
    int first = 0;
    QRect batch;
    int64_t covered = 0;
    for (int i = 0; i <= layer.Count(); ++i) {
        QRect reach;
        if (i < layer.Count()) reach = PixelBounds(layer.At(i).Bounds()).intersected(whole);
        const QRect joined = batch | reach;
        const bool flush = i == layer.Count() ||
                           (!batch.isEmpty() && AreaOf(joined) > 2 * (covered + AreaOf(reach)));
        if (flush && i > first) {
            if (!batch.isEmpty() && !BurnArea(picture, layer, batch, first, i - first))
                return false;
            first = i;
            batch = QRect();
            covered = 0;
        }
        batch |= reach;
        covered += AreaOf(reach);
    }
    return true;
}
