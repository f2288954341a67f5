#include "format/container_reader.h"

#include <exception>
#include <vector>

#include "format/container_format.h"
#include "session/session_core.h"
#include "storage/streams/stream_reader.h"

namespace kestron4 {
namespace {

using container::kMinBlockRecordBytes;
using container::LoadU32;

struct Frame {
  ItemBlock* block;
  Item* item;     // item whose blocks are read next; null when done
  uint32_t next;  // index of the next block of item
};

class BlockReader {
 public:
  BlockReader(SessionCore& session, StreamReader& input, LargeValueHome large)
      : session_(session), input_(input), large_(large) {}

  // Reads the entry list and its end marker. A short input throws.
  bool ReadEntries(ItemBlock* block) {
    uint32_t dataLength = 0;  // held by the latest 1066 of this block
    uint64_t childBlocks = 0;
    for (;;) {
      const Tid tid = input_.ReadU16();
      if (tid == 0) break;
      if (IsValueID(tid)) {
        if (!ReadValue(block, tid, &dataLength)) return false;
        continue;
      }
      const uint16_t count = input_.ReadU16();
      session_.AppendItem(block, tid, count);
      childBlocks += count;
    }
    // Every announced block needs at least its size field and end marker;
    // refusing here keeps a lying count from driving the walk.
    return childBlocks * kMinBlockRecordBytes <= static_cast<uint64_t>(input_.Remaining());
  }

 private:
  bool ReadValue(ItemBlock* block, Tid tid, uint32_t* dataLength) {
    // The length prefix of the variable kinds is part of the stored bytes.
    uint8_t prefix[2] = {0, 0};
    uint32_t prefixBytes = 0;
    uint32_t n = 0;
    if (IsVariableSize(tid)) {
      prefix[0] = input_.ReadU8();
      prefixBytes = 1;
      n = prefix[0];
    } else if (IsLongVariableSize(tid)) {
      const uint16_t length = input_.ReadU16();
      container::StoreU16(prefix, length);
      prefixBytes = 2;
      n = length;
    } else if (tid == kTidData) {
      n = *dataLength;
    }
    const uint64_t size = ValSize(tid, n);
    const uint64_t rest = size - prefixBytes;
    if (rest > static_cast<uint64_t>(input_.Remaining())) return false;

    Value* value = session_.AppendValue(block, tid);
    if (size <= Value::kInline || large_ == LargeValueHome::kCopy) {
      const bool large = rest >= StreamReader::kSparseRead;
      uint8_t* bytes = session_.ResizeStorage(*value, size, large);
      for (uint32_t i = 0; i < prefixBytes; ++i) bytes[i] = prefix[i];
      if (large) {
        input_.ReadIntoZeroed(bytes + prefixBytes, static_cast<std::size_t>(rest));
      } else {
        input_.Read(bytes + prefixBytes, static_cast<std::size_t>(rest));
      }
      if (tid == kTidDataSize && size >= 4) *dataLength = LoadU32(bytes);
      return true;
    }
    value->home = large_ == LargeValueHome::kView ? ValueHome::kView : ValueHome::kStream;
    value->fileOffset = input_.Position() - prefixBytes;
    value->size = size;
    input_.Skip(rest);
    return true;
  }

  SessionCore& session_;
  StreamReader& input_;
  const LargeValueHome large_;
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

bool ReadTree(BlockReader& reader, StreamReader& input, SessionCore& session,
              std::vector<Frame>& stack) {
  const uint64_t baseDepth = SessionCore::DepthOf(stack.back().block);
  if (!reader.ReadEntries(stack.back().block)) return false;
  stack.back().item = stack.back().block->firstItem;
  while (!stack.empty()) {
    Frame& frame = stack.back();
    while (frame.item != nullptr && frame.next >= frame.item->blockCount) {
      frame.item = frame.item->next;
      frame.next = 0;
    }
    if (frame.item == nullptr) {
      frame.block->contentSize = SessionCore::ComputeContentSize(frame.block);
      stack.pop_back();
      continue;
    }
    // The new block lies stack.size() levels below the first one.
    if (baseDepth + stack.size() > SessionCore::kMaxDepth) return false;
    const uint32_t storedSize = input.ReadU32();
    ItemBlock* child = session.AppendBlock(frame.item);
    ++frame.next;
    child->contentSize = storedSize;
    stack.push_back({child, nullptr, 0});  // frame is invalid from here on
    if (!reader.ReadEntries(child)) return false;
    stack.back().item = child->firstItem;
  }
  return true;
}

}  // namespace

ErrorCode ReadBlockBody(SessionCore& session, ItemBlock* block, StreamReader& input,
                        LargeValueHome large) {
  BlockReader reader(session, input, large);
  std::vector<Frame> stack;
  stack.push_back({block, nullptr, 0});
  bool ok = false;
  try {
    ok = ReadTree(reader, input, session, stack);
  } catch (const std::exception&) {
    ok = false;
  }
  if (ok) return ErrNone;
  MendInterrupted(stack);
  return ErrFileAccess;
}

}  // namespace kestron4
