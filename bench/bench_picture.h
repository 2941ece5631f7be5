#pragma once

#include "bench_size.h"
#include "image/raster.h"

#include <QSize>

#include <cstdint>
#include <memory>

// The editor benchmarks' picture: QUILLET_BENCH_SIZE (6000 x 4000 by default), 24 bits, with
// detail everywhere so that nothing compresses or repeats.
inline QSize PictureSize() {
    return SizeFromEnvironment("QUILLET_BENCH_SIZE", QSize(6000, 4000));
}

inline std::unique_ptr<CRaster> Picture() {
    const QSize size = PictureSize();
    auto image = std::make_unique<CRaster>(size.width(), size.height(), 24);
    for (uint32_t y = 0; y < image->GetHeight(); ++y) {
        uint8_t* row = image->GetBits(y);
        for (uint32_t x = 0; x < image->GetWidth(); ++x) {
            row[3 * x] = static_cast<uint8_t>(x ^ y);
            row[3 * x + 1] = static_cast<uint8_t>(y);
            row[3 * x + 2] = static_cast<uint8_t>(x);
        }
    }
    return image;
}
