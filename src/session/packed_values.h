// The packed values of a loaded block: one run of bytes in the session's
// arena, in value order, read in place until the block is first edited.
// Little-endian, no alignment:
//
//   entry := near | far | sized
//   near  := tid (u16, a value TID but 1063) stored_bytes
//            as in a container: their number follows from the TID and its
//            length prefix (container_format.h)
//   far   := 0x0000 tid (u16) home (u8) size (u64) offset (i64)
//            bytes left in the session file (home ValueHome::kView or
//            kStream, offset where they lie), or given an arena allocation
//            of their own (home kArena, offset their address)
//   sized := 0x0001 tid (u16) size (u32) stored_bytes
//            a data value (1063), whose size a container gives only through
//            the block's 1066
//
// Near entries cost what the file does; the others are for blobs and for
// large values the file-backed policies leave in the file.
#pragma once

#include <cstdint>
#include <cstring>

#include "session/records.h"

namespace kestron4::packed {

inline constexpr uint16_t kFarTag = 0;
inline constexpr uint16_t kSizedTag = 1;
inline constexpr std::size_t kFarBytes = 2 + 2 + 1 + 8 + 8;
inline constexpr std::size_t kSizedHeaderBytes = 2 + 2 + 4;
// Where the offset field of a far entry lies, from its start.
inline constexpr std::size_t kFarOffsetField = 2 + 2 + 1 + 8;

struct Entry {
  Tid tid = 0;
  ValueHome home = ValueHome::kArena;  // kArena, or kView / kStream
  uint64_t size = 0;
  const uint8_t* bytes = nullptr;  // kArena
  int64_t offset = -1;             // kView / kStream
  const uint8_t* start = nullptr;  // the entry's first byte
};

// Steps through a packed run. The run was written by the loader, which
// checked every size against its input, so the entries are trusted.
class Cursor {
 public:
  Cursor(const uint8_t* run, uint32_t length) : p_(run), end_(run + length) {}

  bool Next(Entry* e) {
    if (p_ >= end_) return false;
    e->start = p_;
    const uint16_t tag = Load16(p_);
    if (tag == kFarTag) {
      e->tid = Load16(p_ + 2);
      e->home = static_cast<ValueHome>(p_[4]);
      std::memcpy(&e->size, p_ + 5, 8);
      std::memcpy(&e->offset, p_ + kFarOffsetField, 8);
      e->bytes = nullptr;
      if (e->home == ValueHome::kArena) {
        e->bytes = reinterpret_cast<const uint8_t*>(static_cast<intptr_t>(e->offset));
        e->offset = -1;
      }
      p_ += kFarBytes;
      return true;
    }
    e->home = ValueHome::kArena;
    e->offset = -1;
    if (tag == kSizedTag) {
      uint32_t size = 0;
      e->tid = Load16(p_ + 2);
      std::memcpy(&size, p_ + 4, 4);
      e->size = size;
      e->bytes = p_ + kSizedHeaderBytes;
    } else {
      e->tid = tag;
      e->bytes = p_ + 2;
      e->size = NearSize(tag, e->bytes);
    }
    p_ = e->bytes + e->size;
    return true;
  }

  // Where the next entry starts, and where the run ends.
  const uint8_t* position() const { return p_; }
  const uint8_t* end() const { return end_; }

  // The stored size of a near entry whose stored bytes start at bytes.
  static uint64_t NearSize(Tid tid, const uint8_t* bytes) {
    const tid_layout::Entry layout = tid_layout::Lookup(tid);
    switch (layout.layout) {
      case tid_layout::kFixed: return layout.fixedSize;
      case tid_layout::kShort: return 1 + uint64_t{bytes[0]};
      case tid_layout::kLong: return 2 + uint64_t{Load16(bytes)};
      default: return 0;
    }
  }

 private:
  static uint16_t Load16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

  const uint8_t* p_;
  const uint8_t* end_;
};

// Fills a value record from an entry: its bytes stay where the entry says.
inline void ToValue(const Entry& e, Value* v) {
  v->tid = e.tid;
  v->next = nullptr;
  v->size = e.size;
  v->home = e.home;
  if (e.home == ValueHome::kArena) {
    v->ext = e.bytes;
  } else {
    v->fileOffset = e.offset;
  }
}

// Sum of the encoded sizes (2 + stored size) of a run's values.
inline uint64_t EncodedValueBytes(const uint8_t* run, uint32_t length) {
  uint64_t total = 0;
  Cursor cursor(run, length);
  for (Entry e; cursor.Next(&e);) total += 2 + e.size;
  return total;
}

}  // namespace kestron4::packed
