// Large blocks on POSIX systems: anonymous mappings, placed on a large-page
// boundary and marked for transparent large pages where the system has them
// (Linux); elsewhere the advice is left out or refused, and the block is
// plain memory.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

#include "storage/platform/large_block.h"

namespace kestron4 {
namespace {

std::size_t PageRounded(std::size_t bytes) {
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  return (bytes + page - 1) / page * page;
}

}  // namespace

const std::size_t kLargeBlockAlignment = kLargePageBytes;

void* AllocateLargeBlock(std::size_t bytes) {
  if (bytes == 0 || bytes > SIZE_MAX - 2 * kLargePageBytes) return nullptr;
  const std::size_t length = PageRounded(bytes);
  // One large page more than needed, so that the block can start on a
  // boundary; what lies outside it is given back at once.
  const std::size_t reserved = length + kLargePageBytes;
  void* mapped = mmap(nullptr, reserved, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) return nullptr;
  const auto base = reinterpret_cast<std::uintptr_t>(mapped);
  const std::uintptr_t start = (base + kLargePageBytes - 1) & ~(std::uintptr_t{kLargePageBytes} - 1);
  if (start != base) munmap(mapped, start - base);
  const std::size_t tail = reserved - (start - base) - length;
  if (tail != 0) munmap(reinterpret_cast<void*>(start + length), tail);
  void* block = reinterpret_cast<void*>(start);
#ifdef MADV_HUGEPAGE
  // Advice only: a system without large pages to spare keeps small ones.
  madvise(block, length, MADV_HUGEPAGE);
#endif
  return block;
}

void FreeLargeBlock(void* block, std::size_t bytes) {
  if (block != nullptr) munmap(block, PageRounded(bytes));
}

}  // namespace kestron4
