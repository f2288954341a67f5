// Counts the heap allocations a program makes while counting is switched
// on. The program's own malloc family takes the place of the C library's and
// forwards to it; operator new calls malloc, so C++ allocations are counted
// too. Define these once per program: include this header from one source
// file only.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void __libc_free(void* pointer);
}

namespace kestron4::bench {

inline std::atomic<bool> allocCounting{false};
inline std::atomic<uint64_t> allocCount{0};

// Allocations counted between construction and Stop().
class AllocationCount {
 public:
  AllocationCount() : start_(allocCount.load()) { allocCounting.store(true); }
  uint64_t Stop() {
    allocCounting.store(false);
    return allocCount.load() - start_;
  }

 private:
  uint64_t start_;
};

inline void CountAllocation() {
  if (allocCounting.load(std::memory_order_relaxed))
    allocCount.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace kestron4::bench

extern "C" {
void* malloc(std::size_t size) {
  kestron4::bench::CountAllocation();
  return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) {
  kestron4::bench::CountAllocation();
  return __libc_calloc(count, size);
}
void* realloc(void* pointer, std::size_t size) {
  kestron4::bench::CountAllocation();
  return __libc_realloc(pointer, size);
}
void free(void* pointer) { __libc_free(pointer); }
}
