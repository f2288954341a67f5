// The records of a session tree. Item blocks hold an ordered list of items
// and an ordered list of values; an item groups the item blocks of one TID.
// All three come from the session's pools (session/pool.h); the bytes a load
// read stay in the session's arena (session/arena.h).
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
  kMemory,   // owned: inline (size <= kInline) or in the value's heap block
  kArena,    // in the session's arena of loaded bytes, at `ext`; read-only
  kView,     // in the mapped view of the session file, at `fileOffset`
  kStream,   // in the session's source stream, at `fileOffset`
  kFileRef,  // in an outside file described by `fileRef`
};

// One value: 32 bytes. The union holds what `home` says; a value is changed
// only after its bytes have become kMemory (SessionCore::Materialize).
struct Value {
  static constexpr uint64_t kInline = 8;

  Value* next = nullptr;
  uint64_t size = 0;  // stored bytes, length prefix included
  union {
    uint8_t inl[kInline] = {};  // kMemory, size <= kInline
    uint8_t* heap;              // kMemory, size > kInline: owned
    const uint8_t* ext;         // kArena
    int64_t fileOffset;         // kView, kStream: where the bytes lie in the source
    FileRef* fileRef;           // kFileRef: owned
  };
  Tid tid = 0;
  ValueHome home = ValueHome::kMemory;

  // Owned bytes, the only ones that may be written.
  bool InMemory() const { return home == ValueHome::kMemory; }
  // REQUIRES: InMemory().
  uint8_t* MemBytes() { return size <= kInline ? inl : heap; }
  // The bytes when they are addressable without I/O (memory or arena), else null.
  const uint8_t* Bytes() const {
    if (home == ValueHome::kArena) return ext;
    return home == ValueHome::kMemory ? (size <= kInline ? inl : heap) : nullptr;
  }
};
static_assert(sizeof(Value) <= 32);

struct Item {
  Item* next = nullptr;
  ItemBlock* parent = nullptr;
  Tid tid = 0;
  uint16_t blockCount = 0;
  std::vector<ItemBlock*> blocks;
};

// An item block. Its values are either a list of Value records (`firstValue`)
// or, for a block loaded from a file and not edited since, one run of packed
// entries in the session's arena (`packed`, see session/packed_values.h),
// decoded on demand; SessionCore::Values gives them either way, and
// SessionCore::Parse turns the packed run into records before an edit.
struct ItemBlock {
  Item* parent = nullptr;  // null for the root
  uint64_t contentSize = 2;
  Item* firstItem = nullptr;
  union {
    Value* firstValue = nullptr;  // when packedBytes == 0
    const uint8_t* packed;        // when packedBytes != 0
  };
  uint32_t packedBytes = 0;
  uint32_t valueCount = 0;
  uint32_t itemCount = 0;
  uint32_t positionHint = 0;  // last known index in parent->blocks

  bool IsPacked() const { return packedBytes != 0; }
};
static_assert(sizeof(ItemBlock) <= 48);

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
