// Finding an item of a block by its TID without walking the block's list.
// A block may hold tens of thousands of items (one per item TID), and the
// item lookups run once per call of several operations and once per item in
// the walks of the reference index, so a scan per lookup is quadratic there.
//
// The index keeps a hash table for the wide blocks looked up last. Blocks
// hold no TID twice (the loader refuses such blocks and no edit makes one),
// so the table maps each TID to the block's only item of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>

#include "session/records.h"

namespace kestron4 {

class ItemIndex {
 public:
  // Below this many items a scan is as quick as a table.
  static constexpr uint32_t kIndexFrom = 32;

  // The first item of the TID in block; null if none (or no block).
  Item* Find(const ItemBlock* block, Tid tid) {
    if (block == nullptr) return nullptr;
    if (block->itemCount < kIndexFrom) return Scan(block, tid);
    Table& table = TableOf(block);
    const auto it = table.items.find(tid);
    return it != table.items.end() ? it->second : nullptr;
  }

  static Item* Scan(const ItemBlock* block, Tid tid) {
    for (Item* item = block->firstItem; item != nullptr; item = item->next)
      if (item->tid == tid) return item;
    return nullptr;
  }

  // To be told of every change of a block's item list.
  void Added(const ItemBlock* block, Item* item) {
    for (Table& table : tables_)
      if (table.block == block) table.items.emplace(item->tid, item);
  }
  void Removed(const ItemBlock* block, const Item* item) {
    for (Table& table : tables_) {
      if (table.block != block) continue;
      const auto it = table.items.find(item->tid);
      if (it != table.items.end() && it->second == item) table.items.erase(it);
    }
  }
  // The block is destroyed (its address may be handed out again).
  void Forget(const ItemBlock* block) {
    for (Table& table : tables_)
      if (table.block == block) table.block = nullptr;
  }
  void ForgetAll() {
    for (Table& table : tables_) table.block = nullptr;
  }

 private:
  struct Table {
    const ItemBlock* block = nullptr;
    std::unordered_map<Tid, Item*> items;
  };

  Table& TableOf(const ItemBlock* block) {
    for (std::size_t i = 0; i < kTables; ++i) {
      if (tables_[i].block == block) {
        recent_ = i;
        return tables_[i];
      }
    }
    // The table used last stays: lookups alternate between a block and its
    // parent (ChangeTID, the reference walks).
    recent_ = (recent_ + 1) % kTables;
    Table& table = tables_[recent_];
    table.items.clear();
    table.items.reserve(block->itemCount);
    for (Item* item = block->firstItem; item != nullptr; item = item->next)
      table.items.emplace(item->tid, item);
    table.block = block;
    return table;
  }

  static constexpr std::size_t kTables = 2;
  Table tables_[kTables];
  std::size_t recent_ = 0;
};

}  // namespace kestron4
