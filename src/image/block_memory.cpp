#include "image/block_memory.h"

#include <sys/mman.h>

#include <cstdlib>
#include <cstring>

namespace {
constexpr size_t kHugePage = size_t{2} << 20;
}

void AdviseHugePages(void* block, size_t size) {
    if (!block || size < 2 * kHugePage) return;
    const auto start = reinterpret_cast<uintptr_t>(block);
    const uintptr_t first = (start + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t end = (start + size) & ~(kHugePage - 1);
    if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
}

uint8_t* AllocateZeroedBlock(size_t size) {
    if (size < 2 * kHugePage) return static_cast<uint8_t*>(std::calloc(size, 1));
    const size_t rounded = (size + kHugePage - 1) & ~(kHugePage - 1);
    void* block = std::aligned_alloc(kHugePage, rounded);
    if (!block) return nullptr;
    AdviseHugePages(block, rounded);
    std::memset(block, 0, size);
    return static_cast<uint8_t*>(block);
}
