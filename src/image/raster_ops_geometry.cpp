// Mirror, quarter turns and crop: pixels moved, never recomputed.

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#if defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#endif

#include "image/raster.h"
#include "image/raster_ops_internal.h"

using namespace rasterops;

namespace {

// Reverses the order of `count` pixels of `size` bytes from `in` into `out`.
template <size_t size>
void ReversePixels(const uint8_t* in, uint8_t* out, uint32_t count) {
    const uint8_t* from = in + size_t{count} * size;
    for (uint32_t x = 0; x < count; ++x, out += size) {
        from -= size;
        std::memcpy(out, from, size);
    }
}

// The block moves below read pixels as little-endian words.
static_assert(std::endian::native == std::endian::little);

// Transposes an 8 × 8 block of bytes held in eight little-endian words: byte i of word k
// becomes byte k of word i.
inline void Transpose8x8(uint64_t* x) {
    for (int a : {0, 2, 4, 6}) {
        const uint64_t t = ((x[a] >> 8) ^ x[a + 1]) & 0x00FF00FF00FF00FFull;
        x[a + 1] ^= t;
        x[a] ^= t << 8;
    }
    for (int a : {0, 1, 4, 5}) {
        const uint64_t t = ((x[a] >> 16) ^ x[a + 2]) & 0x0000FFFF0000FFFFull;
        x[a + 2] ^= t;
        x[a] ^= t << 16;
    }
    for (int a : {0, 1, 2, 3}) {
        const uint64_t t = ((x[a] >> 32) ^ x[a + 4]) & 0x00000000FFFFFFFFull;
        x[a + 4] ^= t;
        x[a] ^= t << 32;
    }
}

// A quarter turn of a plane, W × H pixels of the source. Output row r, column c takes the
// source pixel (x = r, y = H − 1 − c) when turning left and (x = W − 1 − r, y = c) when turning
// right. Each call fills the output rows [r0, r1).
struct Turner {
    const uint8_t* source;
    size_t sourceStride;
    uint32_t width, height;
    uint8_t* target;
    size_t targetStride;
    bool left;

    uint32_t SourceRow(uint32_t c) const { return left ? height - 1 - c : c; }
    uint32_t SourceColumn(uint32_t r) const { return left ? r : width - 1 - r; }

    // One byte per pixel: 8 × 8 blocks turned in registers, the edges pixel by pixel.
    void Bytes(uint32_t r0, uint32_t r1) const {
        for (uint32_t c0 = 0; c0 < height; c0 += 8) {
            const uint32_t c1 = std::min(height, c0 + 8);
            uint32_t r = r0;
            for (; c1 - c0 == 8 && r + 8 <= r1; r += 8) {
                uint64_t x[8];
                const uint32_t column = left ? r : width - r - 8;
                for (uint32_t k = 0; k < 8; ++k) {
                    std::memcpy(&x[k], source + SourceRow(c0 + k) * sourceStride + column, 8);
                    if (!left) x[k] = __builtin_bswap64(x[k]);
                }
                Transpose8x8(x);
                for (uint32_t i = 0; i < 8; ++i)
                    std::memcpy(target + (r + i) * targetStride + c0, &x[i], 8);
            }
            for (; r < r1; ++r) {
                for (uint32_t c = c0; c < c1; ++c)
                    target[r * targetStride + c] =
                        source[SourceRow(c) * sourceStride + SourceColumn(r)];
            }
        }
    }

    // Three bytes per pixel: 4 × 4 blocks moved as 12-byte rows, the edges pixel by pixel.
    void Triples(uint32_t r0, uint32_t r1) const {
        uint32_t c0 = 0;
        for (; c0 + 4 <= height; c0 += 4) {
            const uint8_t* rows[4];
            for (uint32_t k = 0; k < 4; ++k) rows[k] = source + SourceRow(c0 + k) * sourceStride;
            uint32_t r = r0;
            for (; r + 4 <= r1; r += 4) {
                const size_t column = size_t{left ? r : width - 4 - r} * 3;
                uint32_t p[4][4];  // pixel of output row r + i in source row k, as 0x00rrggbb
                for (uint32_t k = 0; k < 4; ++k) {
                    uint64_t lo;
                    uint32_t hi;
                    std::memcpy(&lo, rows[k] + column, 8);
                    std::memcpy(&hi, rows[k] + column + 8, 4);
                    const uint32_t q[4] = {
                        static_cast<uint32_t>(lo) & 0xFFFFFF,
                        static_cast<uint32_t>(lo >> 24) & 0xFFFFFF,
                        static_cast<uint32_t>((lo >> 48) | (uint64_t{hi} << 16)) & 0xFFFFFF,
                        hi >> 8};
                    for (uint32_t i = 0; i < 4; ++i) p[k][i] = q[left ? i : 3 - i];
                }
                for (uint32_t i = 0; i < 4; ++i) {
                    const uint64_t lo =
                        p[0][i] | (uint64_t{p[1][i]} << 24) | (uint64_t{p[2][i]} << 48);
                    const uint32_t hi = (p[2][i] >> 16) | (p[3][i] << 8);
                    uint8_t* out = target + (r + i) * targetStride + size_t{c0} * 3;
                    std::memcpy(out, &lo, 8);
                    std::memcpy(out + 8, &hi, 4);
                }
            }
            for (; r < r1; ++r)
                for (uint32_t k = 0; k < 4; ++k) Triple(r, c0 + k);
        }
        for (; c0 < height; ++c0)
            for (uint32_t r = r0; r < r1; ++r) Triple(r, c0);
    }

