#include "format/container_reader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <vector>

#include "format/block_tid_set.h"
#include "format/container_format.h"
#include "session/packed_values.h"
#include "session/session_core.h"
#include "storage/platform/large_block.h"
#include "storage/streams/copy_bytes.h"
#include "storage/streams/stream_reader.h"

namespace kestron4 {
namespace {

using container::kMinBlockRecordBytes;
using container::LoadU32;

struct Frame {
  ItemBlock* block;
  Item* item;           // item whose blocks are read next; null when done
  uint32_t next;        // index of the next block of item
  uint64_t valueBytes;  // encoded size of the block's values
};

// Values from this size up get an arena allocation of their own under the
// in-memory policy, so that a block's packed run stays cheap to move.
constexpr uint64_t kSeparateFrom = 4096;

class BlockReader {
 public:
  BlockReader(SessionCore& session, StreamReader& input, LargeValueHome large)
      : session_(session), arena_(session.arena()), input_(input), large_(large) {}

  // Reads the entry list and its end marker; the values become one packed
  // run (session/packed_values.h). A short input throws; Close then keeps
  // the values read completely. A block that holds a TID twice is refused
  // (false) as soon as the second one is met.
  bool ReadEntries(ItemBlock* block) {
    block_ = block;
    count_ = 0;
    valueBytes_ = 0;
    refused_ = false;
    tids_.Clear();
    uint32_t dataLength = 0;  // held by the latest 1066 of this block
    uint64_t childBlocks = 0;
    Item* last = nullptr;
    for (;;) {
      if (ReadInPlace(&dataLength, &childBlocks, &last)) {
        if (refused_) break;
        continue;
      }
      const Tid tid = input_.ReadU16();
      if (tid == 0) break;
      if (!tids_.Add(tid)) {
        refused_ = true;
        break;
      }
      if (IsValueID(tid)) {
        if (!ReadValue(tid, &dataLength)) {
          Close();
          return false;
        }
        continue;
      }
      const uint16_t count = input_.ReadU16();
      last = session_.AppendItem(block, tid, count, last);
      childBlocks += count;
    }
    Close();
    // Distinct TIDs keep both lists within what their 16-bit counts can
    // report; checked all the same, as callers size buffers by the counts.
    if (refused_ || count_ > BlockTidSet::kMostEntries ||
        block->itemCount > BlockTidSet::kMostEntries)
      return false;
    // Every announced block needs at least its size field and end marker;
    // refusing here keeps a lying count from driving the walk.
    return childBlocks * kMinBlockRecordBytes <= static_cast<uint64_t>(input_.Remaining());
  }

  // Ends the open block's run.
  void Close() {
    if (block_ == nullptr) return;
    std::size_t length = 0;
    const uint8_t* run = arena_.CloseRun(&length);
    if (count_ != 0) {
      block_->packed = run;
      block_->packedBytes = static_cast<uint32_t>(length);
      block_->valueCount = count_;
    }
    block_ = nullptr;
  }

  uint64_t valueBytes() const { return valueBytes_; }
  // Bytes of runs written so far, of every block.
  uint64_t runBytes() const { return runBytes_; }

