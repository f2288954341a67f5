// Reading the values of the current item block.
#include <algorithm>
#include <cstring>

#include "session/packed_values.h"
#include "session/session_core.h"
#include "storage/streams/copy_bytes.h"

namespace kestron4 {

uint16_t SessionCore::GetValueCount() {
  return current_ == nullptr ? 0 : static_cast<uint16_t>(std::min<uint32_t>(current_->valueCount, 0xFFFF));
}

// Callers size the list by GetValueCount, which cannot report more than
// 0xFFFF entries: no more are ever written, whatever the block holds.
void SessionCore::GetValueList(uint16_t* tids) {
  if (current_ == nullptr) return;
  const uint16_t* const last = tids + std::min<uint32_t>(current_->valueCount, 0xFFFF);
  if (current_->IsPacked()) {
    if (current_->valueCount <= 0xFFFF && reader_.ListTids(current_, tids)) return;
    const uint8_t* p = current_->packed;
    const uint8_t* const end = p + current_->packedBytes;
    while (p < end && tids < last) {
      // A near entry starts with its TID, which no other kind's tag equals.
      const auto first = static_cast<Tid>(p[0] | (p[1] << 8));
      if (first != packed::kFarTag && first != packed::kSizedTag) {
        *tids++ = first;
        p += 2 + packed::Cursor::NearSize(first, p + 2);
        continue;
      }
      packed::Cursor cursor(p, static_cast<uint32_t>(end - p));
      packed::Entry e;
      cursor.Next(&e);
      *tids++ = e.tid;
      p = cursor.position();
    }
    return;
  }
  for (const Value* v = current_->firstValue; v != nullptr && tids < last; v = v->next)
    *tids++ = v->tid;
}

ErrorCode SessionCore::ValSizeOf(Tid tid, uint32_t* size) {
  const ItemBlock* block = current_;
  if (block == nullptr) return ErrInvalidSession;
  if (block->IsPacked()) {
    if (!reader_.Find(block, tid)) return ErrValueNotFound;
    if (!reader_.plain()) return PayloadSize(reader_.value(), size);
    *size = reader_.length();
    return ErrNone;
  }
  const Value* value = FindValue(block, tid);
  return value == nullptr ? ErrValueNotFound : PayloadSize(*value, size);
}

ErrorCode SessionCore::ValueOf(Tid tid, void* destination) {
  const ItemBlock* block = current_;
  if (block == nullptr) return ErrInvalidSession;
  if (block->IsPacked()) {
    if (!reader_.Find(block, tid)) return ErrValueNotFound;
    if (!reader_.plain()) return CopyPayload(reader_.value(), destination);
    CopyBytes(destination, reader_.payload(), reader_.length());
    return ErrNone;
  }
  const Value* value = FindValue(block, tid);
  return value == nullptr ? ErrValueNotFound : CopyPayload(*value, destination);
}

ErrorCode SessionCore::PayloadSize(const Value& value, uint32_t* size) {
  uint32_t length = 0;
  if (!PayloadLength(current_, value, &length)) {
    return value.tid == kTidData ? ErrDataSize : ErrFileAccess;
  }
  *size = length;
  return ErrNone;
}

ErrorCode SessionCore::CopyPayload(const Value& value, void* destination) {
  uint64_t offset = 0;
  uint64_t count = value.size;
  const uint8_t layout = tid_layout::Lookup(value.tid).layout;
  if (layout == tid_layout::kShort || layout == tid_layout::kLong) {
    uint32_t length = 0;
    if (!PayloadLength(current_, value, &length)) return ErrFileAccess;
    offset = layout == tid_layout::kShort ? 1 : 2;
    // A length prefix that claims more than is stored copies nothing.
    if (value.size < offset || offset + length > value.size) return ErrNone;
    count = length;
  } else if (value.tid == kTidData) {
    // Never copy more than the size value announced: that is what the caller
    // sized the destination by.
    uint32_t length = 0;
    if (PayloadLength(current_, value, &length) && length < count) count = length;
  }
  return ReadBytes(value, offset, destination, count) ? ErrNone : ErrFileAccess;
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
