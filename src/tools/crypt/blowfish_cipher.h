#pragma once

#include "tools/crypt/block_cipher.h"

#include <cstdint>

namespace filecrypt {

// Blowfish, 16 rounds, keyed with the password repeated to 56 bytes.
class CBlowfishCipher : public CBlockCipher {
  public:
    static constexpr int kBlockSize = 8;
    static constexpr int kKeyLength = 56;

    CBlowfishCipher() : CBlockCipher(kBlockSize, kKeyLength) {}
    // Clears the key and its schedule.
    ~CBlowfishCipher() override;

    // Validates and installs the key; an unchanged key keeps the present schedule.
    void SetKey(const std::uint8_t* key, int length, const std::uint32_t initialVector[2], int mode,
                int padding);

    void KeyDigest(std::uint8_t digest[kKeyCheckSize]) override;
    void Encrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t length) override;
    void Decrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t length) override;
    void ResetChain() override;

    const std::uint8_t* ExpandedKey() const { return expandedKey; }

  private:
    void Schedule();
    void EncryptBlock(std::uint32_t& left, std::uint32_t& right) const;
    void DecryptBlock(std::uint32_t& left, std::uint32_t& right) const;
    void EncryptEcb(const std::uint8_t* in, std::uint8_t* out, std::size_t length) const;
    void DecryptEcb(const std::uint8_t* in, std::uint8_t* out, std::size_t length) const;
    void Chained(const std::uint8_t* in, std::uint8_t* out, std::size_t length, bool encrypt);

    std::uint8_t expandedKey[kKeyLength] = {};
    std::uint32_t initialVector[2] = {};
    std::uint32_t chain[2] = {};
    std::uint32_t p[18];
    std::uint32_t s[4][256];
};

}  // namespace filecrypt