 private:
  // The common entries parsed straight from the input's window: an item
  // entry, or a value entry that goes whole into the run. False, with
  // nothing consumed, for anything else (the end marker included), which
  // then takes the general way.
  bool ReadInPlace(uint32_t* dataLength, uint64_t* childBlocks, Item** last) {
    std::size_t have = 0;
    const uint8_t* p = input_.Available(&have);
    if (have < 4) return false;
    const Tid tid = container::LoadU16(p);
    if (!IsValueID(tid)) {
      if (tid == 0) return false;
      if (!tids_.Add(tid)) {
        refused_ = true;
        return true;
      }
      const uint16_t count = container::LoadU16(p + 2);
      *last = session_.AppendItem(block_, tid, count, *last);
      *childBlocks += count;
      input_.Advance(container::kItemEntryBytes);
      return true;
    }
    // A span of value entries that go whole into the run, copied at once:
    // the span of the block before when the input holds one like it here,
    // else the entries parsed one by one.
    std::size_t span = 0;
    uint32_t entries = 0;
    uint32_t latestDataLength = *dataLength;
    spanTids_.clear();
    const bool likeTheLast = SpanLikeTheLast(p, have);
    if (likeTheLast) {
      span = lastSpan_.bytes;
      entries = lastSpan_.count;
    } else {
      lastSpan_.count = 0;
      bool recorded = true;  // every entry of the span is in lastSpan_
      while (have - span >= 4) {
        const uint8_t* q = p + span;
        const Tid t = container::LoadU16(q);
        if (!IsValueID(t)) break;
        const tid_layout::Entry layout = tid_layout::Lookup(t);
        uint64_t size = layout.fixedSize;
        uint8_t prefix = 0;
        if (layout.layout == tid_layout::kShort) {
          size = 1 + uint64_t{q[2]};
          prefix = 1;
        } else if (layout.layout == tid_layout::kLong) {
          size = 2 + uint64_t{container::LoadU16(q + 2)};
          prefix = 2;
        } else if (layout.layout != tid_layout::kFixed) {
          break;
        }
        if (size > have - span - container::kTidBytes || size >= kSeparateFrom ||
            (size > Value::kInline && large_ != LargeValueHome::kCopy))
          break;
        if (t == kTidDataSize) {
          latestDataLength = container::LoadU32(q + 2);
          recorded = false;  // its value must be read, not matched
        }
        if (entries < kSpanEntries) {
          lastSpan_.entries[entries] = {static_cast<uint32_t>(span), t, prefix,
                                        static_cast<uint16_t>(size - prefix)};
        } else {
          recorded = false;
        }
        span += container::kTidBytes + static_cast<std::size_t>(size);
        spanTids_.push_back(t);
        ++entries;
      }
      if (recorded) {
        lastSpan_.count = entries;
        lastSpan_.bytes = span;
      }
    }
    if (entries == 0 || arena_.RunLength() + span > UINT32_MAX) return false;
    bool added = true;
    if (likeTheLast) {
      for (uint32_t i = 0; i < entries; ++i) added &= tids_.Add(lastSpan_.entries[i].tid);
    } else {
      for (const Tid t : spanTids_) added &= tids_.Add(t);
    }
    if (!added) {
      refused_ = true;
      return true;
    }
    uint8_t* run = arena_.Extend(span);
    std::memcpy(run, p, span);
    arena_.Commit(span);
    input_.Advance(span);
    *dataLength = latestDataLength;
    count_ += entries;
    valueBytes_ += span;
    runBytes_ += span;
    return true;
  }

  // The value entries of the last span parsed one by one, by place. Blocks
  // of records often hold the same values, of the same lengths, as the one
  // before; then the next span is found by checking each entry's TID and
  // length prefix where the last span had them (loads that do not wait for
  // each other) instead of a walk from entry to entry. The entries that
  // match are the ones the walk would have taken: which entries a span takes
  // follows from their TIDs and sizes alone.
  static constexpr uint32_t kSpanEntries = 64;
  struct SpanEntry {
    uint32_t start;
    Tid tid;
    uint8_t prefix;   // length bytes: 0, 1 or 2
    uint16_t length;  // what they say
  };
  struct Span {
    uint32_t count = 0;  // none kept
    std::size_t bytes = 0;
    SpanEntry entries[kSpanEntries];
  };

  bool SpanLikeTheLast(const uint8_t* p, std::size_t have) const {
    if (lastSpan_.count == 0 || have < lastSpan_.bytes) return false;
    bool same = true;
    for (uint32_t i = 0; i < lastSpan_.count; ++i) {
      const SpanEntry& e = lastSpan_.entries[i];
      const uint8_t* q = p + e.start;
      const uint32_t length = e.prefix == 0   ? e.length
                              : e.prefix == 1 ? q[2]
                                              : container::LoadU16(q + 2);
      same &= (container::LoadU16(q) == e.tid) & (length == e.length);
    }
    return same;
  }

