// Large blocks of new memory, for the arenas a load fills from start to end.
// Where the system can, a block is backed by its large pages: on a machine
// where the first touch of a page costs several times a copy of it, a load
// that writes megabytes of new memory then takes one page fault per large
// page instead of one per small page. Only the part of a block that lies on
// whole large pages gets them, so a block never holds more memory than its
// size rounded up to small pages.
#pragma once

#include <cstddef>

namespace kestron4 {

// The size of a large page where the system has them; below it a block
// gains nothing over the C library's memory.
inline constexpr std::size_t kLargePageBytes = std::size_t{2} << 20;

// Where a large block starts: on a large page where the system backs
// blocks with them, else on the system's unit of allocation.
extern const std::size_t kLargeBlockAlignment;

// bytes (> 0) of new memory reading as zeros, aligned to
// kLargeBlockAlignment; null when there is none.
void* AllocateLargeBlock(std::size_t bytes);
// Releases a block of AllocateLargeBlock with the size it was asked for.
void FreeLargeBlock(void* block, std::size_t bytes);

}  // namespace kestron4
