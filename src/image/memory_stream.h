#pragma once

#include "image/byte_stream.h"

// A byte stream on a heap buffer that grows in whole 4096-byte blocks.
// Constructed on a caller's buffer it reads and writes that buffer without owning it and never
// writes past its end (the caller's memory is not ours to reallocate); constructed without one
// it owns the buffer it allocates.
class CMemoryStream : public CByteStream {
  public:
    static constexpr size_t kBlockSize = 4096;

    explicit CMemoryStream(uint8_t* buffer = nullptr, size_t size = 0);
    ~CMemoryStream() override;
    CMemoryStream(const CMemoryStream&) = delete;
    CMemoryStream& operator=(const CMemoryStream&) = delete;

    // Fails when a buffer is attached; otherwise starts an empty owned buffer.
    bool Open();
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

    // The buffer; the stream gives up its ownership (the caller frees it with std::free).
    uint8_t* GetBuffer();
    size_t GetCapacity() const { return capacity; }

  private:
    bool Reserve(size_t needed);

    uint8_t* buffer = nullptr;
    size_t size = 0;
    size_t position = 0;
    bool ownsBuffer = false;
    size_t capacity = 0;
};