  bool ReadValue(Tid tid, uint32_t* dataLength) {
    // The length prefix of the variable kinds is part of the stored bytes.
    uint8_t prefix[2] = {0, 0};
    uint32_t prefixBytes = 0;
    uint64_t size = 0;
    const tid_layout::Entry layout = tid_layout::Lookup(tid);
    switch (layout.layout) {
      case tid_layout::kShort:
        prefix[0] = input_.ReadU8();
        prefixBytes = 1;
        size = 1 + uint64_t{prefix[0]};
        break;
      case tid_layout::kLong: {
        const uint16_t length = input_.ReadU16();
        container::StoreU16(prefix, length);
        prefixBytes = 2;
        size = 2 + uint64_t{length};
        break;
      }
      case tid_layout::kData: size = *dataLength; break;
      case tid_layout::kFixed: size = layout.fixedSize; break;
      default: break;
    }
    const uint64_t rest = size - prefixBytes;
    if (rest > static_cast<uint64_t>(input_.Remaining())) return false;

    // A data value's size comes from the block's 1066, so its entry says it.
    const bool sized = layout.layout == tid_layout::kData;
    const bool inRecordOrCopied = size <= Value::kInline || large_ == LargeValueHome::kCopy;
    const bool inRun = inRecordOrCopied && size < kSeparateFrom;
    const std::size_t header = !inRun ? packed::kFarBytes
                               : sized ? packed::kSizedHeaderBytes
                                                 : container::kTidBytes;
    const uint64_t entryBytes = header + (inRun ? size : 0);
    // A run's length is kept in 32 bits; a block that outgrows it is refused.
    if (arena_.RunLength() + entryBytes > UINT32_MAX) return false;
    uint8_t* entry = arena_.Extend(static_cast<std::size_t>(entryBytes));
    uint8_t* bytes = entry + header;
    if (!inRun) {
      const auto home = inRecordOrCopied ? ValueHome::kArena
                        : large_ == LargeValueHome::kView ? ValueHome::kView
                                                          : ValueHome::kStream;
      int64_t offset = input_.Position() - prefixBytes;
      if (home == ValueHome::kArena) {
        // Storage of zeros, so that the holes of a sparse file stay unread.
        bytes = arena_.Separate(static_cast<std::size_t>(size), rest >= StreamReader::kSparseRead);
        offset = static_cast<int64_t>(reinterpret_cast<intptr_t>(bytes));
      }
      container::StoreU16(entry, packed::kFarTag);
      container::StoreU16(entry + 2, tid);
      entry[4] = static_cast<uint8_t>(home);
      std::memcpy(entry + 5, &size, 8);
      std::memcpy(entry + packed::kFarOffsetField, &offset, 8);
      if (home != ValueHome::kArena) {
        input_.Skip(rest);
        bytes = nullptr;
      }
    } else if (sized) {
      container::StoreU16(entry, packed::kSizedTag);
      container::StoreU16(entry + 2, tid);
      container::StoreU32(entry + 4, static_cast<uint32_t>(size));
    } else {
      container::StoreU16(entry, tid);
    }
    if (bytes != nullptr) {
      CopyBytes(bytes, prefix, prefixBytes);
      if (!inRun && rest >= StreamReader::kSparseRead) {
        input_.ReadIntoZeroed(bytes + prefixBytes, static_cast<std::size_t>(rest));
      } else {
        input_.Read(bytes + prefixBytes, static_cast<std::size_t>(rest));
      }
      if (tid == kTidDataSize && size >= 4) *dataLength = LoadU32(bytes);
    }
    arena_.Commit(static_cast<std::size_t>(entryBytes));
    runBytes_ += entryBytes;
    ++count_;
    valueBytes_ += container::kTidBytes + size;
    return true;
  }

