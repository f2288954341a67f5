#include "session/session_core.h"

#include <algorithm>
#include <utility>

#include "session/edit/target_finder.h"
#include "session/packed_values.h"

namespace kestron4 {

SessionCore::SessionCore() { root_ = current_ = NewRootBlock(); }

SessionCore::~SessionCore() {
  bookmarksInUse_ = 0;  // nothing to empty: the whole table goes
  DestroyBlock(root_);
}

void SessionCore::TreeEdited() {
  referenceFinder_.reset();
  referenceAsked_ = false;
}

ItemBlock* SessionCore::NewRootBlock() { return blockPool_.New(); }

void SessionCore::ResetTree() {
  TreeEdited();
  DestroyBlock(root_);
  items_.ForgetAll();
  for (Decoded& slot : decoded_) slot.block = nullptr;
  reader_.ForgetAll();
  arena_.Clear();
  root_ = current_ = NewRootBlock();
}

Item* SessionCore::AppendItem(ItemBlock* block, Tid tid, uint16_t blockCount, Item* last) {
  Item* item = itemPool_.New();
  item->parent = block;
  item->tid = tid;
  item->blockCount = blockCount;
  if (last == nullptr && block->firstItem != nullptr) {
    last = block->firstItem;
    while (last->next != nullptr) last = last->next;
  }
  if (last != nullptr) {
    last->next = item;
  } else {
    block->firstItem = item;
  }
  ++block->itemCount;
  items_.Added(block, item);
  return item;
}

ItemBlock* SessionCore::AppendBlock(Item* item) {
  ItemBlock* block = blockPool_.New();
  block->parent = item;
  block->positionHint = static_cast<uint32_t>(item->blocks.size());
  // A loaded item announced its blocks (and the loader checked the input
  // can hold them): its list is sized once.
  if (item->blocks.empty()) item->blocks.reserve(item->blockCount);
  item->blocks.push_back(block);
  return block;
}

Value* SessionCore::AppendValue(ItemBlock* block, Tid tid) {
  bool existed = false;
  Value** link = &block->firstValue;
  while (*link != nullptr) link = &(*link)->next;
  return LinkNewValue(block, tid, link, &existed);
}

Value* SessionCore::FindOrAppendValue(ItemBlock* block, Tid tid, bool* existed) {
  Value** link = &block->firstValue;
  for (; *link != nullptr; link = &(*link)->next) {
    if ((*link)->tid == tid) {
      *existed = true;
      return *link;
    }
  }
  return LinkNewValue(block, tid, link, existed);
}

Value* SessionCore::LinkNewValue(ItemBlock* block, Tid tid, Value** link, bool* existed) {
  Value* value = valuePool_.New();
  value->tid = tid;
  *link = value;
  ++block->valueCount;
  *existed = false;
  return value;
}

Value* SessionCore::Decode(const ItemBlock* block) {
  Decoded& recent = decoded_[recentSlot_];
  if (recent.block == block) return recent.values.data();
  for (std::size_t i = 0; i < kDecodedSlots; ++i) {
    if (decoded_[i].block == block) {
      recentSlot_ = i;
      return decoded_[i].values.data();
    }
  }
  // The block read last keeps its slot: a caller may still hold its values.
  if (nextSlot_ == recentSlot_) nextSlot_ = (nextSlot_ + 1) % kDecodedSlots;
  recentSlot_ = nextSlot_;
  nextSlot_ = (nextSlot_ + 1) % kDecodedSlots;
  Decoded& slot = decoded_[recentSlot_];
  slot.values.resize(block->valueCount);
  slot.tids.resize(block->valueCount);
  slot.hint = 0;
  slot.unique = true;
  uint64_t seen[4] = {};  // TIDs seen, by their low 8 bits
  packed::Cursor cursor(block->packed, block->packedBytes);
  std::size_t n = 0;
  for (packed::Entry e; n < slot.values.size() && cursor.Next(&e); ++n) {
    Value& value = slot.values[n];
    packed::ToValue(e, &value);
    value.next = &value + 1;
    slot.tids[n] = e.tid;
    uint64_t& word = seen[(e.tid >> 6) & 3];
    const uint64_t bit = uint64_t{1} << (e.tid & 63);
    if ((word & bit) != 0 && slot.unique)
      slot.unique = std::find(slot.tids.begin(), slot.tids.begin() + n, e.tid) ==
                    slot.tids.begin() + n;
    word |= bit;
  }
  slot.values.resize(n);
  slot.tids.resize(n);
  if (n != 0) slot.values[n - 1].next = nullptr;
  slot.block = block;
  return n != 0 ? slot.values.data() : nullptr;
}

void SessionCore::ForgetDecoded(const ItemBlock* block) {
  for (Decoded& slot : decoded_)
    if (slot.block == block) slot.block = nullptr;
  reader_.Forget(block);
}

void SessionCore::Parse(ItemBlock* block) {
  if (block == nullptr || !block->IsPacked()) return;
  ForgetDecoded(block);
  packed::Cursor cursor(block->packed, block->packedBytes);
  Value* first = nullptr;
  Value** link = &first;
  uint32_t count = 0;
  for (packed::Entry e; cursor.Next(&e); ++count) {
    Value* value = valuePool_.New();
    packed::ToValue(e, value);
    *link = value;
    link = &value->next;
  }
  block->packedBytes = 0;
  block->firstValue = first;
  block->valueCount = count;
}

Value* SessionCore::FindDecoded(const ItemBlock* block, Tid tid) {
  Decode(block);
  return decoded_[recentSlot_].Find(tid);
}

// Readers ask for the values in list order, each once or twice: the one
// found last or the one after it. The next one is the first of its TID only
// when no TID repeats.
Value* SessionCore::Decoded::Find(Tid tid) {
  if (Value* near = FindNear(tid)) return near;
  const std::size_t n = tids.size();
  for (std::size_t i = 0; i < n; ++i) {
    if (tids[i] == tid) {
      hint = i;
      return &values[i];
    }
  }
  return nullptr;
}

int64_t SessionCore::PositionOf(ItemBlock* block) {
  Item* item = block->parent;
  if (item == nullptr) return -1;
  std::vector<ItemBlock*>& blocks = item->blocks;
  if (block->positionHint < blocks.size() && blocks[block->positionHint] == block)
    return block->positionHint;
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    if (blocks[i] == block) {
      block->positionHint = static_cast<uint32_t>(i);
      return static_cast<int64_t>(i);
    }
  }
  return -1;
}

