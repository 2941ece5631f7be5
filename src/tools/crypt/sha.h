#pragma once

#include <cstddef>
#include <cstdint>

namespace filecrypt {

// SHA-256 message digest; gives the key check at the head of every encrypted file.
class CSHA {
  public:
    static constexpr int kDigestSize = 32;

    CSHA();
    // Clears the state: what it digested may be key material.
    ~CSHA();
    CSHA(const CSHA&) = delete;
    CSHA& operator=(const CSHA&) = delete;

    // Adds length bytes (length > 0).
    void AddData(const std::uint8_t* data, long long length);
    // Writes the 32-byte digest and starts over.
    void FinalDigest(std::uint8_t digest[kDigestSize]);

  private:
    void Reset();
    void ProcessBlock(const std::uint8_t* block);

    std::uint32_t state[8];
    std::uint32_t bitCountLow = 0;
    std::uint32_t bitCountHigh = 0;
    std::uint8_t blockBuffer[64];
    bool dataAdded = false;
};

}  // namespace filecrypt
