#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// An abstract byte stream: the image formats read and write through it.
// Seek origins are SEEK_SET, SEEK_CUR and SEEK_END.
class CByteStream {
  public:
    virtual ~CByteStream() = default;
    virtual bool Close() = 0;
    // Returns the number of whole items of `size` bytes read.
    virtual size_t Read(void* buffer, size_t size, size_t count) = 0;
    // Returns the number of whole items written.
    virtual size_t Write(const void* buffer, size_t size, size_t count) = 0;
    virtual bool Seek(int64_t offset, int origin) = 0;
    // Position, or -1 when nothing is attached.
    virtual int64_t Tell() = 0;
    // Length, or -1 when nothing is attached.
    virtual int64_t Size() = 0;
    virtual bool Flush() = 0;
    virtual bool Eof() = 0;
    // Non-zero after an error.
    virtual int Error() = 0;
    // Writes one byte through Write unless a stream knows better.
    virtual bool PutC(uint8_t c);
    // The byte read, or -1 at the end.
    virtual int GetC() = 0;
};
