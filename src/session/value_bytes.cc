// Where a value's bytes are and how to get at them: inline, in its heap
// block, in the mapped view, in the source stream or in an outside file.
#include <cstdlib>
#include <cstring>
#include <new>

#include "session/file_ref_io.h"
#include "session/session_core.h"

namespace kestron4 {

uint8_t* AllocValueBytes(uint64_t size, bool zeroed) {
  if (size > SIZE_MAX) throw std::bad_alloc();
  const auto n = static_cast<std::size_t>(size);
  void* bytes = zeroed ? std::calloc(n, 1) : std::malloc(n);
  if (bytes == nullptr && n != 0) throw std::bad_alloc();
  return static_cast<uint8_t*>(bytes);
}

void FreeValueBytes(uint8_t* bytes) { std::free(bytes); }

uint8_t* SessionCore::ResizeStorage(Value& value, uint64_t size, bool zeroed) {
  if (value.home == ValueHome::kMemory && size <= value.size) {
    // Shrinking keeps the bytes where they are, unless they must move from
    // the heap block into the record.
    if (size <= Value::kInline && value.size > Value::kInline) {
      uint8_t* heap = value.heap;
      std::memcpy(value.inl, heap, size);
      FreeValueBytes(heap);
      value.heap = nullptr;
    }
    value.size = size;
    return value.MemBytes();
  }
  FreeValueBytes(value.heap);
  value.heap = nullptr;
  delete value.fileRef;
  value.fileRef = nullptr;
  value.home = ValueHome::kMemory;
  value.fileOffset = -1;
  if (size > Value::kInline) value.heap = AllocValueBytes(size, zeroed);
  value.size = size;
  return value.MemBytes();
}

const uint8_t* SessionCore::PeekBytes(const Value& value) const {
  switch (value.home) {
    case ValueHome::kMemory: return value.MemBytes();
    case ValueHome::kView: {
      const uint8_t* base = ViewBase();
      return base != nullptr ? base + value.fileOffset : nullptr;
    }
    default: return nullptr;
  }
}

bool SessionCore::ReadBytes(const Value& value, uint64_t offset, void* destination,
                            uint64_t count) {
  if (offset > value.size || count > value.size - offset) return false;
  if (count == 0) return true;
  switch (value.home) {
    case ValueHome::kMemory: std::memcpy(destination, value.MemBytes() + offset, count); return true;
    // A view is read through the policy too: the file behind it may have
    // shrunk, and only the policy can read it without faulting.
    case ValueHome::kView:
    case ValueHome::kStream: return ReadFromSource(value, offset, destination, count);
    case ValueHome::kFileRef:
      return value.fileRef != nullptr &&
             ReadFileRefRange(*value.fileRef, offset, destination, count);
  }
  return false;
}

bool SessionCore::Materialize(Value& value) {
  if (value.home == ValueHome::kMemory) return true;
  const uint64_t size = value.size;
  uint8_t small[Value::kInline];
  uint8_t* heap = size > Value::kInline ? AllocValueBytes(size, false) : nullptr;
  uint8_t* target = heap != nullptr ? heap : small;
  if (!ReadBytes(value, 0, target, size)) {
    FreeValueBytes(heap);
    return false;
  }
  delete value.fileRef;
  value.fileRef = nullptr;
  value.home = ValueHome::kMemory;
  value.fileOffset = -1;
  value.heap = heap;
  if (heap == nullptr) std::memcpy(value.inl, small, size);
  return true;
}

bool SessionCore::PayloadLength(const ItemBlock* block, const Value& value, uint32_t* length) {
  const Tid tid = value.tid;
  if (tid == kTidData) {
    const Value* sizeValue = FindValue(block, kTidDataSize);
    uint32_t n = 0;
    if (sizeValue == nullptr || sizeValue->size < 4 || !ReadBytes(*sizeValue, 0, &n, 4))
      return false;
    *length = n;
    return true;
  }
  if (IsVariableSize(tid)) {
    uint8_t n = 0;
    if (value.size == 0) {
      *length = 0;
      return true;
    }
    if (!ReadBytes(value, 0, &n, 1)) return false;
    *length = n;
    return true;
  }
  if (IsLongVariableSize(tid)) {
    uint8_t n[2] = {0, 0};
    if (value.size < 2) {
      *length = 0;
      return true;
    }
    if (!ReadBytes(value, 0, n, 2)) return false;
    *length = static_cast<uint32_t>(n[0] | (n[1] << 8));
    return true;
  }
  *length = static_cast<uint32_t>(value.size);
  return true;
}

bool SessionCore::ReadPayload(const ItemBlock* block, const Value& value,
                              std::vector<uint8_t>* out) {
  uint32_t n = 0;
  if (!PayloadLength(block, value, &n)) return false;
  const uint64_t prefix = IsVariableSize(value.tid) ? 1 : IsLongVariableSize(value.tid) ? 2 : 0;
  // A data value's size value may claim more than the blob holds, and a
  // length prefix more than the stored bytes: copy only what is there.
  uint64_t available = value.size > prefix ? value.size - prefix : 0;
  if (prefix != 0 && prefix + n > value.size) {
    out->clear();
    return true;
  }
  // A size value that claims more than the blob holds yields what is there,
  // never an allocation the stored bytes cannot back.
  const uint64_t take = n < available ? n : available;
  out->resize(take);
  return take == 0 || ReadBytes(value, prefix, out->data(), take);
}

}  // namespace kestron4