    void Triple(uint32_t r, uint32_t c) const {
        std::memcpy(target + r * targetStride + size_t{c} * 3,
                    source + SourceRow(c) * sourceStride + size_t{SourceColumn(r)} * 3, 3);
    }
};

#if defined(__x86_64__)
// Four pixels from each of four source rows, turned: lane i of row k goes to output row i.
// Gives each output row's 12 bytes in the low part of a register.
__attribute__((target("ssse3"), always_inline)) inline void TurnBlockSsse3(
    const uint8_t* const* rows, size_t column, __m128i spread, __m128i* out) {
    const __m128i pack = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    __m128i a[4];
    for (uint32_t k = 0; k < 4; ++k)
        a[k] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[k] + column)),
                                spread);
    const __m128i t0 = _mm_unpacklo_epi32(a[0], a[1]), t1 = _mm_unpacklo_epi32(a[2], a[3]);
    const __m128i t2 = _mm_unpackhi_epi32(a[0], a[1]), t3 = _mm_unpackhi_epi32(a[2], a[3]);
    out[0] = _mm_shuffle_epi8(_mm_unpacklo_epi64(t0, t1), pack);
    out[1] = _mm_shuffle_epi8(_mm_unpackhi_epi64(t0, t1), pack);
    out[2] = _mm_shuffle_epi8(_mm_unpacklo_epi64(t2, t3), pack);
    out[3] = _mm_shuffle_epi8(_mm_unpackhi_epi64(t2, t3), pack);
}

// Triples() with SSSE3: each source row's four pixels spread to 32-bit lanes, 4 × 4 blocks
// turned with unpacks and packed back, two blocks side by side so that each output row gets
// 24 bytes at once.
__attribute__((target("ssse3"))) void TriplesSsse3(const Turner& t, uint32_t r0, uint32_t r1) {
    const __m128i spread =
        t.left ? _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1)
               : _mm_setr_epi8(9, 10, 11, -1, 6, 7, 8, -1, 3, 4, 5, -1, 0, 1, 2, -1);
    // A 16-byte load may reach 4 bytes past a row's pixels: only the top row has nothing after.
    const size_t lastSafe = t.sourceStride >= 16 ? t.sourceStride - 16 : 0;
    uint32_t c0 = 0;
    for (; c0 + 8 <= t.height; c0 += 8) {
        const uint8_t* rows[8];
        bool nearEnd = false;
        for (uint32_t k = 0; k < 8; ++k) {
            const uint32_t row = t.SourceRow(c0 + k);
            rows[k] = t.source + row * t.sourceStride;
            nearEnd = nearEnd || row + 1 == t.height;
        }
        uint32_t r = r0;
        for (; r + 4 <= r1; r += 4) {
            const size_t column = size_t{t.left ? r : t.width - 4 - r} * 3;
            if (nearEnd && column > lastSafe) {
                for (uint32_t k = 0; k < 8; ++k)
                    for (uint32_t i = 0; i < 4; ++i) t.Triple(r + i, c0 + k);
                continue;
            }
            __m128i low[4], high[4];
            TurnBlockSsse3(rows, column, spread, low);
            TurnBlockSsse3(rows + 4, column, spread, high);
            for (uint32_t i = 0; i < 4; ++i) {
                uint8_t* o = t.target + (r + i) * t.targetStride + size_t{c0} * 3;
                _mm_storeu_si128(reinterpret_cast<__m128i*>(o),
                                 _mm_or_si128(low[i], _mm_slli_si128(high[i], 12)));
                _mm_storel_epi64(reinterpret_cast<__m128i*>(o + 16), _mm_srli_si128(high[i], 4));
            }
        }
        for (; r < r1; ++r)
            for (uint32_t k = 0; k < 8; ++k) t.Triple(r, c0 + k);
    }
    for (; c0 < t.height; ++c0)
        for (uint32_t r = r0; r < r1; ++r) t.Triple(r, c0);
}

