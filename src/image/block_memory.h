#pragma once

// Allocation of the large pixel blocks. Touching a fresh 72 MB block page by page costs more than
// filling it, so large blocks ask the kernel for huge pages.

#include <cstddef>
#include <cstdint>

// A zero-filled block, freed with std::free; null when memory is short. Large blocks are
// backed by huge pages where the system allows it.
uint8_t* AllocateZeroedBlock(size_t size);

// Asks for huge pages behind the whole 2 MiB pages of a block of `size` bytes (a hint only).
void AdviseHugePages(void* block, size_t size);
