// Changing the shape of the tree around the cursor. After every call each
// item's block count equals its number of blocks, no item is left empty, and
// the cached sizes of the edited block and its ancestors are exact.
#include <algorithm>

#include "session/session_core.h"

namespace kestron4 {
namespace {

constexpr uint32_t kMaxBlocks = 65535;
constexpr int64_t kItemEntry = 4;
constexpr int64_t kEmptyBlock = 4 + 2;

}  // namespace

// Refused (false): a TID that is not an item TID, a count that would take the
// item past 65535 blocks, or a block nested deeper than kMaxDepth. A count of
// 0 (refused by the C interface, used by the older-file conversion) creates
// the item without blocks so that it keeps its place in the item order.
bool SessionCore::InsertItemBlocks(Tid tid, uint16_t count) {
  TreeEdited();
  if (current_ == nullptr || !IsItemID(tid)) return false;
  if (DepthOf(current_) + 1 > kMaxDepth) return false;
  Item* item = FindItem(current_, tid);
  if (item != nullptr && uint32_t{item->blockCount} + count > kMaxBlocks) return false;
  int64_t delta = kEmptyBlock * count;
  if (item == nullptr) {
    item = AppendItem(current_, tid, 0);
    delta += kItemEntry;
  }
  item->blocks.reserve(item->blocks.size() + count);
  for (uint16_t i = 0; i < count; ++i) AppendBlock(item);
  item->blockCount = static_cast<uint16_t>(item->blockCount + count);
  AdjustSizes(current_, delta);
  return true;
}

ErrorCode SessionCore::DeleteItem(Tid tid, int32_t index) {
  TreeEdited();
  if (current_ == nullptr) return ErrTypeNotFound;
  Item* item = FindItem(current_, tid);
  if (item == nullptr || item->blockCount == 0 || item->blocks.empty()) return ErrTypeNotFound;
  std::vector<ItemBlock*>& blocks = item->blocks;
  const uint64_t wanted = static_cast<uint64_t>(static_cast<int64_t>(index));
  const std::size_t at = wanted < blocks.size() ? wanted : blocks.size() - 1;
  ItemBlock* victim = blocks[at];
  int64_t delta = -static_cast<int64_t>(EncodedSize(*victim));
  ItemBlock* const holder = current_;
  blocks.erase(blocks.begin() + static_cast<std::ptrdiff_t>(at));
  --item->blockCount;
  DestroyBlock(victim);
  if (item->blockCount == 0) {
    RemoveItem(holder, item);
    delta -= kItemEntry;
  }
  AdjustSizes(holder, delta);
  current_ = holder;
  return ErrNone;
}

ErrorCode SessionCore::DeleteCurrentItem() {
  TreeEdited();
  ItemBlock* x = current_;
  if (x == nullptr || x->parent == nullptr) return ErrTypeNotFound;
  const Tid t = x->parent->tid;
  ItemBlock* p = x->parent->parent;
  const int64_t i = PositionOf(x);
  current_ = p;
  const ErrorCode code = DeleteItem(t, static_cast<int32_t>(i));
  if (code != ErrNone) {
    current_ = x;
    return code;
  }
  const Item* item = FindItem(p, t);
  if (item != nullptr && !item->blocks.empty()) {
    current_ = static_cast<uint64_t>(i) < item->blocks.size() ? item->blocks[i]
                                                              : item->blocks.back();
  }
  return ErrNone;
}

ErrorCode SessionCore::DeleteItemBlocks(Tid tid) {
  TreeEdited();
  if (current_ == nullptr) return ErrTypeNotFound;
  Item* item = FindItem(current_, tid);
  if (item == nullptr) return ErrTypeNotFound;
  ItemBlock* const holder = current_;
  int64_t delta = -kItemEntry;
  for (ItemBlock* block : item->blocks) delta -= static_cast<int64_t>(EncodedSize(*block));
  std::vector<ItemBlock*> victims;
  victims.swap(item->blocks);
  RemoveItem(holder, item);
  for (ItemBlock* block : victims) DestroyBlock(block);
  AdjustSizes(holder, delta);
  current_ = holder;
  return ErrNone;
}

ErrorCode SessionCore::MoveCurrentItem(uint16_t newIndex) {
  TreeEdited();
  ItemBlock* x = current_;
  if (x == nullptr || x->parent == nullptr) return ErrTypeNotFound;
  std::vector<ItemBlock*>& blocks = x->parent->blocks;
  if (newIndex >= x->parent->blockCount || newIndex >= blocks.size()) return ErrBadCount;
  const int64_t i = PositionOf(x);
  if (i < 0) return ErrTypeNotFound;
  const auto from = blocks.begin() + i;
  const auto to = blocks.begin() + newIndex;
  if (to < from) {
    std::rotate(to, from, from + 1);
  } else if (from < to) {
    std::rotate(from, from + 1, to + 1);
  }
  return ErrNone;
}

bool SessionCore::ChangeTID(Tid newTid) {
  TreeEdited();
  ItemBlock* x = current_;
  if (x == nullptr || x->parent == nullptr) return false;
  Item* old = x->parent;
  if (old->tid == newTid) return true;
  // Only an item TID can name an item; a value TID would corrupt the file.
  if (!IsItemID(newTid)) return false;
  ItemBlock* p = old->parent;
  Item* target = FindItem(p, newTid);
  if (target != nullptr && target->blockCount >= kMaxBlocks) return false;
  int64_t delta = 0;
  if (target == nullptr) {
    target = AppendItem(p, newTid, 0);
    delta += kItemEntry;
  }
  const int64_t i = PositionOf(x);
  old->blocks.erase(old->blocks.begin() + i);
  --old->blockCount;
  x->parent = target;
  x->positionHint = static_cast<uint32_t>(target->blocks.size());
  target->blocks.push_back(x);
  ++target->blockCount;
  if (old->blockCount == 0) {
    RemoveItem(p, old);
    delta -= kItemEntry;
  }
  AdjustSizes(p, delta);
  return true;
}

}  // namespace kestron4