// Asked of the processor on first use: the compiler's own feature test would bring in a start-up
// routine that queries every feature in every process, and each query is slow under a hypervisor.
bool HasSsse3() {
    static const bool has = [] {
        unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
        return __get_cpuid(1, &eax, &ebx, &ecx, &edx) && (ecx & bit_SSSE3);
    }();
    return has && VectorCodeEnabled();
}

// ReversePixels() with SSSE3, 16 bytes or 5 pixels of 3 bytes per step.
__attribute__((target("ssse3"))) void ReverseSsse3(const uint8_t* in, uint8_t* out, uint32_t count,
                                                   size_t size) {
    uint32_t x = 0;
    if (size == 1) {
        const __m128i mask = _mm_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
        for (; x + 16 <= count; x += 16) {
            const __m128i v =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + count - 16 - x));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_shuffle_epi8(v, mask));
        }
        for (; x < count; ++x) out[x] = in[count - 1 - x];
        return;
    }
    // The sixteenth byte read belongs to the pixel after the five (there is one from the
    // second output pixel on); the sixteenth written is rewritten by the next step.
    const __m128i mask = _mm_setr_epi8(12, 13, 14, 9, 10, 11, 6, 7, 8, 3, 4, 5, 0, 1, 2, 15);
    if (count > 0) std::memcpy(out, in + size_t{count - 1} * 3, 3);
    for (x = 1; x + 6 <= count; x += 5) {
        const __m128i v =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + size_t{count - 5 - x} * 3));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + size_t{x} * 3),
                         _mm_shuffle_epi8(v, mask));
    }
    for (; x < count; ++x) std::memcpy(out + size_t{x} * 3, in + size_t{count - 1 - x} * 3, 3);
}
#endif

// Reverses the order of `count` pixels of `size` bytes (1 or 3) from `in` into `out`.
void ReverseRow(const uint8_t* in, uint8_t* out, uint32_t count, size_t size) {
#if defined(__x86_64__)
    if (HasSsse3()) {
        ReverseSsse3(in, out, count, size);
        return;
    }
#endif
    if (size == 3)
        ReversePixels<3>(in, out, count);
    else
        ReversePixels<1>(in, out, count);
}

// Bands of output rows run on separate cores.
template <size_t size>
void TurnPlane(const uint8_t* source, size_t sourceStride, uint32_t width, uint32_t height,
               uint8_t* target, size_t targetStride, bool left) {
    const Turner turner{source, sourceStride, width, height, target, targetStride, left};
    // Wide bands read long runs of each source row; at least four bands where possible.
    const uint32_t band = std::clamp<uint32_t>(width / 4 / 8 * 8, 64, 1024);
    const uint32_t bands = (width + band - 1) / band;
    ParallelRows(bands, uint64_t{band} * height * size, [&](uint32_t begin, uint32_t end) {
        for (uint32_t b = begin; b < end; ++b) {
            const uint32_t r0 = b * band, r1 = std::min(width, r0 + band);
            if (size == 1) {
                turner.Bytes(r0, r1);
                continue;
            }
#if defined(__x86_64__)
            if (HasSsse3()) {
                TriplesSsse3(turner, r0, r1);
                continue;
            }
#endif
            turner.Triples(r0, r1);
        }
    });
}

// The same turn for 1- and 4-bit rows: bands of output rows gathered as indices, then packed.
void TurnPacked(const CRaster& image, CRaster& result, bool left) {
    const uint32_t width = image.GetWidth(), height = image.GetHeight(), bpp = image.GetBpp();
    constexpr uint32_t kBand = 64;
    const uint32_t bands = (width + kBand - 1) / kBand;
    ParallelRows(bands, uint64_t{kBand} * height, [&](uint32_t begin, uint32_t end) {
        std::vector<uint8_t> gathered(size_t{kBand} * height);
        uint8_t span[kBand];
        for (uint32_t band = begin; band < end; ++band) {
            const uint32_t r0 = band * kBand, r1 = std::min(width, r0 + kBand), n = r1 - r0;
            // Source columns of this band: r0..r1-1 turning left, W-r1..W-1-r0 turning right.
            const uint32_t x0 = left ? r0 : width - r1;
            for (uint32_t c = 0; c < height; ++c) {
                UnpackRow(image.GetBits(left ? height - 1 - c : c), x0, n, bpp, span);
                for (uint32_t k = 0; k < n; ++k)
                    gathered[size_t{k} * height + c] = span[left ? k : n - 1 - k];
            }
            for (uint32_t k = 0; k < n; ++k)
                PackRow(&gathered[size_t{k} * height], height, bpp, result.GetBits(r0 + k));
        }
    });
}

