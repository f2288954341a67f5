// Checks of the arguments that block methods share.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <string>

#include "kestron4/kestron4.h"

namespace kestron4::binding {

inline constexpr uint16_t kTidDataSize = 1066;
inline constexpr uint32_t kMaxBlocks = 65535;

// Resolves a Python index (negative from the end) against count; raises
// IndexError outside.
inline uint32_t CheckIndex(int64_t index, uint32_t count, uint16_t tid) {
  const int64_t resolved = index < 0 ? index + count : index;
  if (resolved < 0 || resolved >= count) {
    throw pybind11::index_error("item " + std::to_string(tid) + " has " + std::to_string(count) +
                                " blocks, no index " + std::to_string(index));
  }
  return static_cast<uint32_t>(resolved);
}

inline void RequireItemTid(uint16_t tid) {
  if (tid == 0 || KSTRN_IsValueID(tid)) {
    throw pybind11::value_error(std::to_string(tid) + " is not an item TID");
  }
}

}  // namespace kestron4::binding
