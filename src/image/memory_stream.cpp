#include "image/memory_stream.h"

#include "image/block_memory.h"

#include <cstdlib>
#include <cstring>
#include <limits>

CMemoryStream::CMemoryStream(uint8_t* buffer, size_t size)
    : buffer(buffer),
      size(buffer ? size : 0),
      ownsBuffer(buffer == nullptr),
      capacity(buffer ? size : 0) {}

CMemoryStream::~CMemoryStream() {
    Close();
}

bool CMemoryStream::Open() {
    if (buffer) return false;
    buffer = static_cast<uint8_t*>(std::malloc(1));
    if (!buffer) return false;
    size = position = capacity = 0;
    ownsBuffer = true;
    return true;
}

bool CMemoryStream::Close() {
    if (!buffer) return false;
    if (ownsBuffer) std::free(buffer);
    buffer = nullptr;
    size = position = capacity = 0;
    return true;
}

size_t CMemoryStream::Read(void* out, size_t itemSize, size_t count) {
    if (!buffer || !out || itemSize == 0 || count == 0 || position >= size) return 0;
    const size_t available = size - position;
    const size_t wanted = count <= available / itemSize ? itemSize * count : available;
    std::memcpy(out, buffer + position, wanted);
    position += wanted;
    return wanted / itemSize;
}

// Grows the capacity in whole blocks so that it covers `needed` bytes. Bytes between the old
// logical end and a position sought beyond it are zeroed, so nothing undefined is ever read.
bool CMemoryStream::Reserve(size_t needed) {
    constexpr size_t kLargeStep = size_t{8} << 20;
    if (needed > capacity) {
        if (!ownsBuffer) return false;  // a borrowed buffer is never reallocated
        const size_t blocks = (needed - capacity + kBlockSize - 1) / kBlockSize;
        if (blocks > (std::numeric_limits<size_t>::max() - capacity) / kBlockSize) return false;
        const size_t grown = capacity + blocks * kBlockSize;
        auto* moved = static_cast<uint8_t*>(std::realloc(buffer, grown));
        if (!moved) return false;
        // One large step (a whole picture written at once) is worth huge pages; many small
        // steps are not.
        if (blocks * kBlockSize >= kLargeStep) AdviseHugePages(moved, grown);
        buffer = moved;
        capacity = grown;
    }
    if (position > size) std::memset(buffer + size, 0, position - size);
    return true;
}

size_t CMemoryStream::Write(const void* in, size_t itemSize, size_t count) {
    if (!buffer || !in || itemSize == 0 || count == 0) return 0;
    if (count > std::numeric_limits<size_t>::max() / itemSize) return 0;
    const size_t length = itemSize * count;
    if (length > std::numeric_limits<size_t>::max() - position) return 0;
    if (!Reserve(position + length)) return 0;
    std::memcpy(buffer + position, in, length);
    position += length;
    if (position > size) size = position;
    return count;
}

bool CMemoryStream::Seek(int64_t offset, int origin) {
    if (!buffer) return false;
    int64_t base = 0;
    if (origin == SEEK_CUR)
        base = static_cast<int64_t>(position);
    else if (origin == SEEK_END)
        base = static_cast<int64_t>(size);
    else if (origin != SEEK_SET)
        return false;
    if (offset > std::numeric_limits<int64_t>::max() - base) return false;
    const int64_t target = base + offset;
    if (target < 0) return false;
    position = static_cast<size_t>(target);
    return true;
}

int64_t CMemoryStream::Tell() {
    return buffer ? static_cast<int64_t>(position) : -1;
}

int64_t CMemoryStream::Size() {
    return buffer ? static_cast<int64_t>(size) : -1;
}

bool CMemoryStream::Flush() {
    return buffer != nullptr;
}

bool CMemoryStream::Eof() {
    return position >= size;
}

int CMemoryStream::Error() {
    return position > size ? 1 : 0;
}

bool CMemoryStream::PutC(uint8_t c) {
    return Write(&c, 1, 1) == 1;
}

int CMemoryStream::GetC() {
    if (!buffer || position >= size) return -1;
    return buffer[position++];
}

uint8_t* CMemoryStream::GetBuffer() {
    ownsBuffer = false;
    return buffer;
}
