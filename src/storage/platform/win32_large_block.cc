// Large blocks on Windows: committed virtual memory, which reads as zeros.
// Large pages there need a privilege that applications seldom hold, so the
// block keeps the small pages.
#include <windows.h>

#include "storage/platform/large_block.h"

namespace kestron4 {

// VirtualAlloc places a reservation on the allocation granularity.
const std::size_t kLargeBlockAlignment = std::size_t{64} << 10;

void* AllocateLargeBlock(std::size_t bytes) {
  if (bytes == 0) return nullptr;
  return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void FreeLargeBlock(void* block, std::size_t) {
  if (block != nullptr) VirtualFree(block, 0, MEM_RELEASE);
}

}  // namespace kestron4