  SessionCore& session_;
  Arena& arena_;
  StreamReader& input_;
  const LargeValueHome large_;
  ItemBlock* block_ = nullptr;  // whose run is open
  BlockTidSet tids_;            // of the open block
  std::vector<Tid> spanTids_;   // of the span ReadInPlace takes
  bool refused_ = false;        // the open block holds a TID twice
  uint32_t count_ = 0;
  uint64_t valueBytes_ = 0;
  uint64_t runBytes_ = 0;
  Span lastSpan_;
};

// Leaves the blocks on the stack of an interrupted read as if their input
// had ended where the reading stopped.
void MendInterrupted(std::vector<Frame>& stack) {
  for (auto it = stack.rbegin(); it != stack.rend(); ++it) {
    for (Item* item = it->block->firstItem; item != nullptr; item = item->next)
      item->blockCount = static_cast<uint16_t>(item->blocks.size());
    it->block->contentSize = SessionCore::ComputeContentSize(it->block);
  }
}

// Every kEstimateEvery blocks the session is told how many more blocks, and
// the arena how many more bytes of runs, the rest of the input holds at the
// density read so far, so that the next chunk of each holds them: a chunk of
// a large page or more is filled with few page faults. Only whole large
// pages of the estimate are asked for, less a sixteenth in case the density
// falls: a large page holds all its memory once touched, and what an
// estimate leaves out goes to the next chunk.
constexpr uint64_t kEstimateEvery = 128;

double WholeLargePages(double bytes) {
  if (bytes < static_cast<double>(kLargePageBytes)) return bytes;
  return std::floor(bytes / static_cast<double>(kLargePageBytes)) *
         static_cast<double>(kLargePageBytes);
}

void ExpectMore(SessionCore& session, const StreamReader& input, int64_t start, uint64_t blocks,
                uint64_t runBytes) {
  const auto consumed = static_cast<double>(input.Position() - start);
  const auto remaining = static_cast<double>(input.Remaining());
  if (consumed <= 0) return;
  const double share = remaining / consumed * 15 / 16;
  // Every block costs the input at least kMinBlockRecordBytes, and no run
  // takes more than twice the input it came from.
  constexpr double kRecord = sizeof(ItemBlock);
  const double blockBytes = std::min(static_cast<double>(blocks) * share,
                                     remaining / kMinBlockRecordBytes) * kRecord;
  session.ExpectBlocks(static_cast<std::size_t>(std::ceil(WholeLargePages(blockBytes) / kRecord)));
  if (runBytes == 0) return;
  constexpr double kMostChunk = static_cast<double>(1 << 30);  // as the pool's chunks
  session.arena().SizeNextChunk(static_cast<std::size_t>(WholeLargePages(
      std::min({static_cast<double>(runBytes) * share, 2 * remaining, kMostChunk}))));
}

bool ReadTree(BlockReader& reader, StreamReader& input, SessionCore& session,
              std::vector<Frame>& stack) {
  const uint64_t baseDepth = SessionCore::DepthOf(stack.back().block);
  const int64_t start = input.Position();
  uint64_t blocks = 0;
  if (!reader.ReadEntries(stack.back().block)) return false;
  stack.back().item = stack.back().block->firstItem;
  stack.back().valueBytes = reader.valueBytes();
  while (!stack.empty()) {
    Frame& frame = stack.back();
    while (frame.item != nullptr && frame.next >= frame.item->blockCount) {
      frame.item = frame.item->next;
      frame.next = 0;
    }
    if (frame.item == nullptr) {
      frame.block->contentSize =
          container::kEndMarkerBytes + SessionCore::ItemsContentSize(frame.block) + frame.valueBytes;
      stack.pop_back();
      continue;
    }
    // The new block lies stack.size() levels below the first one.
    if (baseDepth + stack.size() > SessionCore::kMaxDepth) return false;
    const uint32_t storedSize = input.ReadU32();
    if (++blocks % kEstimateEvery == 0)
      ExpectMore(session, input, start, blocks, reader.runBytes());
    ItemBlock* child = session.AppendBlock(frame.item);
    ++frame.next;
    child->contentSize = storedSize;
    stack.push_back({child, nullptr, 0, 0});  // frame is invalid from here on
    if (!reader.ReadEntries(child)) return false;
    stack.back().item = child->firstItem;
    stack.back().valueBytes = reader.valueBytes();
  }
  return true;
}

}  // namespace

ErrorCode ReadBlockBody(SessionCore& session, ItemBlock* block, StreamReader& input,
                        LargeValueHome large) {
  BlockReader reader(session, input, large);
  std::vector<Frame> stack;
  stack.push_back({block, nullptr, 0, 0});
  bool ok = false;
  try {
    ok = ReadTree(reader, input, session, stack);
  } catch (const std::exception&) {
    ok = false;
  }
  // What comes after the load is edits, a block at a time.
  session.ExpectBlocks(0);
  session.arena().SizeNextChunk(0);
  if (ok) return ErrNone;
  reader.Close();
  MendInterrupted(stack);
  return ErrFileAccess;
}

}  // namespace kestron4
