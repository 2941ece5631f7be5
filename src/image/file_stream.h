#pragma once

#include "image/byte_stream.h"

// A byte stream on a standard I/O file. A file handed to the constructor stays the caller's;
// a file opened with Open belongs to the stream and is closed with it.
class CFileStream : public CByteStream {
  public:
    explicit CFileStream(std::FILE* file = nullptr);
    ~CFileStream() override;
    CFileStream(const CFileStream&) = delete;
    CFileStream& operator=(const CFileStream&) = delete;

    // Fails when a file is already attached.
    bool Open(const char* path, const char* mode);
    bool Close() override;
    size_t Read(void* buffer, size_t size, size_t count) override;
    size_t Write(const void* buffer, size_t size, size_t count) override;
    bool Seek(int64_t offset, int origin) override;
    int64_t Tell() override;
    int64_t Size() override;
    bool Flush() override;
    bool Eof() override;
    int Error() override;
    bool PutC(uint8_t c) override;
    int GetC() override;

    std::FILE* GetFile() const { return file; }

  private:
    std::FILE* file = nullptr;
    bool ownsFile = false;
};
