// The TIDs met so far in one block of a load, so that a block holding one
// TID twice is refused in constant time per entry. A block's value and item
// lists are counted in 16 bits by the interface (GetValueCount,
// GetTypeCount) and listed whole into a caller's buffer of that many
// entries: a block with a repeated TID or more entries than those counts
// can report would make the two disagree.
#pragma once

#include <cstdint>
#include <vector>

#include "session/tid.h"

namespace kestron4 {

class BlockTidSet {
 public:
  // Most entries one block may hold of each kind.
  static constexpr uint32_t kMostEntries = 0xFFFF;

  // Adds tid; false when the block already holds it.
  bool Add(Tid tid) {
    if (bits_.empty()) bits_.assign(kWords, 0);
    uint64_t& word = bits_[tid >> 6];
    const uint64_t bit = uint64_t{1} << (tid & 63);
    if ((word & bit) != 0) return false;
    word |= bit;
    members_.push_back(tid);
    return true;
  }

  // Forgets every TID, in time proportional to their number (a load ends
  // one block for every few entries, so the whole table is never cleared).
  void Clear() {
    for (const Tid tid : members_) bits_[tid >> 6] = 0;
    members_.clear();
  }

 private:
  static constexpr std::size_t kWords = (1u << 16) / 64;
  std::vector<uint64_t> bits_;
  std::vector<Tid> members_;
};

}  // namespace kestron4
