#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace filecrypt {

// A block cipher that encrypts buffers and whole files in the encrypted file format:
// the 32-byte key check, then the ciphertext of the data in 8-byte blocks.
class CBlockCipher {
  public:
    enum Mode { ECB = 0, CBC = 1, CFB = 2 };
    enum Padding { ZEROES = 0, BLANKS = 1, PKCS7 = 2 };

    static constexpr int kKeyCheckSize = 32;
    // Files are read and encrypted in chunks of this many bytes.
    static constexpr int kChunkSize = 384;

    CBlockCipher(int blockSize, int keyLength) : blockSize(blockSize), keyLength(keyLength) {}
    virtual ~CBlockCipher() = default;
    CBlockCipher(const CBlockCipher&) = delete;
    CBlockCipher& operator=(const CBlockCipher&) = delete;

    // The key check of the current key, mode and padding.
    virtual void KeyDigest(std::uint8_t digest[kKeyCheckSize]) = 0;
    // length must be a positive multiple of the block size; in and out may be the same.
    virtual void Encrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t length) = 0;
    virtual void Decrypt(const std::uint8_t* in, std::uint8_t* out, std::size_t length) = 0;
    virtual void EncryptFile(const std::string& inputPath, const std::string& outputPath);
    virtual void DecryptFile(const std::string& inputPath, const std::string& outputPath);
    // Restarts chaining from the initial vector.
    virtual void ResetChain() = 0;

    // Fills buffer up to the next multiple of the block size; returns the new length.
    std::size_t Pad(std::uint8_t* buffer, std::size_t length) const;

    int GetBlockSize() const;
    int GetKeyLength() const;
    int GetMode() const;
    int GetPadding() const;

  protected:
    void CheckInitialized() const;
    void CheckLength(std::size_t length) const;

    bool initialized = false;
    int blockSize;
    int keyLength;
    int mode = ECB;
    int padding = ZEROES;
};

}  // namespace filecrypt