bool Turn(CRaster& image, CRaster* destination, bool left) {
    if (!image.IsValid()) return false;
    const uint32_t width = image.GetWidth(), height = image.GetHeight();
    CRaster result;
    if (!StartResult(image, result, height, width, image.GetBpp())) return false;
    CopyPalette(image, result);
    switch (image.GetBpp()) {
        case 24:
            TurnPlane<3>(image.GetBits(), image.GetEffWidth(), width, height, result.GetBits(),
                         result.GetEffWidth(), left);
            break;
        case 8:
            TurnPlane<1>(image.GetBits(), image.GetEffWidth(), width, height, result.GetBits(),
                         result.GetEffWidth(), left);
            break;
        default:
            TurnPacked(image, result, left);
            break;
    }
    if (image.AlphaIsValid() && result.AlphaCreate())
        TurnPlane<1>(image.AlphaGetBits(), width, width, height, result.AlphaGetBits(), height,
                     left);
    FinishResult(image, result, destination && destination != &image ? *destination : image);
    return true;
}

}  // namespace

bool CRaster::Mirror() {
    if (!IsValid()) return false;
    CRaster result(*this, false, false, true);
    if (!result.IsValid()) return false;
    result.SelectionDelete();
    const uint32_t width = GetWidth(), bpp = GetBpp();
    ParallelRows(GetHeight(), GetEffWidth(), [&](uint32_t begin, uint32_t end) {
        std::vector<uint8_t> indices(bpp < 8 ? width : 0), reversed(indices.size());
        for (uint32_t y = begin; y < end; ++y) {
            const uint8_t* in = GetBits(y);
            uint8_t* out = result.GetBits(y);
            if (bpp >= 8) {
                ReverseRow(in, out, width, bpp / 8);
            } else {
                UnpackRow(in, 0, width, bpp, indices.data());
                ReverseRow(indices.data(), reversed.data(), width, 1);
                PackRow(reversed.data(), width, bpp, out);
            }
        }
    });
    result.AlphaMirror();
    FinishResult(*this, result, *this);
    return true;
}

bool CRaster::AlphaMirror() {
    if (!alpha) return false;
    const uint32_t width = GetWidth();
    std::vector<uint8_t> row(width);
    for (uint32_t y = 0; y < GetHeight(); ++y) {
        uint8_t* plane = alpha + size_t{y} * width;
        std::memcpy(row.data(), plane, width);
        ReverseRow(row.data(), plane, width, 1);
    }
    return true;
}

bool CRaster::RotateLeft(CRaster* destination) {
    return Turn(*this, destination, true);
}

bool CRaster::RotateRight(CRaster* destination) {
    return Turn(*this, destination, false);
}

bool CRaster::Crop(int32_t left, int32_t top, int32_t right, int32_t bottom, CRaster* destination) {
    if (!IsValid()) return false;
    const int32_t width = static_cast<int32_t>(GetWidth());
    const int32_t height = static_cast<int32_t>(GetHeight());
    left = std::clamp(left, 0, width);
    right = std::clamp(right, 0, width);
    top = std::clamp(top, 0, height);
    bottom = std::clamp(bottom, 0, height);
    // Rows counted from the bottom.
    int32_t startY = height - top, endY = height - bottom;
    if (left == right || startY == endY) return false;
    if (left > right) std::swap(left, right);
    if (startY > endY) std::swap(startY, endY);

    const uint32_t newWidth = static_cast<uint32_t>(right - left);
    const uint32_t newHeight = static_cast<uint32_t>(endY - startY);
    const uint32_t bpp = GetBpp();
    CRaster result;
    if (!StartResult(*this, result, newWidth, newHeight, bpp)) return false;
    CopyPalette(*this, result);
    std::vector<uint8_t> indices(bpp < 8 ? newWidth : 0);
    for (uint32_t y = 0; y < newHeight; ++y) {
        const uint8_t* in = GetBits(startY + y);
        uint8_t* out = result.GetBits(y);
        if (bpp >= 8) {
            std::memcpy(out, in + size_t{static_cast<uint32_t>(left)} * bpp / 8,
                        size_t{newWidth} * bpp / 8);
        } else {
            UnpackRow(in, left, newWidth, bpp, indices.data());
            PackRow(indices.data(), newWidth, bpp, out);
        }
    }
    // The alpha plane and the selection are not carried.
    FinishResult(*this, result, destination && destination != this ? *destination : *this);
    return true;
}
