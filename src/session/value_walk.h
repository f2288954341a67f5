// Walks over every value of a session tree.
#pragma once

#include <vector>

#include "session/records.h"

namespace kestron4 {

// Calls visit(Value&) for each value under top: a block's values, then the
// blocks of its items in order, depth first, so that values come in the
// order a saved file holds them. Iterative: depth does not matter. visit
// must not add or remove records.
template <class Visit>
void ForEachValue(ItemBlock* top, Visit&& visit) {
  std::vector<ItemBlock*> pending{top};
  std::vector<ItemBlock*> children;
  while (!pending.empty()) {
    ItemBlock* block = pending.back();
    pending.pop_back();
    for (Value* value = block->firstValue; value != nullptr; value = value->next) visit(*value);
    children.clear();
    for (Item* item = block->firstItem; item != nullptr; item = item->next)
      children.insert(children.end(), item->blocks.begin(), item->blocks.end());
    pending.insert(pending.end(), children.rbegin(), children.rend());
  }
}

}  // namespace kestron4
