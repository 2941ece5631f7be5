#include "tools/crypt/block_cipher.h"

#include "tools/crypt/crypt_error.h"
#include "tools/crypt/double_buffering.h"

#include "platform/replacing_file.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

namespace filecrypt {

namespace {

namespace fs = std::filesystem;

constexpr int kReaderBufferSize = 1024;
// Chunks are transformed and written in batches of this many.
constexpr int kChunksPerBatch = 170;
constexpr std::size_t kStreamBufferSize = 1 << 16;

[[noreturn]] void Fail(const std::string& what, const std::string& path) {
    throw CCryptError("FileCrypt ERROR: " + what + path + "!");
}

// Refuses an output that is the input itself, by name or through another name (a link).
void CheckDistinct(const std::string& inputPath, const std::string& outputPath) {
    std::error_code error;
    if (inputPath == outputPath || fs::equivalent(inputPath, outputPath, error))
        Fail("The same File for Input and Output ", inputPath);
}

void OpenInput(std::ifstream& input, std::vector<char>& streamBuffer, const std::string& path) {
    std::error_code error;
    if (!fs::is_directory(path, error)) {
        streamBuffer.resize(kStreamBufferSize);
        input.rdbuf()->pubsetbuf(streamBuffer.data(),
                                 static_cast<std::streamsize>(streamBuffer.size()));
        input.open(path, std::ios::binary);
    }
    if (!input.is_open()) Fail("Cannot open File ", path);
}

// The output of one operation: written under a new name in the output's folder and renamed over
// the output name only once the last block is on the disk, with the input's permission bits (a
// decrypted private file stays private). On any failure whatever had the output name stays as it
// was, and a link of that name is replaced, never written through.
class COutputFile {
  public:
    COutputFile(const std::string& path, const std::string& inputPath) : path(path) {
        struct stat info {};
        permissions = stat(inputPath.c_str(), &info) == 0 ? info.st_mode & 0777 : 0600;
        std::error_code error;
        if (fs::is_directory(path, error) || !file.Open(path)) Fail("Cannot open File ", path);
        std::setvbuf(file.file(), nullptr, _IOFBF, kStreamBufferSize);
    }

    void Write(const std::uint8_t* data, std::size_t length) {
        if (std::fwrite(data, 1, length, file.file()) != length) Fail("Cannot write File ", path);
    }

    void Commit() {
        if (!file.Commit(permissions)) Fail("Cannot write File ", path);
    }

  private:
    std::string path;
    platform::CReplacingFile file;
    mode_t permissions;
};

// Reads the input in chunks and writes them encrypted (short last chunk padded) or decrypted.
void TransformChunks(CBlockCipher& cipher, std::ifstream& input, const std::string& inputPath,
                     COutputFile& output, bool encrypt) {
    constexpr int chunk = CBlockCipher::kChunkSize;
    std::uint8_t window[kReaderBufferSize];
    CDoubleBuffering reader(input, window, kReaderBufferSize, chunk);
    std::vector<std::uint8_t> batch(kChunksPerBatch * chunk);
    std::size_t filled = 0;
    // Chunks follow each other in one buffer, so one call transforms many of them.
    auto flush = [&] {
        if (filled == 0) return;
        if (encrypt)
            cipher.Encrypt(batch.data(), batch.data(), filled);
        else
            cipher.Decrypt(batch.data(), batch.data(), filled);
        output.Write(batch.data(), filled);
        filled = 0;
    };
    for (;;) {
        const int got = reader.GetData(batch.data() + filled);
        if (got == 0) break;
        const auto length = static_cast<std::size_t>(got);
        filled += encrypt && got < chunk ? cipher.Pad(batch.data() + filled, length) : length;
        if (filled + chunk > batch.size()) flush();
    }
    flush();
    if (input.bad()) Fail("Cannot read File ", inputPath);
}

}  // namespace

std::size_t CBlockCipher::Pad(std::uint8_t* buffer, std::size_t length) const {
    const std::size_t size = static_cast<std::size_t>(GetBlockSize());
    const std::size_t added = (size - length % size) % size;
    const std::uint8_t fill = padding == BLANKS  ? 0x20
                              : padding == PKCS7 ? static_cast<std::uint8_t>(added)
                                                 : 0;
    std::memset(buffer + length, fill, added);
    return length + added;
}

int CBlockCipher::GetBlockSize() const {
    CheckInitialized();
    return blockSize;
}

int CBlockCipher::GetKeyLength() const {
    CheckInitialized();
    return keyLength;
}

int CBlockCipher::GetMode() const {
    CheckInitialized();
    return mode;
}

int CBlockCipher::GetPadding() const {
    CheckInitialized();
    return padding;
}

void CBlockCipher::CheckInitialized() const {
    if (!initialized)
        throw CCryptError("FileCrypt ERROR: Encryption/Decryption Object not Initialized!");
}

void CBlockCipher::CheckLength(std::size_t length) const {
    if (length == 0 || length % static_cast<std::size_t>(blockSize) != 0)
        throw CCryptError("Illegal Block Size!");
}

void CBlockCipher::EncryptFile(const std::string& inputPath, const std::string& outputPath) {
    CheckInitialized();
    CheckDistinct(inputPath, outputPath);
    std::ifstream input;
    std::vector<char> streamBuffer;
    OpenInput(input, streamBuffer, inputPath);
    COutputFile output(outputPath, inputPath);

    std::uint8_t keyCheck[kKeyCheckSize];
    KeyDigest(keyCheck);
    output.Write(keyCheck, kKeyCheckSize);
    ResetChain();
    TransformChunks(*this, input, inputPath, output, true);
    output.Commit();
}

void CBlockCipher::DecryptFile(const std::string& inputPath, const std::string& outputPath) {
    CheckInitialized();
    CheckDistinct(inputPath, outputPath);
    std::ifstream input;
    std::vector<char> streamBuffer;
    OpenInput(input, streamBuffer, inputPath);

    // The password is checked before the output is touched.
    std::uint8_t expected[kKeyCheckSize], stored[kKeyCheckSize];
    KeyDigest(expected);
    input.read(reinterpret_cast<char*>(stored), kKeyCheckSize);
    if (input.gcount() != kKeyCheckSize || std::memcmp(expected, stored, kKeyCheckSize) != 0)
        throw CCryptError("FileCrypt ERROR: File " + inputPath + " cannot be Correctly Decrypted!");
    std::error_code error;
    const auto size = fs::file_size(inputPath, error);
    if (!error && size % static_cast<std::uintmax_t>(blockSize) != 0)
        throw CCryptError("Illegal Block Size!");

    COutputFile output(outputPath, inputPath);
    ResetChain();
    TransformChunks(*this, input, inputPath, output, false);
    output.Commit();
}

}  // namespace filecrypt
