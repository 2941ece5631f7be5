#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// The program's options as stored in "quillet.ini": 616 bytes, little-endian 32-bit integers
// and NUL-terminated texts in fixed byte arrays, no padding, no header.
struct SettingsRecord {
    static constexpr int kSize = 616;
    using Bytes = std::array<std::uint8_t, kSize>;

    std::int32_t generateThumbnails = 1;
    char fileExtension[9] = ".bmp";
    char thumbnailPercent[11] = "";
    std::int32_t captureToClipboard = 0;
    std::int32_t autoSave = 0;
    std::int32_t thumbHeight = 60;
    std::int32_t thumbWidth = 80;
    std::int32_t keepAspect = 1;
    std::int32_t jpegQuality = 1;
    char defaultSaveDir[520] = "";
    char filePrefix[32] = "IMG";
    std::int32_t startingNumber = 0;
    std::int32_t sessionNumber = 0;
    std::int32_t expertMode = 0;
    std::int32_t reserved = 0;

    Bytes ToBytes() const;
    // Replaces the fields covered by the first `count` bytes of `data`; the rest stay as they are.
    void OverlayBytes(const std::uint8_t* data, std::size_t count);
};

// What the Properties dialog offers, and so all the record may hold.
inline constexpr const char* kThumbnailPercents[] = {"N/A", "1%",  "5%",  "10%",
                                                     "20%", "30%", "40%", "50%"};
inline constexpr const char* kFileExtensions[] = {".bmp", ".jpg",  ".jpeg", ".png", ".ico",
                                                  ".tif", ".tiff", ".pcx",  ".gif"};
inline constexpr int kMaxThumbSide = 1024;

// Puts back the default of every field holding a value the Properties dialog could not have
// stored (a switch other than 0 or 1, a size outside 1 to kMaxThumbSide, an unknown extension or
// percentage, a prefix with a '/' or a control character or that is not UTF-8, a negative
// session number); the other fields stay. Returns the names of the fields put back.
std::vector<std::string> RepairSettings(SettingsRecord& record);

// Copies `text` into a fixed text field, cut to leave room for the terminator; the rest is zeroed.
template <std::size_t N>
void SetTextField(char (&field)[N], const std::string& text) {
    const std::size_t length = text.size() < N - 1 ? text.size() : N - 1;
    for (std::size_t i = 0; i < N; ++i) field[i] = i < length ? text[i] : '\0';
}

// Reads the record from the settings file over the values already in `record`.
// Returns whether the file exists, even when it cannot be read or written.
bool ReadSettings(const std::string& path, SettingsRecord& record);

// Writes the record as one 616-byte block. The bytes go to a temporary file in the same folder
// that then replaces the settings file, so the file is never left half written; its permission
// bits stay. A file that exists but could not be written in place is left alone (false).
bool WriteSettings(const std::string& path, const SettingsRecord& record);

// The session number of the next start: one more, wrapping to 0 past the largest number.
int NextSessionNumber(int sessionNumber);

// Numbers typed into the option fields: leading blanks skipped, an optional sign, then the digits
// up to the first non-digit; text without digits gives 0.
int ParseTypedNumber(const std::string& text);

// The mail settings file holds the SMTP server: its first whitespace-delimited word (at most 127
// characters). Empty when the file is missing.
std::string ReadMailServer(const std::string& path);
// Rewrites the file as "server\n" under the same rules as WriteSettings.
bool WriteMailServer(const std::string& path, const std::string& server);
