#include "image/png_idat.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "image/raster_ops_internal.h"

namespace pngidat {

namespace {

// Raw bytes per strip: big enough that the sync flush and the primed window cost next to
// nothing, small enough that two cores share a screenshot evenly.
constexpr size_t kStripBytes = 256 * 1024;
constexpr size_t kWindow = 32768;
constexpr size_t kOutputStep = 64 * 1024;

enum Filter : uint8_t { kNone = 0, kSub = 1, kUp = 2, kAverage = 3, kPaeth = 4 };

// libpng's measure of a filtered row: the bytes as signed numbers, their absolute values summed.
uint32_t Cost(const uint8_t* bytes, size_t count) {
    uint32_t sum = 0;
    for (size_t i = 0; i < count; ++i) sum += static_cast<uint32_t>(std::abs(int8_t(bytes[i])));
    return sum;
}

void Sub(const uint8_t* row, size_t n, unsigned bpp, uint8_t* out) {
    for (size_t i = 0; i < bpp && i < n; ++i) out[i] = row[i];
    for (size_t i = bpp; i < n; ++i) out[i] = uint8_t(row[i] - row[i - bpp]);
}

void Up(const uint8_t* row, const uint8_t* up, size_t n, uint8_t* out) {
    for (size_t i = 0; i < n; ++i) out[i] = uint8_t(row[i] - up[i]);
}

void Average(const uint8_t* row, const uint8_t* up, size_t n, unsigned bpp, uint8_t* out) {
    for (size_t i = 0; i < bpp && i < n; ++i) out[i] = uint8_t(row[i] - (up[i] >> 1));
    for (size_t i = bpp; i < n; ++i)
        out[i] = uint8_t(row[i] - ((unsigned(row[i - bpp]) + up[i]) >> 1));
}

void Paeth(const uint8_t* row, const uint8_t* up, size_t n, unsigned bpp, uint8_t* out) {
    for (size_t i = 0; i < bpp && i < n; ++i) out[i] = uint8_t(row[i] - up[i]);
    for (size_t i = bpp; i < n; ++i) {
        const int a = row[i - bpp], b = up[i], c = up[i - bpp];
        const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
        const int predictor = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
        out[i] = uint8_t(row[i] - predictor);
    }
}

// One strip's deflate stream: raw deflate, so that the strips join into one zlib stream.
class StripDeflater {
  public:
    StripDeflater(int level, bool filtered) {
        ok = deflateInit2(&stream, level, Z_DEFLATED, -15, 8,
                          filtered ? Z_FILTERED : Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~StripDeflater() {
        if (ok) deflateEnd(&stream);
    }
    StripDeflater(const StripDeflater&) = delete;
    StripDeflater& operator=(const StripDeflater&) = delete;

    bool Prime(const uint8_t* window, size_t size) {
        return ok && deflateSetDictionary(&stream, window, static_cast<uInt>(size)) == Z_OK;
    }

    // Compresses `size` bytes into `out`; `flush` as zlib takes it.
    bool Add(const uint8_t* data, size_t size, int flush, std::vector<uint8_t>& out) {
        if (!ok) return false;
        stream.next_in = const_cast<Bytef*>(data);
        stream.avail_in = static_cast<uInt>(size);
        for (;;) {
            if (out.size() == used) out.resize(used + kOutputStep);
            stream.next_out = out.data() + used;
            stream.avail_out = static_cast<uInt>(out.size() - used);
            const int status = deflate(&stream, flush);
            used = out.size() - stream.avail_out;
            if (status == Z_STREAM_END) break;
            if (status != Z_OK && status != Z_BUF_ERROR) return ok = false;
            if (stream.avail_out != 0 && stream.avail_in == 0) break;  // all taken, all flushed
        }
        if (flush != Z_NO_FLUSH) out.resize(used);
        return true;
    }

  private:
    z_stream stream{};
    size_t used = 0;
    bool ok = false;
};

// Filters rows [first, end) of the image into `out` (filter byte + bytes each), reading the
// row above `first` for the filters that look up.
void FilterRows(const Layout& layout, const RowSource& source, uint32_t first, uint32_t end,
                std::vector<uint8_t>& previous, std::vector<uint8_t>& current, uint8_t* out) {
    const size_t n = layout.rowBytes;
    if (first == 0)
        std::fill(previous.begin(), previous.end(), 0);
    else
        source(first - 1, previous.data());
    for (uint32_t y = first; y < end; ++y) {
        source(y, current.data());
        FilterRow(current.data(), previous.data(), n, layout.pixelBytes, layout.adaptive, out);
        out += n + 1;
        previous.swap(current);
    }
}

struct StripResult {
    uLong adler = 1;
    size_t length = 0;  // uncompressed bytes
    bool ok = false;
};

StripResult CompressStrip(const Layout& layout, const RowSource& source, uint32_t first,
                          uint32_t end, bool last, std::vector<uint8_t>& piece) {
    StripResult result;
    const size_t line = layout.rowBytes + 1;
    std::vector<uint8_t> previous(layout.rowBytes), current(layout.rowBytes), filtered(line);
    StripDeflater deflater(layout.level, layout.adaptive);
    if (first > 0) {
        // The decoder's window at this point holds the rows above: give the deflater the same.
        const uint32_t rows =
            static_cast<uint32_t>(std::min<size_t>(first, (kWindow + line - 1) / line));
        std::vector<uint8_t> window(line * rows);
        FilterRows(layout, source, first - rows, first, previous, current, window.data());
        const size_t size = std::min(window.size(), kWindow);
        if (!deflater.Prime(window.data() + window.size() - size, size)) return result;
    }
    std::fill(previous.begin(), previous.end(), 0);
    if (first > 0) source(first - 1, previous.data());
    for (uint32_t y = first; y < end; ++y) {
        source(y, current.data());
        FilterRow(current.data(), previous.data(), layout.rowBytes, layout.pixelBytes,
                  layout.adaptive, filtered.data());
        previous.swap(current);
        result.adler = adler32(result.adler, filtered.data(), static_cast<uInt>(line));
        const int flush = y + 1 < end ? Z_NO_FLUSH : last ? Z_FINISH : Z_SYNC_FLUSH;
        if (!deflater.Add(filtered.data(), line, flush, piece)) return result;
    }
    result.length = line * (end - first);
    result.ok = true;
    return result;
}

// The two bytes before the deflate data, as zlib writes them for this level.
void PutHeader(int level, std::vector<uint8_t>& out) {
    const unsigned flags = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
    unsigned header = (Z_DEFLATED + (7 << 4)) << 8 | flags << 6;
    header += 31 - header % 31;
    out.insert(out.begin(), {uint8_t(header >> 8), uint8_t(header)});
}

}  // namespace

void FilterRow(const uint8_t* row, const uint8_t* previous, size_t rowBytes, unsigned pixelBytes,
               bool adaptive, uint8_t* out) {
    out[0] = kNone;
    std::memcpy(out + 1, row, rowBytes);
    if (!adaptive) return;
    thread_local std::vector<uint8_t> candidate;
    candidate.resize(rowBytes);
    uint32_t best = Cost(row, rowBytes);
    const auto consider = [&](Filter filter) {
        const uint32_t cost = Cost(candidate.data(), rowBytes);
        if (cost < best) {  // ties keep the earlier filter, as libpng does
            best = cost;
            out[0] = filter;
            std::memcpy(out + 1, candidate.data(), rowBytes);
        }
    };
    Sub(row, rowBytes, pixelBytes, candidate.data());
    consider(kSub);
    Up(row, previous, rowBytes, candidate.data());
    consider(kUp);
    Average(row, previous, rowBytes, pixelBytes, candidate.data());
    consider(kAverage);
    Paeth(row, previous, rowBytes, pixelBytes, candidate.data());
    consider(kPaeth);
}

bool Compress(const Layout& layout, const RowSource& source,
              std::vector<std::vector<uint8_t>>& pieces) {
    const size_t line = layout.rowBytes + 1;
    const uint32_t stripRows =
        static_cast<uint32_t>(std::max<size_t>(1, (kStripBytes + line - 1) / line));
    const uint32_t strips = std::max<uint32_t>(1, (layout.height + stripRows - 1) / stripRows);
    pieces.assign(strips, {});
    std::vector<StripResult> results(strips);
    // Each worker takes the next strip until none is left, so a slow strip (a photo) does not
    // hold up a core that has finished its share; the output never depends on who took what.
    std::atomic<uint32_t> next{0};
    rasterops::ParallelRows(strips, uint64_t{stripRows} * line, [&](uint32_t, uint32_t) {
        for (uint32_t s; (s = next.fetch_add(1)) < strips;) {
            const uint32_t first = s * stripRows;
            const uint32_t end = std::min(layout.height, first + stripRows);
            results[s] = CompressStrip(layout, source, first, end, s + 1 == strips, pieces[s]);
        }
    });
    uLong adler = 1;
    for (const StripResult& r : results) {
        if (!r.ok) return false;
        adler = adler32_combine(adler, r.adler, static_cast<z_off_t>(r.length));
    }
    PutHeader(layout.level, pieces.front());
    pieces.back().insert(pieces.back().end(), {uint8_t(adler >> 24), uint8_t(adler >> 16),
                                               uint8_t(adler >> 8), uint8_t(adler)});
    return true;
}

}  // namespace pngidat
