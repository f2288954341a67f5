// Containers whose root block holds many entries, which mutation of small
// inputs never reaches: a block of 65,536 entries takes at least 131 KB.
// The loader fuzz targets build one from a short recipe, and the loader's
// tests build their hostile files with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "format/container_format.h"
#include "session/tid.h"

namespace kestron4::fuzz {

// Item TIDs: 1-999 and 14000-65535.
inline constexpr uint32_t kItemTidCount = 999 + (65535 - 14000 + 1);
inline constexpr uint32_t kValueTidCount = 13999 - 1000 + 1;

inline Tid ItemTidAt(uint32_t index) {
  index %= kItemTidCount;
  return static_cast<Tid>(index < 999 ? index + 1 : 14000 + (index - 999));
}
inline Tid ValueTidAt(uint32_t index) { return static_cast<Tid>(1000 + index % kValueTidCount); }

struct LargeBlock {
  bool items = true;   // item entries without blocks, else values of zeros
  uint32_t count = 0;  // entries
  uint32_t first = 0;  // index of the first TID in its kind's range
  uint32_t step = 1;   // between the indexes of neighbouring entries
};

// The container: header, root size field, the entries, then `tail` (more
// entries, the end marker, child blocks); an empty tail ends the root.
inline std::vector<uint8_t> LargeBlockContainer(const LargeBlock& b, const uint8_t* tail = nullptr,
                                                std::size_t tailSize = 0) {
  std::vector<uint8_t> out(container::kHeader, container::kHeader + container::kHeaderSize);
  out.resize(container::kRootBodyOffset);  // the size field: the reader does not trust it
  auto u16 = [&out](uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
  };
  for (uint32_t i = 0; i < b.count; ++i) {
    const uint32_t index = b.first + i * b.step;
    if (b.items) {
      u16(ItemTidAt(index));
      u16(0);
      continue;
    }
    const Tid tid = ValueTidAt(index);
    u16(tid);
    const tid_layout::Entry layout = tid_layout::Lookup(tid);
    // Zero payloads: an empty string, a zero number, a blob of 0 bytes.
    const std::size_t bytes = layout.layout == tid_layout::kFixed  ? layout.fixedSize
                              : layout.layout == tid_layout::kShort ? 1
                              : layout.layout == tid_layout::kLong  ? 2
                                                                    : 0;
    out.resize(out.size() + bytes, 0);
  }
  if (tailSize == 0) {
    u16(0);
  } else {
    out.insert(out.end(), tail, tail + tailSize);
  }
  return out;
}

}  // namespace kestron4::fuzz
