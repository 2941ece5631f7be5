#include "tools/crypt/file_crypt.h"

#include "platform/message_box.h"
#include "platform/path_separator.h"
#include "tools/crypt/wipe.h"

#include <exception>
#include <filesystem>
#include <system_error>

namespace filecrypt {

namespace {

namespace fs = std::filesystem;

constexpr const char* kCaption = "Quillet";

// Encryption works on absolute paths trimmed of surrounding blanks, unless the blanks belong
// to the name of an existing input.
std::string AbsolutePath(const std::string& path, bool trim) {
    std::string trimmed = path;
    if (trim) {
        const auto first = path.find_first_not_of(" \t");
        const auto last = path.find_last_not_of(" \t");
        trimmed = first == std::string::npos ? std::string() : path.substr(first, last - first + 1);
    }
    if (trimmed.empty()) return trimmed;
    std::error_code error;
    const fs::path absolute = fs::absolute(trimmed, error);
    return error ? trimmed : absolute.lexically_normal().string();
}

// Keeps the busy state on for the lifetime of the object.
class CBusyScope {
  public:
    explicit CBusyScope(const std::function<void(bool)>& handler) : handler(handler) {
        if (handler) handler(true);
    }
    ~CBusyScope() {
        if (handler) handler(false);
    }

  private:
    const std::function<void(bool)>& handler;
};

}  // namespace

FileCrypt::~FileCrypt() {
    Wipe(password);
}

void FileCrypt::SetPassword(const std::string& text) {
    Wipe(password);
    password = text;
}

std::string FileCrypt::Run(const std::string& inputPath, const std::string& outputPath,
                           CipherKind /*kind: Blowfish is the only cipher*/) {
    if (!cipher) cipher = std::make_unique<CBlowfishCipher>();
    const std::uint32_t initialVector[2] = {0, 0};
    cipher->SetKey(reinterpret_cast<const std::uint8_t*>(password.data()),
                   static_cast<int>(password.size()), initialVector, CBlockCipher::ECB,
                   CBlockCipher::ZEROES);
    if (decrypt) {
        cipher->DecryptFile(inputPath, outputPath);
        return "FileCrypt: File " + inputPath + " Successfully Decrypted!";
    }
    std::error_code error;
    const bool trim = !fs::exists(inputPath, error);
    const std::string input = AbsolutePath(inputPath, trim);
    cipher->EncryptFile(input, AbsolutePath(outputPath, trim));
    return "FileCrypt: File " + input + " Successfully Encrypted!";
}

bool FileCrypt::ProcessFile(const std::string& inputPath, const std::string& outputPath,
                            CipherKind kind) {
    std::string message;
    bool succeeded = false;
    {
        CBusyScope busy(busyHandler);
        try {
            message = Run(inputPath, outputPath, kind);
            succeeded = true;
        } catch (const std::exception& error) {
            message = error.what();
        }
    }
    if (!succeeded) platform::Beep();
    platform::ShowMessage(message, kCaption, platform::MessageIcon::Information);
    return succeeded;
}

std::string OutputPathFor(const std::string& inputPath, bool decrypt) {
    const auto slash = inputPath.rfind(platform::kPathSeparator);
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    return inputPath.substr(0, nameStart) + (decrypt ? "D_" : "E_") + inputPath.substr(nameStart);
}

}  // namespace filecrypt
