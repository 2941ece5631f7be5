#include "app/settings_record.h"

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>
#include <unistd.h>

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
    std::FILE* file = std::fopen(path.c_str(), "r+b");
    if (!file) return false;
    std::uint8_t bytes[SettingsRecord::kSize];
    const std::size_t count = std::fread(bytes, 1, sizeof bytes, file);
    std::fclose(file);
    record.OverlayBytes(bytes, count);
    return true;
}

bool WriteSettings(const std::string& path, const SettingsRecord& record) {
    const std::string temporary = path + ".new";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) return false;
    const auto bytes = record.ToBytes();
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    written = std::fflush(file) == 0 && written;
    written = fsync(fileno(file)) == 0 && written;
    written = std::fclose(file) == 0 && written;
    if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
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
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (!file) return false;
    const bool written = std::fprintf(file, "%s\n", server.c_str()) >= 0;
    return std::fclose(file) == 0 && written;
}
