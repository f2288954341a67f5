// The TIDs met so far in one block of a load, so that a block holding one
// TID twice is refused in constant time per entry. A block's value and item
// lists are counted in 16 bits by the interface (GetValueCount,
// GetTypeCount) and listed whole into a caller's buffer of that many
// entries: a block with a repeated TID or more entries than those counts
// can report would make the two disagree.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "session/tid.h"

namespace kestron4 {

class BlockTidSet {
 public:
  // Most entries one block may hold of each kind.
  static constexpr uint32_t kMostEntries = 0xFFFF;

  // Adds tid; false when the block already holds it. One load and one store:
  // the loader calls it for every entry it reads.
  bool Add(Tid tid) {
    if (marks_.empty()) marks_.assign(std::size_t{1} << 16, 0);
    uint16_t& mark = marks_[tid];
    if (mark == block_) return false;
    mark = block_;
    return true;
  }

  // Forgets every TID: the next block gets a mark of its own, and the table
  // is cleared only when the marks wrap.
  void Clear() {
    if (++block_ == 0) {
      std::fill(marks_.begin(), marks_.end(), 0);
      block_ = 1;
    }
  }

 private:
  std::vector<uint16_t> marks_;  // by TID: the mark of the last block that held it
  uint16_t block_ = 1;
};

}  // namespace kestron4
