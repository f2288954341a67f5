// Depth-first walk over a subtree without recursion: a block, then the blocks
// of each of its items in order. The reference walks run over whole sessions,
// whose depth a stored file decides, so they keep their path on the heap.
#pragma once

#include <cstddef>
#include <vector>

#include "session/records.h"

namespace kestron4 {

// Calls enter(block) for every block below and including top in that order,
// and leave(block) once everything below block has been entered. enter
// returns false to end the walk at once (leave is then not called any more);
// WalkBlocks then returns false.
// REQUIRES: the callbacks change no item or block list of the subtree (values
// may change).
template <class Enter, class Leave>
bool WalkBlocks(ItemBlock* top, Enter&& enter, Leave&& leave) {
  struct Frame {
    ItemBlock* block;
    Item* item;
    std::size_t next;
  };
  if (!enter(top)) return false;
  std::vector<Frame> path;
  path.push_back({top, top->firstItem, 0});
  while (!path.empty()) {
    Frame& frame = path.back();
    while (frame.item != nullptr && frame.next >= frame.item->blocks.size()) {
      frame.item = frame.item->next;
      frame.next = 0;
    }
    if (frame.item == nullptr) {
      leave(frame.block);
      path.pop_back();
      continue;
    }
    ItemBlock* child = frame.item->blocks[frame.next++];
    if (!enter(child)) return false;
    path.push_back({child, child->firstItem, 0});
  }
  return true;
}

template <class Enter>
bool WalkBlocks(ItemBlock* top, Enter&& enter) {
  return WalkBlocks(top, enter, [](ItemBlock*) {});
}

}  // namespace kestron4
