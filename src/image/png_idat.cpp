#include "image/png_idat.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "image/dib_types.h"
#include "image/raster_ops_internal.h"

namespace pngidat {

namespace {

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

// Each strip is deflated whole by libdeflate, which writes a complete stream: its last block is
// marked final and its end is padded to a byte. A strip that more strips follow is made to go on
// into the next one: its final mark is cleared and an empty stored block (what zlib writes on a
// sync flush) brings it to a byte boundary. zlib's inflate walks the strip block by block to find
// the last block's header and the stream's last bit, and so checks the strip too.
bool ContinueStream(std::vector<uint8_t>& piece, size_t size) {
    z_stream stream{};
    if (inflateInit2(&stream, -15) != Z_OK) return false;
    uint8_t scratch[1 << 15];
    stream.next_in = piece.data();
    stream.avail_in = static_cast<uInt>(size);
    uint64_t blockStart = 0, end = 0;  // bit positions
    bool done = false;
    for (;;) {
        stream.next_out = scratch;
        stream.avail_out = sizeof scratch;
        if (inflate(&stream, Z_BLOCK) != Z_OK) break;
        if (!(stream.data_type & 128)) continue;  // not at a block's end yet
        // Just after an end-of-block code: the bits of the last byte taken that are left over
        // tell the bit position. The final block's end is where the stream ends.
        const uint64_t position = uint64_t{stream.total_in} * 8 - (stream.data_type & 7);
        if (stream.data_type & 64) {
            end = position;
            done = true;
            break;
        }
        blockStart = position;
    }
    inflateEnd(&stream);
    if (!done || (end + 7) / 8 != size) return false;
    uint8_t& header = piece[blockStart / 8];
    const uint8_t finalBit = uint8_t(1u << (blockStart % 8));
    if (!(header & finalBit)) return false;
    header &= uint8_t(~finalBit);
    size_t bytes = (end + 7) / 8;
    const unsigned used = end % 8;  // bits of the last byte taken
    if (used) piece[bytes - 1] &= uint8_t((1u << used) - 1);
    // The stored block's three header bits (all zero) go into the last byte's free bits when
    // they fit, else into a byte of their own; then the byte boundary, LEN 0 and NLEN.
    piece.resize(bytes);
    if (used == 0 || used > 5) piece.push_back(0);
    piece.insert(piece.end(), {0x00, 0x00, 0xff, 0xff});
    return true;
}

struct StripResult {
    uLong adler = 1;
    size_t length = 0;  // uncompressed bytes
    bool ok = false;
};

StripResult CompressStrip(const Layout& layout, const RowSource& source, uint32_t first,
                          uint32_t end, bool last, libdeflate_compressor* compressor,
                          std::vector<uint8_t>& piece) {
    StripResult result;
    const size_t line = layout.rowBytes + 1;
    std::vector<uint8_t> previous(layout.rowBytes), current(layout.rowBytes);
    std::vector<uint8_t> filtered(line * (end - first));
    FilterRows(layout, source, first, end, previous, current, filtered.data());
    result.adler = libdeflate_adler32(1, filtered.data(), filtered.size());
    piece.resize(libdeflate_deflate_compress_bound(compressor, filtered.size()) + 6);
    const size_t size = libdeflate_deflate_compress(compressor, filtered.data(), filtered.size(),
                                                    piece.data(), piece.size());
    if (size == 0) return result;
    if (last)
        piece.resize(size);
    else if (!ContinueStream(piece, size))
        return result;
    result.length = filtered.size();
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
        static_cast<uint32_t>(std::max<size_t>(1, (layout.stripBytes + line - 1) / line));
    const uint32_t strips = std::max<uint32_t>(1, (layout.height + stripRows - 1) / stripRows);
    pieces.assign(strips, {});
    std::vector<StripResult> results(strips);
    // Each worker takes the next strip until none is left, so a slow strip (a photo) does not
    // hold up a core that has finished its share; the output never depends on who took what.
    std::atomic<uint32_t> next{0};
    rasterops::ParallelRows(strips, uint64_t{stripRows} * line, [&](uint32_t, uint32_t) {
        libdeflate_compressor* compressor = libdeflate_alloc_compressor(layout.level);
        if (!compressor) return;  // its strips stay failed
        for (uint32_t s; (s = next.fetch_add(1)) < strips;) {
            const uint32_t first = s * stripRows;
            const uint32_t end = std::min(layout.height, first + stripRows);
            results[s] =
                CompressStrip(layout, source, first, end, s + 1 == strips, compressor, pieces[s]);
        }
        libdeflate_free_compressor(compressor);
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

namespace {

// Raw deflate data into a new piece of at most `limit` bytes; `whole` requires every input byte
// to be taken.
bool InflateRaw(libdeflate_decompressor* decompressor, const uint8_t* in, size_t size, size_t limit,
                Inflated& piece) {
    piece.bytes.reset(new (std::nothrow) uint8_t[std::max<size_t>(limit, 1)]);
    if (!piece.bytes) return false;
    size_t taken = 0;
    return libdeflate_deflate_decompress_ex(decompressor, in, size, piece.bytes.get(), limit,
                                            &taken, &piece.size) == LIBDEFLATE_SUCCESS &&
           taken == size;
}

// Where the stream's body (after the two header bytes) can be cut: just after the first sync
// flush marker (an empty stored block: 00 00 ff ff) past the middle. 0 for none.
size_t FindCut(const uint8_t* body, size_t size) {
    static constexpr uint8_t kMarker[] = {0x00, 0x00, 0xff, 0xff};
    const uint8_t* from = body + size / 2;
    const void* found = memmem(from, size - size / 2, kMarker, sizeof kMarker);
    if (!found) return 0;
    const size_t cut = static_cast<const uint8_t*>(found) - body + sizeof kMarker;
    return cut < size ? cut : 0;
}

struct Decompressor {
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    ~Decompressor() {
        if (d) libdeflate_free_decompressor(d);
    }
};

// Halves worth a second core: below this the thread costs more than it saves.
constexpr size_t kSplitBytes = 1 << 20;

}  // namespace

bool Inflate(const uint8_t* stream, size_t size, size_t limit, std::vector<Inflated>& pieces) {
    pieces.clear();
    if (size < 6 || (stream[0] & 0x0f) != Z_DEFLATED || (stream[0] << 8 | stream[1]) % 31 != 0 ||
        (stream[1] & 0x20))  // a preset dictionary: not in PNG
        return false;
    const uint8_t* body = stream + 2;
    const size_t bodySize = size - 6;
    const uint32_t adler = be::Load32(stream + size - 4);
    const size_t cut = bodySize >= kSplitBytes ? FindCut(body, bodySize) : 0;
    if (cut > 0) {
        // The first half ends on the flush; a final empty block (fixed codes, end of block at
        // once) closes it. The second half must then inflate on its own to the stream's end,
        // and the checksum of both must match, or the cut was no flush and one pass does it.
        std::vector<uint8_t> first(body, body + cut);
        first.insert(first.end(), {0x03, 0x00});
        Inflated halves[2];
        bool ok[2] = {false, false};
        uLong sums[2] = {1, 1};
        rasterops::ParallelRows(2, bodySize / 2, [&](uint32_t begin, uint32_t end) {
            Decompressor decompressor;
            for (uint32_t half = begin; half < end && decompressor.d; ++half) {
                ok[half] =
                    half == 0
                        ? InflateRaw(decompressor.d, first.data(), first.size(), limit, halves[0])
                        : InflateRaw(decompressor.d, body + cut, bodySize - cut, limit, halves[1]);
                if (ok[half])
                    sums[half] = libdeflate_adler32(1, halves[half].bytes.get(), halves[half].size);
            }
        });
        if (ok[0] && ok[1] && halves[0].size + halves[1].size <= limit &&
            adler32_combine(sums[0], sums[1], static_cast<z_off_t>(halves[1].size)) == adler) {
            pieces.push_back(std::move(halves[0]));
            pieces.push_back(std::move(halves[1]));
            return true;
        }
    }
    Decompressor decompressor;
    Inflated whole;
    whole.bytes.reset(new (std::nothrow) uint8_t[std::max<size_t>(limit, 1)]);
    if (!decompressor.d || !whole.bytes ||
        libdeflate_zlib_decompress(decompressor.d, stream, size, whole.bytes.get(), limit,
                                   &whole.size) != LIBDEFLATE_SUCCESS)
        return false;
    pieces.push_back(std::move(whole));
    return true;
}

}  // namespace pngidat
