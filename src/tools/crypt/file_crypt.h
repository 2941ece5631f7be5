#pragma once

#include "tools/crypt/blowfish_cipher.h"

#include <functional>
#include <memory>
#include <string>
#include <utility>

namespace filecrypt {

// Encrypts a file with a password into a new file, or decrypts such a file back.
class FileCrypt {
  public:
    enum CipherKind { kBlowfish = 1 };

    FileCrypt() = default;
    // Clears the password; the cipher clears its key and schedule.
    ~FileCrypt();
    FileCrypt(const FileCrypt&) = delete;
    FileCrypt& operator=(const FileCrypt&) = delete;

    void SetPassword(const std::string& text);
    void SetDecrypt(bool value) { decrypt = value; }
    // Called with true before the work starts and with false when it ends (wait cursor).
    void SetBusyHandler(std::function<void(bool busy)> handler) {
        busyHandler = std::move(handler);
    }

    // Runs the operation and tells the user the outcome in a message box; true on success.
    bool ProcessFile(const std::string& inputPath, const std::string& outputPath,
                     CipherKind kind = kBlowfish);
    // The same work without the message box: returns the success text, throws CCryptError.
    std::string Run(const std::string& inputPath, const std::string& outputPath,
                    CipherKind kind = kBlowfish);

  private:
    std::string password;
    bool decrypt = false;
    std::unique_ptr<CBlowfishCipher> cipher;
    std::function<void(bool)> busyHandler;
};

// Where the result of processing inputPath goes: its name with the prefix "E_" (encrypt)
// or "D_" (decrypt), in the same folder.
std::string OutputPathFor(const std::string& inputPath, bool decrypt);

}  // namespace filecrypt
