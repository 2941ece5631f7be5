#include "tools/crypt/sha.h"

#include "tools/crypt/byte_order.h"
#include "tools/crypt/crypt_error.h"
#include "tools/crypt/wipe.h"

#include <cstring>

namespace filecrypt {

namespace {

constexpr std::uint32_t kInitialHash[8] = {0x6A09E667, 0xBB67AE85, 0x3C6EF372, 0xA54FF53A,
                                           0x510E527F, 0x9B05688C, 0x1F83D9AB, 0x5BE0CD19};

constexpr std::uint32_t kRoundConstants[64] = {
    0x428A2F98, 0x71374491, 0xB5C0FBCF, 0xE9B5DBA5, 0x3956C25B, 0x59F111F1, 0x923F82A4, 0xAB1C5ED5,
    0xD807AA98, 0x12835B01, 0x243185BE, 0x550C7DC3, 0x72BE5D74, 0x80DEB1FE, 0x9BDC06A7, 0xC19BF174,
    0xE49B69C1, 0xEFBE4786, 0x0FC19DC6, 0x240CA1CC, 0x2DE92C6F, 0x4A7484AA, 0x5CB0A9DC, 0x76F988DA,
    0x983E5152, 0xA831C66D, 0xB00327C8, 0xBF597FC7, 0xC6E00BF3, 0xD5A79147, 0x06CA6351, 0x14292967,
    0x27B70A85, 0x2E1B2138, 0x4D2C6DFC, 0x53380D13, 0x650A7354, 0x766A0ABB, 0x81C2C92E, 0x92722C85,
    0xA2BFE8A1, 0xA81A664B, 0xC24B8B70, 0xC76C51A3, 0xD192E819, 0xD6990624, 0xF40E3585, 0x106AA070,
    0x19A4C116, 0x1E376C08, 0x2748774C, 0x34B0BCB5, 0x391C0CB3, 0x4ED8AA4A, 0x5B9CCA4F, 0x682E6FF3,
    0x748F82EE, 0x78A5636F, 0x84C87814, 0x8CC70208, 0x90BEFFFA, 0xA4506CEB, 0xBEF9A3F7, 0xC67178F2};

inline std::uint32_t RotateRight(std::uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}

}  // namespace

CSHA::CSHA() {
    Reset();
}

CSHA::~CSHA() {
    Wipe(state, sizeof state);
    Wipe(blockBuffer, sizeof blockBuffer);
}

void CSHA::Reset() {
    std::memcpy(state, kInitialHash, sizeof state);
    bitCountLow = 0;
    bitCountHigh = 0;
    dataAdded = false;
}

void CSHA::AddData(const std::uint8_t* data, long long length) {
    if (length <= 0)
        throw CCryptError("FileCrypt ERROR: in CSHA::AddData(), Data Length should be > 0!");
    std::size_t used = (bitCountLow >> 3) & 63;
    const std::uint64_t bits =
        (std::uint64_t{bitCountHigh} << 32 | bitCountLow) + static_cast<std::uint64_t>(length) * 8;
    bitCountLow = static_cast<std::uint32_t>(bits);
    bitCountHigh = static_cast<std::uint32_t>(bits >> 32);

    auto remaining = static_cast<std::size_t>(length);
    if (used > 0) {
        const std::size_t take = remaining < 64 - used ? remaining : 64 - used;
        std::memcpy(blockBuffer + used, data, take);
        used += take;
        data += take;
        remaining -= take;
        if (used < 64) {
            dataAdded = true;
            return;
        }
        ProcessBlock(blockBuffer);
    }
    for (; remaining >= 64; remaining -= 64, data += 64) ProcessBlock(data);
    if (remaining > 0) std::memcpy(blockBuffer, data, remaining);
    dataAdded = true;
}

void CSHA::FinalDigest(std::uint8_t digest[kDigestSize]) {
    if (!dataAdded)
        throw CCryptError("FileCrypt ERROR: in CSHA::FinalDigest(), No data Added before call!");
    std::size_t used = (bitCountLow >> 3) & 63;
    blockBuffer[used++] = 0x80;
    if (used > 56) {
        std::memset(blockBuffer + used, 0, 64 - used);
        ProcessBlock(blockBuffer);
        used = 0;
    }
    std::memset(blockBuffer + used, 0, 56 - used);
    StoreBigEndian32(blockBuffer + 56, bitCountHigh);
    StoreBigEndian32(blockBuffer + 60, bitCountLow);
    ProcessBlock(blockBuffer);
    for (int i = 0; i < 8; ++i) StoreBigEndian32(digest + 4 * i, state[i]);
    Reset();
}

void CSHA::ProcessBlock(const std::uint8_t* block) {
    std::uint32_t w[64];
    for (int t = 0; t < 16; ++t) w[t] = LoadBigEndian32(block + 4 * t);
    for (int t = 16; t < 64; ++t) {
        const std::uint32_t s0 =
            RotateRight(w[t - 15], 7) ^ RotateRight(w[t - 15], 18) ^ (w[t - 15] >> 3);
        const std::uint32_t s1 =
            RotateRight(w[t - 2], 17) ^ RotateRight(w[t - 2], 19) ^ (w[t - 2] >> 10);
        w[t] = w[t - 16] + s0 + w[t - 7] + s1;
    }
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
    for (int t = 0; t < 64; ++t) {
        const std::uint32_t sum1 = RotateRight(e, 6) ^ RotateRight(e, 11) ^ RotateRight(e, 25);
        const std::uint32_t choose = (e & f) ^ (~e & g);
        const std::uint32_t t1 = h + sum1 + choose + kRoundConstants[t] + w[t];
        const std::uint32_t sum0 = RotateRight(a, 2) ^ RotateRight(a, 13) ^ RotateRight(a, 22);
        const std::uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
        const std::uint32_t t2 = sum0 + majority;
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
    state[5] += f;
    state[6] += g;
    state[7] += h;
}

}  // namespace filecrypt
