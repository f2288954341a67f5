// Copies of a few bytes, the size known only at run time: most values are 1
// to 8 bytes, and a call into the C library's memcpy costs more than the copy.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kestron4 {

inline void CopyBytes(void* destination, const void* source, std::size_t n) {
  auto* d = static_cast<uint8_t*>(destination);
  const auto* s = static_cast<const uint8_t*>(source);
  // Two fixed-size copies that overlap in the middle cover every n of a class.
  if (n > 16) {
    std::memcpy(d, s, n);
  } else if (n >= 8) {
    uint64_t head, tail;
    std::memcpy(&head, s, 8);
    std::memcpy(&tail, s + n - 8, 8);
    std::memcpy(d, &head, 8);
    std::memcpy(d + n - 8, &tail, 8);
  } else if (n >= 4) {
    uint32_t head, tail;
    std::memcpy(&head, s, 4);
    std::memcpy(&tail, s + n - 4, 4);
    std::memcpy(d, &head, 4);
    std::memcpy(d + n - 4, &tail, 4);
  } else if (n >= 2) {
    uint16_t head, tail;
    std::memcpy(&head, s, 2);
    std::memcpy(&tail, s + n - 2, 2);
    std::memcpy(d, &head, 2);
    std::memcpy(d + n - 2, &tail, 2);
  } else if (n == 1) {
    d[0] = s[0];
  }
}

}  // namespace kestron4
