#include "app/settings_record.h"

#include "platform/replacing_file.h"

#include <sys/stat.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>

namespace {

// Writes and reads the record field by field in file order.
class RecordCursor {
  public:
    explicit RecordCursor(std::uint8_t* bytes) : bytes_(bytes) {}

    void Put(std::int32_t value) {
        const auto bits = static_cast<std::uint32_t>(value);
        for (int i = 0; i < 4; ++i)
            bytes_[offset_ + i] = static_cast<std::uint8_t>(bits >> (8 * i));
        offset_ += 4;
    }
    template <std::size_t N>
    void Put(const char (&text)[N]) {
        std::memcpy(bytes_ + offset_, text, N);
        offset_ += N;
    }
    void Get(std::int32_t& value) {
        std::uint32_t bits = 0;
        for (int i = 0; i < 4; ++i) bits |= std::uint32_t(bytes_[offset_ + i]) << (8 * i);
        value = static_cast<std::int32_t>(bits);
        offset_ += 4;
    }
    template <std::size_t N>
    void Get(char (&text)[N]) {
        std::memcpy(text, bytes_ + offset_, N);
        offset_ += N;
    }
    std::size_t offset() const { return offset_; }

  private:
    std::uint8_t* bytes_;
    std::size_t offset_ = 0;
};

// Visits the fields in their file order with a cursor's Put or Get.
template <typename Record, typename Visit>
void VisitFields(Record& r, Visit&& visit) {
    visit(r.generateThumbnails);
    visit(r.fileExtension);
    visit(r.thumbnailPercent);
    visit(r.captureToClipboard);
    visit(r.autoSave);
    visit(r.thumbHeight);
    visit(r.thumbWidth);
    visit(r.keepAspect);
    visit(r.jpegQuality);
    visit(r.defaultSaveDir);
    visit(r.filePrefix);
    visit(r.startingNumber);
    visit(r.sessionNumber);
    visit(r.expertMode);
    visit(r.reserved);
}

}  // namespace

SettingsRecord::Bytes SettingsRecord::ToBytes() const {
    Bytes bytes{};
    RecordCursor cursor(bytes.data());
    VisitFields(*this, [&](const auto& field) { cursor.Put(field); });
    return bytes;
}

void SettingsRecord::OverlayBytes(const std::uint8_t* data, std::size_t count) {
    Bytes bytes = ToBytes();
    std::memcpy(bytes.data(), data, count < bytes.size() ? count : bytes.size());
    RecordCursor cursor(bytes.data());
    VisitFields(*this, [&](auto& field) { cursor.Get(field); });
    // Texts read from a file may lack their terminator; keep every field a valid string.
    fileExtension[sizeof fileExtension - 1] = '\0';
    thumbnailPercent[sizeof thumbnailPercent - 1] = '\0';
    defaultSaveDir[sizeof defaultSaveDir - 1] = '\0';
    filePrefix[sizeof filePrefix - 1] = '\0';
}

bool ReadSettings(const std::string& path, SettingsRecord& record) {
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) return false;
    // A file that exists counts even when it cannot be written, or read: it is never taken
    // for a missing one and replaced by defaults.
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return true;
    std::uint8_t bytes[SettingsRecord::kSize];
    const std::size_t count = std::fread(bytes, 1, sizeof bytes, file);
    std::fclose(file);
    record.OverlayBytes(bytes, count);
    return true;
}

namespace {

// Replaces the file at `path` with `bytes`, keeping its permission bits; refuses a file that
// exists but could not have been written in place.
bool ReplaceSettingsFile(const std::string& path, const void* bytes, std::size_t size) {
    if (platform::ExistsButIsNotWritable(path)) return false;
    platform::CReplacingFile file;
    if (!file.Open(path)) return false;
    if (std::fwrite(bytes, 1, size, file.file()) != size) return false;
    return file.Commit(platform::ReplacementPermissions(path));
}

}  // namespace

