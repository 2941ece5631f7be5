#include "tools/crypt/blowfish_cipher.h"

#include "tools/crypt/blowfish_init_tables.h"
#include "tools/crypt/byte_order.h"
#include "tools/crypt/crypt_error.h"
#include "tools/crypt/sha.h"
#include "tools/crypt/wipe.h"

#include <cstdio>
#include <cstring>

namespace filecrypt {

namespace {

using SBoxes = std::uint32_t[4][256];

inline std::uint32_t F(const SBoxes& s, std::uint32_t x) {
    return ((s[0][x >> 24] + s[1][(x >> 16) & 0xFF]) ^ s[2][(x >> 8) & 0xFF]) + s[3][x & 0xFF];
}

// The 16 rounds on `lanes` independent blocks at once, so that their table look-ups overlap.
// Deciphering runs the same rounds with the P-array backwards. On return left and right hold
// the output words in order.
template <int lanes, bool backwards>
inline void Rounds(const std::uint32_t* p, const SBoxes& s, std::uint32_t* left,
                   std::uint32_t* right) {
    const auto key = [p](int i) { return backwards ? p[17 - i] : p[i]; };
    std::uint32_t l[lanes], r[lanes];
#pragma GCC unroll 8
    for (int j = 0; j < lanes; ++j) l[j] = left[j] ^ key(0), r[j] = right[j];
#pragma GCC unroll 8
    for (int k = 1; k < 16; k += 2) {
#pragma GCC unroll 8
        for (int j = 0; j < lanes; ++j) r[j] ^= F(s, l[j]) ^ key(k);
#pragma GCC unroll 8
        for (int j = 0; j < lanes; ++j) l[j] ^= F(s, r[j]) ^ key(k + 1);
    }
#pragma GCC unroll 8
    for (int j = 0; j < lanes; ++j) left[j] = r[j] ^ key(17), right[j] = l[j];
}

// Runs the rounds over every 8-byte block of a buffer, four blocks at a time.
template <bool backwards>
void EcbBuffer(const std::uint32_t* p, const SBoxes& s, const std::uint8_t* in, std::uint8_t* out,
               std::size_t length) {
    std::size_t offset = 0;
    for (; offset + 32 <= length; offset += 32) {
        std::uint32_t l[4], r[4];
        for (int j = 0; j < 4; ++j) {
            l[j] = LoadBigEndian32(in + offset + 8 * j);
            r[j] = LoadBigEndian32(in + offset + 8 * j + 4);
        }
        Rounds<4, backwards>(p, s, l, r);
        for (int j = 0; j < 4; ++j) {
            StoreBigEndian32(out + offset + 8 * j, l[j]);
            StoreBigEndian32(out + offset + 8 * j + 4, r[j]);
        }
    }
    for (; offset < length; offset += 8) {
        std::uint32_t l = LoadBigEndian32(in + offset), r = LoadBigEndian32(in + offset + 4);
        Rounds<1, backwards>(p, s, &l, &r);
        StoreBigEndian32(out + offset, l);
        StoreBigEndian32(out + offset + 4, r);
    }
}

}  // namespace

CBlowfishCipher::~CBlowfishCipher() {
    Wipe(expandedKey, sizeof expandedKey);
    Wipe(initialVector, sizeof initialVector);
    Wipe(chain, sizeof chain);
    Wipe(p, sizeof p);
    Wipe(s, sizeof s);
}

void CBlowfishCipher::SetKey(const std::uint8_t* key, int length,
                             const std::uint32_t initialVector[2], int mode, int padding) {
    if (key == nullptr) throw CCryptError("FileCrypt ERROR: No Key DataSpecified!");
    if (length < 1) throw CCryptError("FileCrypt ERROR: Key Data Length should be > 0!");
    if (mode < ECB || mode > CFB) throw CCryptError("FileCrypt ERROR: Illegal Operation Mode!");
    if (padding < ZEROES || padding > PKCS7)
        throw CCryptError("FileCrypt ERROR: Illegal Padding Mode!");

    this->mode = mode;
    this->padding = padding;
    this->initialVector[0] = initialVector[0];
    this->initialVector[1] = initialVector[1];
    ResetChain();

    std::uint8_t expanded[kKeyLength];
    for (int i = 0; i < kKeyLength; ++i) expanded[i] = key[i % length];
    const bool unchanged = initialized && std::memcmp(expanded, expandedKey, kKeyLength) == 0;
    if (!unchanged) std::memcpy(expandedKey, expanded, kKeyLength);
    Wipe(expanded, sizeof expanded);
    if (unchanged) return;

    Schedule();
    initialized = true;
}

// The standard key schedule with the 56 expanded key bytes.
void CBlowfishCipher::Schedule() {
    std::memcpy(p, kInitialP, sizeof p);
    std::memcpy(s[0], kInitialS0, sizeof s[0]);
    std::memcpy(s[1], kInitialS1, sizeof s[1]);
    std::memcpy(s[2], kInitialS2, sizeof s[2]);
    std::memcpy(s[3], kInitialS3, sizeof s[3]);

    int k = 0;
    for (std::uint32_t& word : p) {
        std::uint32_t keyWord = 0;
        for (int b = 0; b < 4; ++b, k = (k + 1) % kKeyLength)
            keyWord = keyWord << 8 | expandedKey[k];
        word ^= keyWord;
    }

    std::uint32_t left = 0, right = 0;
    for (int i = 0; i < 18; i += 2) {
        EncryptBlock(left, right);
        p[i] = left;
        p[i + 1] = right;
    }
    for (auto& box : s) {
        for (int i = 0; i < 256; i += 2) {
            EncryptBlock(left, right);
            box[i] = left;
            box[i + 1] = right;
        }
    }
}

void CBlowfishCipher::EncryptBlock(std::uint32_t& left, std::uint32_t& right) const {
    Rounds<1, false>(p, s, &left, &right);
}

void CBlowfishCipher::DecryptBlock(std::uint32_t& left, std::uint32_t& right) const {
    Rounds<1, true>(p, s, &left, &right);
}

void CBlowfishCipher::EncryptEcb(const std::uint8_t* in, std::uint8_t* out,
                                 std::size_t length) const {
    EcbBuffer<false>(p, s, in, out, length);
}

void CBlowfishCipher::DecryptEcb(const std::uint8_t* in, std::uint8_t* out,
                                 std::size_t length) const {
    EcbBuffer<true>(p, s, in, out, length);
}

void CBlowfishCipher::KeyDigest(std::uint8_t digest[kKeyCheckSize]) {
    CheckInitialized();
    char modes[24];
    std::snprintf(modes, sizeof modes, "%d%d", mode, padding);
    std::uint8_t text[8 + kKeyLength + sizeof modes + 1];
    std::memcpy(text, "BLOWFISH", 8);
    std::memcpy(text + 8, expandedKey, kKeyLength);
    std::memcpy(text + 8 + kKeyLength, modes, std::strlen(modes) + 1);
    // The digest covers the text up to its first zero byte.
    const auto length = std::strlen(reinterpret_cast<const char*>(text));
    CSHA sha;
    sha.AddData(text, static_cast<long long>(length));
    sha.FinalDigest(digest);
    Wipe(text, sizeof text);
}

void CBlowfishCipher::Encrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t length) {
    CheckInitialized();
    CheckLength(length);
    if (mode == ECB)
        EncryptEcb(in, out, length);
    else
        Chained(in, out, length, true);
}

