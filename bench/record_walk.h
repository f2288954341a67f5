// The physical reference of an open: one read() of the whole container into
// freshly allocated memory, then the cheapest parse that still visits every
// block record: each block's size field and each entry's TID, value bytes
// skipped by their size. A container is its blocks in depth-first order,
// each followed by its children, so the walk is one flat loop with no tree,
// no copy and no check beyond staying inside the buffer.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "kestron4/kestron4.h"

namespace kestron4::bench {

// How the stored size of a value entry follows from its TID, for all 65,536
// TIDs, taken from the library's public predicates before anything is timed.
class EntrySizes {
 public:
  static constexpr uint8_t kItem = 0xFF;   // item entry: 2 more bytes (its count)
  static constexpr uint8_t kShort = 0xFE;  // 1 + the length byte
  static constexpr uint8_t kLong = 0xFD;   // 2 + the 16-bit length
  static constexpr uint8_t kData = 0xFC;   // the block's latest 1066

  EntrySizes() : size_(65536, kItem) {
    for (uint32_t tid = 1; tid < 65536; ++tid) {
      const auto t = static_cast<uint16_t>(tid);
      if (!KSTRN_IsValueID(t)) continue;
      size_[tid] = KSTRN_IsVariableSize(t)       ? kShort
                   : KSTRN_IsLongVariableSize(t) ? kLong
                   : t == 1063                   ? kData
                                                 : static_cast<uint8_t>(KSTRN_ValSize(t, 0));
    }
  }
  uint8_t operator[](uint16_t tid) const { return size_[tid]; }

 private:
  std::vector<uint8_t> size_;
};

struct WalkCount {
  uint64_t blocks = 0;
  uint64_t values = 0;
  bool ok = false;  // the walk ended exactly at the end of the buffer
};

inline WalkCount WalkRecords(const uint8_t* p, const uint8_t* end, const EntrySizes& sizes) {
  constexpr std::size_t kHeader = 19;
  const auto u16 = [](const uint8_t* q) { return static_cast<uint16_t>(q[0] | (q[1] << 8)); };
  WalkCount count;
  if (end - p < static_cast<std::ptrdiff_t>(kHeader)) return count;
  p += kHeader;
  while (end - p >= 6) {
    p += 4;  // the block's size field
    ++count.blocks;
    uint32_t dataSize = 0;
    for (;;) {
      if (end - p < 2) return count;
      const uint16_t tid = u16(p);
      p += 2;
      if (tid == 0) break;
      const uint8_t kind = sizes[tid];
      uint64_t skip = kind;
      if (kind == EntrySizes::kItem) {
        skip = 2;
      } else {
        ++count.values;
        if (kind == EntrySizes::kShort) {
          skip = end - p >= 1 ? 1 + uint64_t{p[0]} : 1;
        } else if (kind == EntrySizes::kLong) {
          skip = end - p >= 2 ? 2 + uint64_t{u16(p)} : 2;
        } else if (kind == EntrySizes::kData) {
          skip = dataSize;
        } else if (tid == 1066 && end - p >= 4) {
          dataSize = static_cast<uint32_t>(u16(p) | (u16(p + 2) << 16));
        }
      }
      if (skip > static_cast<uint64_t>(end - p)) return count;
      p += skip;
    }
  }
  count.ok = p == end;
  return count;
}

// Reads the file with one read() into new memory and walks it; false when
// the file cannot be read whole or does not walk to its end.
inline bool ReadAndWalk(const char* path, uint64_t size, const EntrySizes& sizes,
                        WalkCount* count) {
  const int fd = open(path, O_RDONLY);
  if (fd < 0) return false;
  auto* memory = static_cast<uint8_t*>(std::malloc(size != 0 ? size : 1));
  const bool read_whole =
      memory != nullptr && read(fd, memory, size) == static_cast<ssize_t>(size);
  close(fd);
  if (read_whole) *count = WalkRecords(memory, memory + size, sizes);
  std::free(memory);
  return read_whole && count->ok;
}

}  // namespace kestron4::bench