bool WriteSettings(const std::string& path, const SettingsRecord& record) {
    const auto bytes = record.ToBytes();
    return ReplaceSettingsFile(path, bytes.data(), bytes.size());
}

namespace {

bool IsSwitch(std::int32_t value) {
    return value == 0 || value == 1;
}

template <std::size_t N, std::size_t M>
bool IsOneOf(const char (&field)[N], const char* const (&texts)[M]) {
    for (const char* text : texts)
        if (std::strcmp(field, text) == 0) return true;
    return false;
}

// Printable UTF-8 without a folder separator.
bool IsFileNamePart(const char* text) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    for (std::size_t i = 0; bytes[i] != 0;) {
        const unsigned char lead = bytes[i];
        if (lead < 0x20 || lead == 0x7F || lead == '/') return false;
        const int extra = lead < 0x80                   ? 0
                          : lead >= 0xC2 && lead < 0xE0 ? 1
                          : lead >= 0xE0 && lead < 0xF0 ? 2
                          : lead >= 0xF0 && lead < 0xF5 ? 3
                                                        : -1;
        if (extra < 0) return false;
        for (int k = 1; k <= extra; ++k)
            if ((bytes[i + k] & 0xC0) != 0x80) return false;
        i += 1 + extra;
    }
    return true;
}

}  // namespace

std::vector<std::string> RepairSettings(SettingsRecord& record) {
    const SettingsRecord defaults;
    std::vector<std::string> repaired;
    auto check = [&](bool valid, const char* name, auto& field, const auto& fallback) {
        if (valid) return;
        std::memcpy(&field, &fallback, sizeof field);
        repaired.emplace_back(name);
    };
    check(IsSwitch(record.generateThumbnails), "thumbnails", record.generateThumbnails,
          defaults.generateThumbnails);
    check(IsOneOf(record.fileExtension, kFileExtensions), "file extension", record.fileExtension,
          defaults.fileExtension);
    check(
        record.thumbnailPercent[0] == '\0' || IsOneOf(record.thumbnailPercent, kThumbnailPercents),
        "thumbnail percentage", record.thumbnailPercent, defaults.thumbnailPercent);
    check(IsSwitch(record.captureToClipboard), "capture to clipboard", record.captureToClipboard,
          defaults.captureToClipboard);
    check(IsSwitch(record.autoSave), "auto save", record.autoSave, defaults.autoSave);
    check(record.thumbHeight >= 1 && record.thumbHeight <= kMaxThumbSide, "thumbnail height",
          record.thumbHeight, defaults.thumbHeight);
    check(record.thumbWidth >= 1 && record.thumbWidth <= kMaxThumbSide, "thumbnail width",
          record.thumbWidth, defaults.thumbWidth);
    check(IsSwitch(record.keepAspect), "keep aspect", record.keepAspect, defaults.keepAspect);
    check(IsFileNamePart(record.filePrefix), "file prefix", record.filePrefix, defaults.filePrefix);
    check(record.sessionNumber >= 0, "session number", record.sessionNumber,
          defaults.sessionNumber);
    check(IsSwitch(record.expertMode), "expert mode", record.expertMode, defaults.expertMode);
    return repaired;
}

int NextSessionNumber(int sessionNumber) {
    return sessionNumber == INT_MAX ? 0 : sessionNumber + 1;
}

int ParseTypedNumber(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT_MAX) value = INT_MAX + 1LL;  // saturate, the sign decides below
    }
    if (negative) value = -value;
    if (value > INT_MAX) value = INT_MAX;
    if (value < INT_MIN) value = INT_MIN;
    return static_cast<int>(value);
}

std::string ReadMailServer(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return {};
    char word[128] = "";
    if (std::fscanf(file, "%127s", word) != 1) word[0] = '\0';
    std::fclose(file);
    return word;
}

bool WriteMailServer(const std::string& path, const std::string& server) {
    const std::string line = server + "\n";
    return ReplaceSettingsFile(path, line.data(), line.size());
}
