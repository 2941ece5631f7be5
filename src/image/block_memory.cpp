#include "image/block_memory.h"

#include <sys/mman.h>

#include <cstdlib>

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
    // A large calloc comes fresh from the kernel: zero, and untouched until used, so a file that
    // announces a big picture and holds little costs no memory. The hint must come before the
    // first touch.
    auto* block = static_cast<uint8_t*>(std::calloc(size, 1));
    AdviseHugePages(block, size);
    return block;
}