uint32_t SessionCore::DepthOf(const ItemBlock* block) {
  uint32_t depth = 0;
  while (block->parent != nullptr) {
    block = block->parent->parent;
    ++depth;
  }
  return depth;
}

void SessionCore::AdjustSizes(ItemBlock* block, int64_t delta) {
  while (block != nullptr) {
    block->contentSize += static_cast<uint64_t>(delta);
    block = block->parent != nullptr ? block->parent->parent : nullptr;
  }
}

uint64_t SessionCore::ItemsContentSize(const ItemBlock* block) {
  uint64_t size = 0;
  for (const Item* item = block->firstItem; item != nullptr; item = item->next) {
    size += 4;
    for (const ItemBlock* child : item->blocks) size += EncodedSize(*child);
  }
  return size;
}

uint64_t SessionCore::ComputeContentSize(const ItemBlock* block) {
  const uint64_t size = 2 + ItemsContentSize(block);
  if (block->IsPacked()) return size + packed::EncodedValueBytes(block->packed, block->packedBytes);
  uint64_t values = 0;
  for (const Value* value = block->firstValue; value != nullptr; value = value->next)
    values += EncodedSize(*value);
  return size + values;
}

void SessionCore::RecomputeSizes(ItemBlock* top) {
  // Post-order over an explicit stack: a block is recomputed once all its
  // children are.
  struct Frame {
    ItemBlock* block;
    Item* item;
    std::size_t next;
  };
  std::vector<Frame> stack;
  stack.push_back({top, top->firstItem, 0});
  while (!stack.empty()) {
    Frame& f = stack.back();
    while (f.item != nullptr && f.next >= f.item->blocks.size()) {
      f.item = f.item->next;
      f.next = 0;
    }
    if (f.item == nullptr) {
      f.block->contentSize = ComputeContentSize(f.block);
      stack.pop_back();
      continue;
    }
    ItemBlock* child = f.item->blocks[f.next++];
    stack.push_back({child, child->firstItem, 0});
  }
}

void SessionCore::DestroyBlock(ItemBlock* top) {
  if (top == nullptr) return;
  // Empty every bookmark that points into the subtree.
  if (bookmarksInUse_ != 0) {
    for (auto& [number, block] : bookmarks_) {
      if (block == nullptr) continue;
      for (const ItemBlock* b = block; b != nullptr;
           b = b->parent != nullptr ? b->parent->parent : nullptr) {
        if (b == top) {
          block = nullptr;
          --bookmarksInUse_;
          break;
        }
      }
    }
  }
  std::vector<ItemBlock*> pending{top};
  while (!pending.empty()) {
    ItemBlock* block = pending.back();
    pending.pop_back();
    if (block->IsPacked()) {
      ForgetDecoded(block);  // its bytes stay in the arena until it goes
    } else {
      for (Value* value = block->firstValue; value != nullptr;) {
        Value* next = value->next;
        DestroyValue(value);
        value = next;
      }
    }
    for (Item* item = block->firstItem; item != nullptr;) {
      Item* next = item->next;
      pending.insert(pending.end(), item->blocks.begin(), item->blocks.end());
      itemPool_.Delete(item);
      item = next;
    }
    if (current_ == block) current_ = nullptr;
    items_.Forget(block);
    blockPool_.Delete(block);
  }
}

void SessionCore::DestroyValue(Value* value) {
  if (value->home == ValueHome::kMemory && value->size > Value::kInline)
    FreeValueBytes(value->heap);
  if (value->home == ValueHome::kFileRef) delete value->fileRef;
  valuePool_.Delete(value);
}

void SessionCore::RemoveItem(ItemBlock* block, Item* item) {
  Item* prev = nullptr;
  for (Item* i = block->firstItem; i != nullptr; prev = i, i = i->next) {
    if (i != item) continue;
    if (prev != nullptr) {
      prev->next = i->next;
    } else {
      block->firstItem = i->next;
    }
    --block->itemCount;
    items_.Removed(block, i);
    itemPool_.Delete(i);
    return;
  }
}

}  // namespace kestron4
