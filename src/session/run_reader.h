// Finding the values of a packed block (session/packed_values.h) for a
// reader that only copies them out. A program reads a block's values in
// their order, asking for each one's size and then its bytes; the reader
// remembers where it found the value asked for last, so that each of those
// questions costs a look at that entry or the one after it, with nothing
// decoded into records.
//
// A block of records often holds the same values, of the same lengths, as
// the block before it. The reader keeps the shape of the last block it
// walked (each entry's place, TID and payload length); a block of the same
// size whose entries have those TIDs and length prefixes at those places has
// that shape too. Checking that takes one independent look per entry
// instead of a walk in which each entry's place depends on the one before,
// and the values are then found in the shape.
#pragma once

#include <cstdint>
#include <cstring>

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
    if (shaped_ == block) shaped_ = nullptr;
  }
  void ForgetAll() { block_ = shaped_ = nullptr; }

  // The TIDs of the packed block in their order, when the block has the
  // shape kept or one can be taken of it; false (nothing written) for a
  // block with more than kShapeEntries values or values not plain.
  bool ListTids(const ItemBlock* block, Tid* tids) {
    if (!Fit(block)) return false;
    std::memcpy(tids, shapeTids_, shapeCount_ * sizeof(Tid));
    return true;
  }

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
    if (inShape_) {
      const uint32_t next = at_ + 1;
      if (next >= shapeCount_ || shapeTids_[next] != tid || !shape_[next].first) return false;
      LandShaped(next);
      return true;
    }
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
    block_ = nullptr;  // the place is given up before a new shape may be taken
    inShape_ = false;
    const bool shaped = Fit(block);
    block_ = block;
    end_ = block->packed + block->packedBytes;
    inShape_ = shaped;
    if (inShape_) {
      for (uint32_t i = 0; i < shapeCount_; ++i) {
        if (shapeTids_[i] == tid) {
          LandShaped(i);
          return true;
        }
      }
      block_ = nullptr;
      return false;
    }
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

  // --- Shapes ---------------------------------------------------------------

  struct ShapeEntry {
    uint32_t start;    // where the entry starts in the run
    uint32_t payload;  // where its payload starts
    uint32_t length;   // of the payload
    uint8_t prefix;   // length bytes before the payload: 0, 1 or 2
    bool first;       // no earlier entry of the block has the TID
  };

  // True when block (packed) has the shape kept, or one was taken of it.
  bool Fit(const ItemBlock* block) {
    if (block == shaped_) return true;
    if (block->packedBytes == shapeBytes_ && block->valueCount == shapeCount_ &&
        HasShape(block->packed)) {
      shaped_ = block;
      return true;
    }
    return TakeShape(block);
  }

  // Every entry of the shape where it has it, with its TID and length.
  bool HasShape(const uint8_t* run) const {
    bool same = true;
    for (uint32_t i = 0; i < shapeCount_; ++i) {
      const ShapeEntry& e = shape_[i];
      const uint8_t* p = run + e.start;
      const uint32_t length = e.prefix == 0 ? e.length : e.prefix == 1 ? p[2] : Load16(p + 2);
      same &= (Load16(p) == shapeTids_[i]) & (length == e.length);
    }
    return same;
  }

  // Walks the block's run into the shape; false (and no shape kept) when a
  // value is not plain or there are too many.
  bool TakeShape(const ItemBlock* block) {
    if (inShape_) block_ = nullptr;  // its place was one in the shape replaced
    shaped_ = nullptr;
    shapeBytes_ = shapeCount_ = 0;
    if (block->valueCount > kShapeEntries) return false;
    uint64_t seen[4] = {};
    const uint8_t* const run = block->packed;
    const uint8_t* const end = run + block->packedBytes;
    uint32_t count = 0;
    for (const uint8_t* p = run; p < end; ++count) {
      if (end - p < 2 || count == kShapeEntries) return false;
      const Tid tid = Load16(p);
      const tid_layout::Entry layout = tid_layout::Lookup(tid);
      ShapeEntry& e = shape_[count];
      e.start = static_cast<uint32_t>(p - run);
      shapeTids_[count] = tid;
      switch (layout.layout) {
        case tid_layout::kFixed:
        case tid_layout::kNone:
          e.prefix = 0;
          e.length = layout.fixedSize;
          break;
        case tid_layout::kShort:
          if (end - p < 3) return false;
          e.prefix = 1;
          e.length = p[2];
          break;
        case tid_layout::kLong:
          if (end - p < 4) return false;
          e.prefix = 2;
          e.length = Load16(p + 2);
          break;
        default: return false;  // far and sized entries (tags 0 and 1) among them
      }
      const uint64_t bit = uint64_t{1} << (tid & 63);
      e.first = (seen[(tid >> 6) & 3] & bit) == 0;
      // The filter tells TIDs apart by their low 8 bits only.
      if (!e.first) {
        e.first = true;
        for (uint32_t j = 0; j < count; ++j) e.first = e.first && shapeTids_[j] != tid;
      }
      seen[(tid >> 6) & 3] |= bit;
      if (static_cast<uint64_t>(end - p) < 2u + e.prefix + e.length) return false;
      e.payload = e.start + 2 + e.prefix;
      p += 2 + e.prefix + e.length;
    }
    if (count != block->valueCount) return false;
    shapeCount_ = count;
    shapeBytes_ = block->packedBytes;
    shaped_ = block;
    return true;
  }

  // The entry i of the shape, in block_ (whose next_ the shape keeps).
  void LandShaped(uint32_t i) {
    const ShapeEntry& e = shape_[i];
    const uint8_t* const run = end_ - shapeBytes_;
    at_ = i;
    entry_ = run + e.start;
    payload_ = run + e.payload;
    tid_ = shapeTids_[i];
    length_ = e.length;
    plain_ = true;
  }

  static constexpr uint32_t kShapeEntries = 64;
  ShapeEntry shape_[kShapeEntries];
  Tid shapeTids_[kShapeEntries];
  uint32_t shapeCount_ = 0;
  uint32_t shapeBytes_ = 0;                // the run length of a block of the shape
  const ItemBlock* shaped_ = nullptr;      // a block known to have the shape
  bool inShape_ = false;                   // block_ has the shape; at_ is its entry
  uint32_t at_ = 0;

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
