// Putting values into the current item block. A TID occurs once per block:
// inserting an existing TID changes that value in place.
#include <algorithm>
#include <cstring>

#include "session/session_core.h"
#include "text/text_codec.h"

namespace kestron4 {
namespace {

constexpr uint32_t kShortMax = 255;
constexpr uint32_t kLongMax = 65535;

// Stores a string payload of n bytes behind its length prefix.
void StoreString(SessionCore& session, Value& value, const void* data, uint32_t n, bool longKind) {
  const uint64_t prefix = longKind ? 2 : 1;
  uint8_t* bytes = session.ResizeStorage(value, prefix + n);
  bytes[0] = static_cast<uint8_t>(n);
  if (longKind) bytes[1] = static_cast<uint8_t>(n >> 8);
  if (n != 0) std::memcpy(bytes + prefix, data, n);
}

}  // namespace

// Inserting a value TID is the only way a value enters a block: anything
// else would be written as an item entry and corrupt the saved file.
bool SessionCore::InsertValue(Tid tid, const void* data, uint32_t byteCount) {
  TreeEdited();
  if (current_ == nullptr || !IsValueID(tid)) return false;
  Parse(current_);
  bool existed = false;
  Value* value = FindOrAppendValue(current_, tid, &existed);
  const uint64_t before = existed ? EncodedSize(*value) : 0;

  // Without data the old bytes stay, as they do in memory; a loaded value's
  // bytes still lie in the arena or the file and are fetched first (if they
  // cannot be read the value is cleared).
  const auto keepIfNull = [&](uint64_t size) {
    if (data == nullptr && existed && size <= value->size) Materialize(*value);
  };
  if (byteCount != 0) {
    keepIfNull(byteCount);
    uint8_t* bytes = ResizeStorage(*value, byteCount);
    if (data != nullptr) std::memcpy(bytes, data, byteCount);
  } else if (IsVariableSize(tid) || IsLongVariableSize(tid)) {
    if (data != nullptr) {
      const bool longKind = IsLongVariableSize(tid);
      const std::size_t length = std::strlen(static_cast<const char*>(data)) + 1;
      const uint32_t n = static_cast<uint32_t>(std::min<std::size_t>(length, longKind ? kLongMax : kShortMax));
      StoreString(*this, *value, data, n, longKind);
    }
  } else {
    const uint32_t size = ValSize(tid, 0);
    keepIfNull(size);
    uint8_t* bytes = ResizeStorage(*value, size);
    if (data != nullptr && size != 0) std::memcpy(bytes, data, size);
  }
  AdjustSizes(current_, static_cast<int64_t>(EncodedSize(*value) - before));
  return true;
}

bool SessionCore::InsertValueS(Tid tid, const void* data, uint32_t size) {
  TreeEdited();
  if (!IsVariableSize(tid) && !IsLongVariableSize(tid)) return InsertValue(tid, data, 0);
  if (current_ == nullptr || data == nullptr) return current_ != nullptr;
  const bool longKind = IsLongVariableSize(tid);
  if (size == 0) {
    const std::size_t length = std::strlen(static_cast<const char*>(data)) + 1;
    size = static_cast<uint32_t>(std::min<std::size_t>(length, kLongMax));
  }
  const uint32_t n = std::min(size, longKind ? kLongMax : kShortMax);
  Parse(current_);
  bool existed = false;
  Value* value = FindOrAppendValue(current_, tid, &existed);
  const uint64_t before = existed ? EncodedSize(*value) : 0;
  StoreString(*this, *value, data, n, longKind);
  AdjustSizes(current_, static_cast<int64_t>(EncodedSize(*value) - before));
  return true;
}

bool SessionCore::AllocData(Tid tid, uint32_t size) {
  TreeEdited();
  if (current_ == nullptr || !IsValueID(tid)) return false;
  Parse(current_);
  bool existed = false;
  Value* value = FindOrAppendValue(current_, tid, &existed);
  const uint64_t before = existed ? EncodedSize(*value) : 0;
  uint64_t target = size;
  if (size == 0) {
    if (IsStringKind(tid)) {
      if (existed) return true;  // strings keep what they hold
      target = 0;
    } else {
      target = ValSize(tid, 0);
    }
  }
  // A value still in the arena or the session file keeps its leading bytes
  // on shrinking, as it would in memory; if they cannot be read it is
  // cleared instead.
  if (value->home != ValueHome::kMemory && value->home != ValueHome::kFileRef &&
      target <= value->size)
    Materialize(*value);
  const bool grows = !value->InMemory() || target > value->size;
  const uint64_t keep = grows ? 0 : target;
  uint8_t* bytes = ResizeStorage(*value, target);
  // Fresh storage is cleared so that an unwritten range never carries
  // stale memory into a saved file.
  if (target > keep) std::memset(bytes + keep, 0, target - keep);
  AdjustSizes(current_, static_cast<int64_t>(EncodedSize(*value) - before));
  return true;
}

bool SessionCore::WriteData(Tid tid, uint32_t offset, const void* source, uint32_t length) {
  TreeEdited();
  Parse(current_);
  Value* value = FindValue(current_, tid);
  if (value == nullptr) return false;
  if (uint64_t{offset} + length > value->size) return false;
  // Bytes that still lie in a file or an outside file are fetched first, so
  // that the untouched parts survive the write.
  if (!Materialize(*value)) return false;
  if (length != 0) std::memcpy(value->MemBytes() + offset, source, length);
  return true;
}

bool SessionCore::InsertDataFile(const char* path, uint64_t offset, uint64_t length) {
  TreeEdited();
  if (current_ == nullptr) return false;
  const uint32_t low = static_cast<uint32_t>(length);
  InsertValue(kTidDataSize, &low, 4);  // parses the block
  bool existed = false;
  Value* value = FindOrAppendValue(current_, kTidData, &existed);
  const uint64_t before = existed ? EncodedSize(*value) : 0;
  ResizeStorage(*value, 0);
  value->fileRef = new FileRef{path != nullptr ? path : "", u"", offset, length};
  value->home = ValueHome::kFileRef;
  value->size = length;
  AdjustSizes(current_, static_cast<int64_t>(EncodedSize(*value) - before));
  return true;
}

bool SessionCore::InsertDataFileW(const char16_t* path, uint64_t offset, uint64_t length) {
  TreeEdited();
  if (current_ == nullptr) return false;
  const std::u16string wide = path != nullptr ? std::u16string(path, U16Length(path)) : u"";
  if (!InsertDataFile(nullptr, offset, length)) return false;
  FileRef* ref = FindValue(current_, kTidData)->fileRef;
  ref->path8.clear();
  ref->path16 = wide;
  return true;
}

bool SessionCore::DeleteValue(Tid tid) {
  TreeEdited();
  if (current_ == nullptr || FindValue(current_, tid) == nullptr) return false;
  Parse(current_);
  for (Value** link = &current_->firstValue; *link != nullptr; link = &(*link)->next) {
    Value* v = *link;
    if (v->tid != tid) continue;
    *link = v->next;
    --current_->valueCount;
    AdjustSizes(current_, -static_cast<int64_t>(EncodedSize(*v)));
    DestroyValue(v);
    return true;
  }
  return false;
}

}  // namespace kestron4
