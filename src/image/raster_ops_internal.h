#pragma once

// Pieces shared by the image operations (raster_ops_*.cpp): result images, work split across
// cores, progress and escape between rows, and 1- and 4-bit rows as one index per byte.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "image/raster.h"

namespace rasterops {

// Runs fn(begin, end) over the rows [0, count), split into one contiguous band per core when
// the job is big enough (count × bytesPerRow), else on the calling thread. Every row is
// computed by the same code either way, so the result does not depend on the split.
void ParallelRows(uint32_t count, uint64_t bytesPerRow,
                  const std::function<void(uint32_t begin, uint32_t end)>& fn);
// How ParallelRows splits: the most threads and the least work worth a thread. Tests force
// splits on small images with it; threads = 0 means one per core.
void SetParallelism(unsigned threads, uint64_t minBytesPerThread);

// Whether operations may use the processor's vector instructions where it has them (tests
// switch them off to check the plain code against them).
bool VectorCodeEnabled();
void EnableVectorCode(bool enabled);

// Progress and escape of an operation whose rows may run on several threads: each row asks
// Begin first, which writes progress = 100 × rows begun / total and says whether to go on
// (not once escape is set).
class RowProgress {
  public:
    RowProgress(CRaster& image, uint32_t total) : image(image), total(total) {}
    bool Begin();

  private:
    CRaster& image;
    uint32_t total;
    std::atomic<uint32_t> begun{0};
};

// Fills `result` (an empty image) as a new image of the given size and depth carrying the
// source's information record and resolution, without selection. False when the image could
// not be created.
bool StartResult(const CRaster& source, CRaster& result, uint32_t width, uint32_t height,
                 uint32_t bpp, uint32_t type);
inline bool StartResult(const CRaster& source, CRaster& result, uint32_t width, uint32_t height,
                        uint32_t bpp) {
    return StartResult(source, result, width, height, bpp, source.GetType());
}

// Copies as many palette entries as both images have.
void CopyPalette(const CRaster& source, CRaster& result);

// Gives a result with a different palette (or none) the source's transparent colour: a
// palette result marks the entry nearest to it, a 24-bit result keeps it as its background
// colour.
void CarryTransparency(const CRaster& source, CRaster& result);

// Hands the operation's progress and escape to the result and moves it into `target`.
void FinishResult(const CRaster& source, CRaster& result, CRaster& target);

// Index of pixel x in a 1-, 4- or 8-bit row.
inline uint8_t IndexAt(const uint8_t* row, uint32_t x, uint32_t bpp) {
    switch (bpp) {
        case 8:
            return row[x];
        case 4:
            return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
        default:
            return (row[x >> 3] >> (7 - (x & 7))) & 1;
    }
}

// The indices of `count` pixels from pixel x0 of a 1-, 4- or 8-bit row.
void UnpackRow(const uint8_t* row, uint32_t x0, uint32_t count, uint32_t bpp, uint8_t* indices);
// Writes `count` indices as a whole 1-, 4- or 8-bit row from pixel 0; the unused low bits of the
// last byte become zero.
void PackRow(const uint8_t* indices, uint32_t count, uint32_t bpp, uint8_t* row);

}  // namespace rasterops
