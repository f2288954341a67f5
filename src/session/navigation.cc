// Moving the cursor and describing the tree around it.
#include <algorithm>

#include "session/session_core.h"

namespace kestron4 {
namespace {

// An index taken as signed and compared as unsigned: anything outside the
// list (negative included) selects the last block.
ItemBlock* BlockAtOrLast(const Item* item, int32_t index) {
  const std::vector<ItemBlock*>& blocks = item->blocks;
  if (blocks.empty()) return nullptr;
  const uint64_t i = static_cast<uint64_t>(static_cast<int64_t>(index));
  return i < blocks.size() ? blocks[i] : blocks.back();
}

}  // namespace

ErrorCode SessionCore::OpenItem(Tid tid, int32_t index) {
  if (current_ == nullptr) return ErrTypeNotFound;
  const Item* item = FindItem(current_, tid);
  if (item == nullptr) return ErrTypeNotFound;
  ItemBlock* target = BlockAtOrLast(item, index);
  if (target == nullptr) return ErrTypeNotFound;
  current_ = target;
  return ErrNone;
}

void SessionCore::CloseItem() {
  if (current_ == nullptr || current_->parent == nullptr) return;
  current_ = current_->parent->parent;
}

ErrorCode SessionCore::NextItem() {
  if (current_ == nullptr) return ErrInvalidSession;
  Item* parent = current_->parent;
  if (parent == nullptr) return ErrPastLastBlock;
  const int64_t i = PositionOf(current_);
  if (i + 1 >= parent->blockCount) return ErrPastLastBlock;
  const std::vector<ItemBlock*>& blocks = parent->blocks;
  current_ = static_cast<uint64_t>(i + 1) < blocks.size() ? blocks[i + 1] : blocks.back();
  return ErrNone;
}

ErrorCode SessionCore::PreviousItem() {
  if (current_ == nullptr) return ErrInvalidSession;
  Item* parent = current_->parent;
  if (parent == nullptr) return ErrBeforeFirstBlock;
  const int64_t i = PositionOf(current_);
  if (i == 0) return ErrBeforeFirstBlock;
  const std::vector<ItemBlock*>& blocks = parent->blocks;
  // Only an unlisted cursor (i == -1) lands outside the list: take the last.
  current_ = (i - 1 >= 0 && static_cast<uint64_t>(i - 1) < blocks.size()) ? blocks[i - 1]
                                                                           : blocks.back();
  return ErrNone;
}

// At the root, or without a cursor, there is no item to move in: the cursor
// stays and the call reports success.
ErrorCode SessionCore::GotoItem(int32_t index) {
  if (current_ == nullptr || current_->parent == nullptr) return ErrNone;
  ItemBlock* target = BlockAtOrLast(current_->parent, index);
  if (target != nullptr) current_ = target;
  return ErrNone;
}

uint16_t SessionCore::GetTypeCount() {
  return current_ == nullptr ? 0 : static_cast<uint16_t>(std::min<uint32_t>(current_->itemCount, 0xFFFF));
}

// As GetValueList: never more entries than GetTypeCount can report.
void SessionCore::GetTypeList(uint16_t* tids) {
  if (current_ == nullptr) return;
  const uint16_t* const last = tids + std::min<uint32_t>(current_->itemCount, 0xFFFF);
  for (const Item* item = current_->firstItem; item != nullptr && tids < last; item = item->next)
    *tids++ = item->tid;
}

uint16_t SessionCore::GetItemCount(Tid tid) {
  const Item* item = FindItem(current_, tid);
  return item == nullptr ? 0 : item->blockCount;
}

Tid SessionCore::GetCurrentTID() {
  return current_ == nullptr || current_->parent == nullptr ? 0 : current_->parent->tid;
}

Tid SessionCore::GetParentTID(uint32_t* index) {
  if (current_ == nullptr || current_->parent == nullptr) {
    *index = 0;
    return 0;
  }
  const int64_t i = PositionOf(current_);
  *index = i < 0 ? 0xFFFFFFFFu : static_cast<uint32_t>(i);
  return current_->parent->tid;
}

}  // namespace kestron4
