// Finding the values of a packed block (session/packed_values.h) for a
// reader that only copies them out. A program reads a block's values in
// their order, asking for each one's size and then its bytes; the reader
// remembers where it found the value asked for last, so that each of those
// questions costs a look at that entry or the one after it, with nothing
// decoded into records.
#pragma once

#include <cstdint>

#include "session/packed_values.h"
#include "session/records.h"

namespace kestron4 {

class RunReader {
 public:
  // Finds the first value of the TID in the packed block; false when it has
  // none. The value is then described below until the next Find or Forget.
  bool Find(const ItemBlock* block, Tid tid) { return FindNear(block, tid) || Restart(block, tid); }
  // The same when the value is the one found last or the one after it;
  // false (and nothing changed) otherwise, a null block included.
  bool FindNear(const ItemBlock* block, Tid tid) {
    return block_ == block && block != nullptr && (tid_ == tid || StepTo(tid));
  }

  // To be called whenever a block's packed run changes or the block goes.
  void Forget(const ItemBlock* block) {
    if (block_ == block) block_ = nullptr;
  }
  void ForgetAll() { block_ = nullptr; }

  // The value found, as a record.
  Value value() const {
    packed::Cursor cursor(entry_, static_cast<uint32_t>(end_ - entry_));
    packed::Entry e;
    Value v;
    if (cursor.Next(&e)) packed::ToValue(e, &v);
    return v;
  }
  // True when its payload lies in memory behind a consistent length prefix
  // (or none); payload() and length() then give it.
  bool plain() const { return plain_; }
  const uint8_t* payload() const { return payload_; }
  uint32_t length() const { return length_; }

 private:
  static uint16_t Load16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
  bool Seen(Tid tid) const { return (seen_[(tid >> 6) & 3] >> (tid & 63) & 1) != 0; }
  void Mark(Tid tid) { seen_[(tid >> 6) & 3] |= uint64_t{1} << (tid & 63); }

  // The next entry, when it holds the TID and no entry before it does. A
  // near entry starts with its TID, which no other kind's tag can equal.
  bool StepTo(Tid tid) {
    if (end_ - next_ < 2) return false;
    const Tid first = Load16(next_);
    if (first == tid) {
      if (Seen(tid)) return false;
      Mark(tid);
      return LandNear(next_, tid);
    }
    if (first != packed::kFarTag && first != packed::kSizedTag) return false;
    packed::Cursor cursor(next_, static_cast<uint32_t>(end_ - next_));
    packed::Entry e;
    if (!cursor.Next(&e) || e.tid != tid || Seen(tid)) return false;
    Mark(tid);
    Land(e, cursor.position());
    return true;
  }

  // The first entry of the TID, searched from the start of the run. Out of
  // line: the common questions above stay small.
  [[gnu::noinline]] bool Restart(const ItemBlock* block, Tid tid) {
    block_ = block;
    end_ = block->packed + block->packedBytes;
    seen_[0] = seen_[1] = seen_[2] = seen_[3] = 0;
    packed::Cursor cursor(block->packed, block->packedBytes);
    for (packed::Entry e; cursor.Next(&e);) {
      Mark(e.tid);
      if (e.tid == tid) {
        Land(e, cursor.position());
        return true;
      }
    }
    block_ = nullptr;
    return false;
  }

  // A near entry at p: the TID, then the stored bytes, which the loader
  // checked against their length prefix.
  bool LandNear(const uint8_t* p, Tid tid) {
    const tid_layout::Entry layout = tid_layout::Lookup(tid);
    const uint8_t* bytes = p + 2;
    uint32_t length = layout.fixedSize;
    uint32_t prefix = 0;
    switch (layout.layout) {
      case tid_layout::kFixed:
      case tid_layout::kNone: break;
      case tid_layout::kShort:
        prefix = 1;
        length = bytes[0];
        break;
      case tid_layout::kLong:
        prefix = 2;
        length = Load16(bytes);
        break;
      default: {
        packed::Cursor cursor(p, static_cast<uint32_t>(end_ - p));
        packed::Entry e;
        cursor.Next(&e);
        Land(e, cursor.position());
        return true;
      }
    }
    entry_ = p;
    next_ = bytes + prefix + length;
    tid_ = tid;
    payload_ = bytes + prefix;
    length_ = length;
    plain_ = true;
    return true;
  }

  void Land(const packed::Entry& e, const uint8_t* next) {
    entry_ = e.start;
    next_ = next;
    tid_ = e.tid;
    plain_ = false;
    if (e.home != ValueHome::kArena) return;
    const tid_layout::Entry layout = tid_layout::Lookup(e.tid);
    uint64_t prefix = 0;
    uint64_t length = e.size;
    switch (layout.layout) {
      case tid_layout::kFixed:
      case tid_layout::kNone: break;
      case tid_layout::kShort:
        if (e.size < 1) return;
        prefix = 1;
        length = e.bytes[0];
        break;
      case tid_layout::kLong:
        if (e.size < 2) return;
        prefix = 2;
        length = Load16(e.bytes);
        break;
      default: return;
    }
    if (prefix + length > e.size || length > UINT32_MAX) return;
    payload_ = e.bytes + prefix;
    length_ = static_cast<uint32_t>(length);
    plain_ = true;
  }

  const ItemBlock* block_ = nullptr;  // null: nowhere
  const uint8_t* entry_ = nullptr;    // the entry found
  const uint8_t* next_ = nullptr;     // the entry after it
  const uint8_t* end_ = nullptr;      // the end of the run
  Tid tid_ = 0;
  bool plain_ = false;
  uint32_t length_ = 0;
  const uint8_t* payload_ = nullptr;
  uint64_t seen_[4] = {};  // TIDs up to the value found, by their low 8 bits
};

}  // namespace kestron4
