#pragma once

// Byte helpers shared by the GIF, ICO, TGA, PCX, WBMP and metafile codecs: the rest of a stream
// in memory, a bounds-checked little-endian reader over it, and a little-endian writer.

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "image/byte_stream.h"

// Everything from the stream's position to its end.
inline std::vector<uint8_t> ReadRest(CByteStream& stream) {
    std::vector<uint8_t> bytes;
    const int64_t size = stream.Size(), at = stream.Tell();
    if (size > 0 && at >= 0 && size > at) bytes.reserve(static_cast<size_t>(size - at));
    uint8_t chunk[65536];
    size_t got;
    while ((got = stream.Read(chunk, 1, sizeof chunk)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    return bytes;
}

// Reads from a byte range; every read past the end gives zeros and sets `failed`.
class ByteReader {
  public:
    ByteReader(const uint8_t* data, size_t size) : data(data), size(size) {}
    explicit ByteReader(const std::vector<uint8_t>& bytes)
        : ByteReader(bytes.data(), bytes.size()) {}

    size_t Position() const { return position; }
    size_t Size() const { return size; }
    size_t Left() const { return size - position; }
    bool Failed() const { return failed; }
    bool AtEnd() const { return position >= size; }
    const uint8_t* Here() const { return data + position; }
    const uint8_t* Data() const { return data; }

    // Moves to an absolute position; false (and failed) beyond the end.
    bool Seek(size_t to) {
        if (to > size) return Fail();
        position = to;
        return true;
    }
    bool Skip(size_t count) {
        if (count > Left()) {
            position = size;
            return Fail();
        }
        position += count;
        return true;
    }
    uint8_t U8() {
        if (position >= size) return Fail(), 0;
        return data[position++];
    }
    uint16_t U16() {
        if (Left() < 2) return Skip(Left()), Fail(), 0;
        const uint16_t v = static_cast<uint16_t>(data[position] | (data[position + 1] << 8));
        position += 2;
        return v;
    }
    uint32_t U32() {
        const uint32_t lo = U16();
        return lo | (static_cast<uint32_t>(U16()) << 16);
    }
    int16_t S16() { return static_cast<int16_t>(U16()); }
    int32_t S32() { return static_cast<int32_t>(U32()); }
    // Copies `count` bytes; false (nothing copied) when fewer are left.
    bool Bytes(void* out, size_t count) {
        if (count > Left()) return Fail();
        if (count) std::memcpy(out, data + position, count);
        position += count;
        return true;
    }

  private:
    bool Fail() {
        failed = true;
        return false;
    }

    const uint8_t* data;
    size_t size;
    size_t position = 0;
    bool failed = false;
};

// Collects little-endian output in memory.
class ByteWriter {
  public:
    void U8(uint8_t v) { bytes.push_back(v); }
    void U16(uint16_t v) {
        bytes.push_back(static_cast<uint8_t>(v));
        bytes.push_back(static_cast<uint8_t>(v >> 8));
    }
    void U32(uint32_t v) {
        U16(static_cast<uint16_t>(v));
        U16(static_cast<uint16_t>(v >> 16));
    }
    void Bytes(const void* p, size_t n) {
        const auto* b = static_cast<const uint8_t*>(p);
        bytes.insert(bytes.end(), b, b + n);
    }
    void Text(std::string_view s) { Bytes(s.data(), s.size()); }
    // Writes everything collected; false on a short write.
    bool FlushTo(CByteStream& stream) {
        const bool ok = bytes.empty() || stream.Write(bytes.data(), bytes.size(), 1) == 1;
        bytes.clear();
        return ok;
    }

    std::vector<uint8_t> bytes;
};
