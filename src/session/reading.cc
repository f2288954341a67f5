// Reading the values of the current item block.
#include <cstring>

#include "session/session_core.h"

namespace kestron4 {

uint16_t SessionCore::GetValueCount() {
  return current_ == nullptr ? 0 : static_cast<uint16_t>(current_->valueCount);
}

void SessionCore::GetValueList(uint16_t* tids) {
  if (current_ == nullptr) return;
  for (const Value* v = Values(current_); v != nullptr; v = v->next) *tids++ = v->tid;
}

ErrorCode SessionCore::GetValSize(Tid tid, uint32_t* size) {
  if (current_ == nullptr) return ErrInvalidSession;
  const Value* value = FindValue(current_, tid);
  if (value == nullptr) return ErrValueNotFound;
  uint32_t length = 0;
  if (!PayloadLength(current_, *value, &length)) {
    return tid == kTidData ? ErrDataSize : ErrFileAccess;
  }
  *size = length;
  return ErrNone;
}

ErrorCode SessionCore::GetValue(Tid tid, void* destination) {
  if (current_ == nullptr) return ErrInvalidSession;
  const Value* value = FindValue(current_, tid);
  if (value == nullptr) return ErrValueNotFound;
  uint64_t offset = 0;
  uint64_t count = value->size;
  const uint8_t layout = tid_layout::Lookup(tid).layout;
  if (layout == tid_layout::kShort || layout == tid_layout::kLong) {
    uint32_t length = 0;
    if (!PayloadLength(current_, *value, &length)) return ErrFileAccess;
    offset = layout == tid_layout::kShort ? 1 : 2;
    // A length prefix that claims more than is stored copies nothing.
    if (value->size < offset || offset + length > value->size) return ErrNone;
    count = length;
  } else if (tid == kTidData) {
    // Never copy more than the size value announced: that is what the caller
    // sized the destination by.
    uint32_t length = 0;
    if (PayloadLength(current_, *value, &length) && length < count) count = length;
  }
  return ReadBytes(*value, offset, destination, count) ? ErrNone : ErrFileAccess;
}

ErrorCode SessionCore::GetValuePtr(Tid tid, const void** pointer) {
  if (current_ == nullptr) return ErrInvalidSession;
  const Value* value = FindValue(current_, tid);
  if (value == nullptr) return ErrValueNotFound;
  *pointer = PeekBytes(*value);
  return ErrNone;
}

// A handle must stay valid while the block is read and edited: it is a
// record of the block's own, never a decoded copy.
Value* SessionCore::GetValueHandle(Tid tid) {
  if (FindValue(current_, tid) == nullptr) return nullptr;
  Parse(current_);
  return FindValue(current_, tid);
}

bool SessionCore::ReadValue(Value* value, uint32_t offset, void* destination, uint32_t count) {
  if (value == nullptr) return false;
  if (uint64_t{offset} + count > value->size) return false;
  return ReadBytes(*value, offset, destination, count);
}

}  // namespace kestron4
