// The records of a session tree. Item blocks hold an ordered list of items
// and an ordered list of values; an item groups the item blocks of one TID.
// All three come from the session's pools (session/pool.h).
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "session/tid.h"

namespace kestron4 {

struct Item;
struct ItemBlock;
class SessionCore;

// A byte range of an outside file that a data value (1063) stands for until
// the session is saved; the file is opened only when its bytes are needed.
struct FileRef {
  std::string path8;
  std::u16string path16;
  uint64_t offset = 0;
  uint64_t length = 0;
};

// Where a value's stored bytes are.
enum class ValueHome : uint8_t {
  kMemory,   // inline (size <= 8) or in the value's heap block
  kView,     // in the mapped view of the session file, at `fileOffset`
  kStream,   // in the session's source stream, at `fileOffset`
  kFileRef,  // in an outside file described by `fileRef`
};

struct Value {
  static constexpr uint64_t kInline = 8;

  Value* next = nullptr;
  FileRef* fileRef = nullptr;  // owned; set only when home == kFileRef
  uint64_t size = 0;           // stored bytes, length prefix included
  uint8_t* heap = nullptr;     // owned; used when size > kInline and home == kMemory
  int64_t fileOffset = -1;     // kView / kStream: where the bytes lie in the source
  int64_t savedOffset = -1;    // where the last save wrote the bytes
  uint8_t inl[kInline] = {};
  Tid tid = 0;
  ValueHome home = ValueHome::kMemory;

  bool InMemory() const { return home == ValueHome::kMemory; }
  // REQUIRES: InMemory().
  uint8_t* MemBytes() { return size <= kInline ? inl : heap; }
  const uint8_t* MemBytes() const { return size <= kInline ? inl : heap; }
};

struct Item {
  Item* next = nullptr;
  ItemBlock* parent = nullptr;
  Tid tid = 0;
  uint16_t blockCount = 0;
  std::vector<ItemBlock*> blocks;
};

struct ItemBlock {
  SessionCore* owner = nullptr;
  Item* parent = nullptr;  // null for the root
  uint64_t contentSize = 2;
  Item* firstItem = nullptr;
  Item* lastItem = nullptr;
  Value* firstValue = nullptr;
  Value* lastValue = nullptr;
  uint32_t itemCount = 0;
  uint32_t valueCount = 0;
  uint32_t positionHint = 0;  // last known index in parent->blocks
};

// Heap storage of value bytes comes from malloc, so that storage of zeros
// can be had from calloc without touching its pages (a load that leaves the
// holes of a sparse file unread). Throws std::bad_alloc.
uint8_t* AllocValueBytes(uint64_t size, bool zeroed);
void FreeValueBytes(uint8_t* bytes);

// Encoded size of a value entry in the container: its TID and its bytes.
inline uint64_t EncodedSize(const Value& v) { return 2 + v.size; }
// Encoded size of one block record: its size field and its content.
inline uint64_t EncodedSize(const ItemBlock& b) { return 4 + b.contentSize; }

}  // namespace kestron4
