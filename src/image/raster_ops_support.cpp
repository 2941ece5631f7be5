// Shared pieces of the image operations.

#include "image/raster_ops_internal.h"

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

namespace rasterops {

namespace {
// Below this much pixel data a job is not worth a thread.
std::atomic<uint64_t> minBytesPerThread{1u << 18};
std::atomic<unsigned> maxThreads{0};
constexpr unsigned kMaxThreads = 16;
}  // namespace

namespace {
std::atomic<bool> vectorCode{true};
}  // namespace

bool VectorCodeEnabled() {
    return vectorCode.load(std::memory_order_relaxed);
}

void EnableVectorCode(bool enabled) {
    vectorCode = enabled;
}

void SetParallelism(unsigned threads, uint64_t minBytes) {
    maxThreads = threads;
    minBytesPerThread = std::max<uint64_t>(minBytes, 1);
}

void ParallelRows(uint32_t count, uint64_t bytesPerRow,
                  const std::function<void(uint32_t, uint32_t)>& fn) {
    if (count == 0) return;
    const uint64_t total = uint64_t{count} * std::max<uint64_t>(bytesPerRow, 1);
    unsigned threads = maxThreads ? maxThreads.load() : std::thread::hardware_concurrency();
    threads = std::min(std::max(threads, 1u), kMaxThreads);
    threads = static_cast<unsigned>(
        std::min<uint64_t>({threads, total / minBytesPerThread, uint64_t{count}}));
    if (threads <= 1) {
        fn(0, count);
        return;
    }
    std::vector<std::thread> workers;
    workers.reserve(threads - 1);
    const uint32_t band = (count + threads - 1) / threads;
    for (unsigned t = 1; t < threads; ++t) {
        const uint32_t begin = std::min(count, t * band);
        const uint32_t end = std::min(count, begin + band);
        if (begin < end) workers.emplace_back(fn, begin, end);
    }
    fn(0, std::min(count, band));
    for (auto& worker : workers) worker.join();
}

bool RowProgress::Begin() {
    const uint32_t row = begun.fetch_add(1, std::memory_order_relaxed);
    image.SetProgress(static_cast<int32_t>(uint64_t{row} * 100 / total));
    return !image.GetEscape();
}

bool StartResult(const CRaster& source, CRaster& result, uint32_t width, uint32_t height,
                 uint32_t bpp, uint32_t type) {
    result.CopyInfo(source);
    if (!result.Create(width, height, bpp, type)) return false;
    result.SetXDPI(source.GetXDPI());
    result.SetYDPI(source.GetYDPI());
    result.SelectionDelete();
    return true;
}

void CopyPalette(const CRaster& source, CRaster& result) {
    if (source.GetPalette() && result.GetPalette())
        result.SetPalette(source.GetPalette(), source.GetNumColors());
}

void CarryTransparency(const CRaster& source, CRaster& result) {
    if (source.GetTransIndex() < 0) return;
    const RGBQUAD color = source.GetTransColor();
    if (result.GetNumColors()) {
        result.SetTransIndex(result.GetNearestIndex(color));
    } else {
        RGBQUAD background = result.GetBackgroundColor();
        background.rgbRed = color.rgbRed;
        background.rgbGreen = color.rgbGreen;
        background.rgbBlue = color.rgbBlue;
        result.SetBackgroundColor(background);
    }
}

void FinishResult(const CRaster& source, CRaster& result, CRaster& target) {
    result.SetProgress(source.GetProgress());
    result.SetEscape(source.GetEscape());
    target.Transfer(result);
}

void UnpackRow(const uint8_t* row, uint32_t x0, uint32_t count, uint32_t bpp, uint8_t* indices) {
    if (bpp == 8) {
        std::memcpy(indices, row + x0, count);
        return;
    }
    uint32_t x = x0;
    const uint32_t end = x0 + count;
    if (bpp == 4) {
        if (x < end && (x & 1)) *indices++ = row[x++ >> 1] & 0x0F;
        for (; x + 1 < end; x += 2) {
            const uint8_t byte = row[x >> 1];
            *indices++ = byte >> 4;
            *indices++ = byte & 0x0F;
        }
        if (x < end) *indices = row[x >> 1] >> 4;
        return;
    }
    for (; x < end && (x & 7); ++x) *indices++ = (row[x >> 3] >> (7 - (x & 7))) & 1;
    for (; x + 8 <= end; x += 8) {
        const uint8_t byte = row[x >> 3];
        for (int bit = 7; bit >= 0; --bit) *indices++ = (byte >> bit) & 1;
    }
    for (; x < end; ++x) *indices++ = (row[x >> 3] >> (7 - (x & 7))) & 1;
}

void PackRow(const uint8_t* indices, uint32_t count, uint32_t bpp, uint8_t* row) {
    if (bpp == 8) {
        std::memcpy(row, indices, count);
        return;
    }
    uint32_t x = 0;
    if (bpp == 4) {
        for (; x + 1 < count; x += 2)
            *row++ = static_cast<uint8_t>((indices[x] << 4) | (indices[x + 1] & 0x0F));
        if (x < count) *row = static_cast<uint8_t>(indices[x] << 4);
        return;
    }
    for (; x + 8 <= count; x += 8) {
        uint8_t byte = 0;
        for (int k = 0; k < 8; ++k) byte = static_cast<uint8_t>((byte << 1) | (indices[x + k] & 1));
        *row++ = byte;
    }
    if (x < count) {
        uint8_t byte = 0;
        for (int k = 0; x + k < count; ++k)
            byte |= static_cast<uint8_t>((indices[x + k] & 1) << (7 - k));
        *row = byte;
    }
}

}  // namespace rasterops