void CBlowfishCipher::Decrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t length) {
    CheckInitialized();
    CheckLength(length);
    if (mode == ECB)
        DecryptEcb(in, out, length);
    else
        Chained(in, out, length, false);
}

// CBC: each plain block is combined with the previous ciphertext block before enciphering.
// CFB: the previous ciphertext block is enciphered and combined with the data.
void CBlowfishCipher::Chained(const std::uint8_t* in, std::uint8_t* out, std::size_t length,
                              bool encrypt) {
    for (std::size_t offset = 0; offset < length; offset += kBlockSize) {
        const std::uint32_t inLeft = LoadBigEndian32(in + offset);
        const std::uint32_t inRight = LoadBigEndian32(in + offset + 4);
        std::uint32_t left = inLeft, right = inRight;
        if (mode == CBC && encrypt) {
            left ^= chain[0];
            right ^= chain[1];
            EncryptBlock(left, right);
        } else if (mode == CBC) {
            DecryptBlock(left, right);
            left ^= chain[0];
            right ^= chain[1];
        } else {
            std::uint32_t streamLeft = chain[0], streamRight = chain[1];
            EncryptBlock(streamLeft, streamRight);
            left ^= streamLeft;
            right ^= streamRight;
        }
        chain[0] = encrypt ? left : inLeft;
        chain[1] = encrypt ? right : inRight;
        StoreBigEndian32(out + offset, left);
        StoreBigEndian32(out + offset + 4, right);
    }
}

void CBlowfishCipher::ResetChain() {
    chain[0] = initialVector[0];
    chain[1] = initialVector[1];
}

}  // namespace filecrypt
