// Where a value's bytes are and how to get at them: inline, in its heap
// block, in the mapped view, in the source stream or in an outside file.
#include <cstdlib>
#include <cstring>
#include <new>

#include "session/file_ref_io.h"
#include "session/packed_values.h"
#include "session/session_core.h"
#include "storage/streams/copy_bytes.h"

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
      std::memcpy(value.inl, heap, size);  // overwrites the pointer, read above
      FreeValueBytes(heap);
    }
    value.size = size;
    return value.MemBytes();
  }
  if (value.home == ValueHome::kMemory && value.size > Value::kInline) FreeValueBytes(value.heap);
  if (value.home == ValueHome::kFileRef) delete value.fileRef;
  value.home = ValueHome::kMemory;
  std::memset(value.inl, 0, sizeof value.inl);
  if (size > Value::kInline) value.heap = AllocValueBytes(size, zeroed);
  value.size = size;
  return value.MemBytes();
}

const uint8_t* SessionCore::PeekBytes(const Value& value) const {
  if (value.home == ValueHome::kView) {
    const uint8_t* base = ViewBase();
    return base != nullptr ? base + value.fileOffset : nullptr;
  }
  return value.Bytes();
}

bool SessionCore::ReadBytes(const Value& value, uint64_t offset, void* destination,
                            uint64_t count) {
  if (offset > value.size || count > value.size - offset) return false;
  if (count == 0) return true;
  switch (value.home) {
    case ValueHome::kMemory:
    case ValueHome::kArena: CopyBytes(destination, value.Bytes() + offset, count); return true;
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
  uint8_t small[Value::kInline] = {};
  uint8_t* heap = size > Value::kInline ? AllocValueBytes(size, false) : nullptr;
  uint8_t* target = heap != nullptr ? heap : small;
  if (!ReadBytes(value, 0, target, size)) {
    FreeValueBytes(heap);
    return false;
  }
  if (value.home == ValueHome::kFileRef) delete value.fileRef;
  value.home = ValueHome::kMemory;
  if (heap != nullptr) {
    value.heap = heap;
  } else {
    std::memcpy(value.inl, small, sizeof small);
  }
  return true;
}

namespace {

bool HoldsValuesAt(const ItemBlock& block, ValueHome home) {
  packed::Cursor cursor(block.packed, block.packedBytes);
  for (packed::Entry e; cursor.Next(&e);)
    if (e.home == home) return true;
  return false;
}

}  // namespace

bool SessionCore::MaterializeAll(ValueHome home) {
  bool all = true;
  std::vector<ItemBlock*> pending{root_};
  std::vector<ItemBlock*> children;
  while (!pending.empty()) {
    ItemBlock* block = pending.back();
    pending.pop_back();
    if (block->IsPacked() && HoldsValuesAt(*block, home)) Parse(block);
    if (!block->IsPacked()) {
      for (Value* value = block->firstValue; value != nullptr; value = value->next)
        if (value->home == home && !Materialize(*value)) all = false;
    }
    children.clear();
    for (Item* item = block->firstItem; item != nullptr; item = item->next)
      children.insert(children.end(), item->blocks.begin(), item->blocks.end());
    pending.insert(pending.end(), children.rbegin(), children.rend());
  }
  return all;
}

bool SessionCore::PayloadLength(const ItemBlock* block, const Value& value, uint32_t* length) {
  const tid_layout::Entry layout = tid_layout::Lookup(value.tid);
  const uint8_t* bytes = value.Bytes();
  switch (layout.layout) {
    case tid_layout::kData: {
      const Value* sizeValue = FindValue(block, kTidDataSize);
      uint32_t n = 0;
      if (sizeValue == nullptr || sizeValue->size < 4 || !ReadBytes(*sizeValue, 0, &n, 4))
        return false;
      *length = n;
      return true;
    }
    case tid_layout::kShort: {
      uint8_t n = 0;
      if (value.size != 0 && bytes == nullptr && !ReadBytes(value, 0, &n, 1)) return false;
      *length = value.size == 0 ? 0 : bytes != nullptr ? bytes[0] : n;
      return true;
    }
    case tid_layout::kLong: {
      uint8_t n[2] = {0, 0};
      if (value.size < 2) {
        *length = 0;
        return true;
      }
      if (!ReadBytes(value, 0, n, 2)) return false;
      *length = static_cast<uint32_t>(n[0] | (n[1] << 8));
      return true;
    }
    default: *length = static_cast<uint32_t>(value.size); return true;
  }
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
