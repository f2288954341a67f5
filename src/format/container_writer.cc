#include "format/container_writer.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "format/container_format.h"
#include "session/file_ref_io.h"
#include "session/session_core.h"
#include "storage/platform/file_extents.h"
#include "storage/streams/file_stream.h"
#include "storage/streams/stream.h"
#include "storage/streams/stream_writer.h"

namespace kestron4 {
namespace {

using container::kCopyPieceBytes;
using container::StoreU16;
using container::StoreU32;

bool ValueReadsBack(SessionCore& session, const Value& value, uint32_t& announced);

class BlockWriter {
 public:
  BlockWriter(SessionCore& session, StreamWriter& out) : session_(session), out_(out) {}

  // One block record without its children: size field, item entries, value
  // entries, end marker. With check, each value is first checked to read
  // back (ValueReadsBack), as it is about to be copied anyway; a value that
  // would not throws EWriteError with the record half written.
  void WriteRecord(ItemBlock* block, bool check) {
    uint8_t field[4];
    StoreU32(field, static_cast<uint32_t>(block->contentSize));
    out_.Write(field, sizeof field);
    for (const Item* item = block->firstItem; item != nullptr; item = item->next) {
      // The count announces the block records that follow, so it is taken
      // from the blocks themselves.
      if (item->blocks.size() > UINT16_MAX) throw EWriteError();
      uint8_t entry[4];
      StoreU16(entry, item->tid);
      StoreU16(entry + 2, static_cast<uint16_t>(item->blocks.size()));
      out_.Write(entry, sizeof entry);
    }
    uint32_t announced = 0;
    for (Value* value = session_.Values(block); value != nullptr; value = value->next) {
      if (check && !ValueReadsBack(session_, *value, announced)) throw EWriteError();
      WriteValue(*value);
    }
    const uint8_t endMarker[2] = {0, 0};
    out_.Write(endMarker, sizeof endMarker);
  }

 private:
  void WriteValue(const Value& value) {
    uint8_t entry[2 + Value::kInline];
    StoreU16(entry, value.tid);
    const uint8_t* bytes = value.Bytes();
    if (bytes != nullptr && value.size <= Value::kInline) {
      std::memcpy(entry + 2, bytes, value.size);
      out_.Write(entry, 2 + value.size);
      return;
    }
    out_.Write(entry, 2);
    switch (value.home) {
      case ValueHome::kMemory:
      case ValueHome::kArena: out_.Write(bytes, value.size); return;
      // A mapped view is copied through the session too: only its policy
      // reads the view safely when the file has shrunk, and the save must
      // fail then rather than write what is not the file's.
      case ValueHome::kView:
      case ValueHome::kStream: CopyFromSession(value); return;
      case ValueHome::kFileRef: CopyFromFileRef(value); return;
    }
  }

  void CopyFromSession(const Value& value) {
    uint8_t piece[kCopyPieceBytes];
    for (uint64_t done = 0; done < value.size;) {
      const uint64_t n = std::min<uint64_t>(kCopyPieceBytes, value.size - done);
      if (!session_.ReadBytes(value, done, piece, n)) throw EReadError();
      out_.Write(piece, n);
      done += n;
    }
  }

  // Holes of a sparse outside file stay holes when the output can have
  // them: a blob standing for gigabytes of zeros is not read nor written.
  void CopyFromFileRef(const Value& value) {
    if (value.fileRef == nullptr) throw EReadError();
    const std::unique_ptr<TStream> file = OpenFileRef(*value.fileRef);
    const auto* fileStream = dynamic_cast<const TFileStream*>(file.get());
    NativeFile probe = out_.HolesAllowed() && fileStream != nullptr ? fileStream->Handle() : kNoFile;
    const uint64_t start = value.fileRef->offset;
    if (!file->Seek(static_cast<int64_t>(start), kSeekBegin)) throw EReadError();
    uint8_t piece[kCopyPieceBytes];
    uint64_t dataEnd = 0;  // the range up to here is known to be data
    for (uint64_t done = 0; done < value.size;) {
      if (probe != kNoFile && done >= dataEnd) {
        Extent extent;
        if (!ProbeExtent(probe, start + done, value.size - done, &extent)) {
          probe = kNoFile;
        } else {
          if (extent.hole != 0) out_.SkipZeros(extent.hole);
          done += extent.hole;
          dataEnd = done + extent.data;
        }
        if (!file->Seek(static_cast<int64_t>(start + done), kSeekBegin)) throw EReadError();
        continue;
      }
      const uint64_t limit = probe >= 0 ? dataEnd - done : value.size - done;
      const uint64_t n = std::min<uint64_t>(kCopyPieceBytes, limit);
      file->Read(piece, static_cast<int64_t>(n));
      out_.Write(piece, n);
      done += n;
    }
  }

  SessionCore& session_;
  StreamWriter& out_;
};

// Whether a value would be read back with the size it has. The reader
// measures a value by its TID, its length prefix or, for a blob, the latest
// size value before it in the block (container_format.h); announced carries
// that size value along the block. Values still in their file were measured
// by that very rule when they were read, so only values in memory and blobs
// (whose size value an edit may change on its own) need looking at.
bool ValueReadsBack(SessionCore& session, const Value& value, uint32_t& announced) {
  const Tid tid = value.tid;
  if (tid == kTidData) return value.size == announced;
  if (tid == kTidDataSize && value.size >= 4) {
    uint8_t bytes[4];
    if (!session.ReadBytes(value, 0, bytes, sizeof bytes)) return false;
    announced = container::LoadU32(bytes);
  }
  if (!value.InMemory()) return true;
  const uint8_t* bytes = value.Bytes();
  uint64_t expected = ValSize(tid, 0);
  if (IsVariableSize(tid)) {
    expected = value.size >= 1 ? 1 + uint64_t{bytes[0]} : 1;
  } else if (IsLongVariableSize(tid)) {
    expected = value.size >= 2 ? 2 + uint64_t{container::LoadU16(bytes)} : 2;
  }
  return value.size == expected;
}

bool BlockReadsBack(SessionCore& session, const ItemBlock* block) {
  uint32_t announced = 0;  // held by the latest 1066 so far
  for (const Value* value = session.Values(block); value != nullptr; value = value->next)
    if (!ValueReadsBack(session, *value, announced)) return false;
  return true;
}

// An edit can leave a value the reader would measure differently (a blob
// whose size value was changed or deleted on its own, a blob put before its
// size value): written, it would shift every later field of the file. Such a
// tree is refused whole, before a byte is written.
void CheckReadsBack(SessionCore& session, const ItemBlock* top) {
  std::vector<const ItemBlock*> pending{top};
  while (!pending.empty()) {
    const ItemBlock* block = pending.back();
    pending.pop_back();
    if (!BlockReadsBack(session, block)) throw EWriteError();
    for (const Item* item = block->firstItem; item != nullptr; item = item->next)
      pending.insert(pending.end(), item->blocks.begin(), item->blocks.end());
  }
}

}  // namespace

bool FitsContainerFields(const ItemBlock& top) { return top.contentSize <= UINT32_MAX; }

void WriteContainer(SessionCore& session, ItemBlock* top, StreamWriter& out, ReadBackCheck check) {
  if (!FitsContainerFields(*top)) throw EWriteError();
  const bool checkAhead = check == ReadBackCheck::kBeforeWriting;
  if (checkAhead) CheckReadsBack(session, top);
  out.Write(container::kHeader, container::kHeaderSize);
  BlockWriter writer(session, out);
  struct Frame {
    ItemBlock* block;
    Item* item;
    std::size_t next;
    uint64_t end;  // BytesWritten() once the block and its children are out
  };
  std::vector<Frame> stack;
  const auto open = [&](ItemBlock* block) {
    const uint64_t end = out.BytesWritten() + EncodedSize(*block);
    writer.WriteRecord(block, !checkAhead);
    stack.push_back({block, block->firstItem, 0, end});
  };
  open(top);
  while (!stack.empty()) {
    Frame& frame = stack.back();
    while (frame.item != nullptr && frame.next >= frame.item->blocks.size()) {
      frame.item = frame.item->next;
      frame.next = 0;
    }
    if (frame.item == nullptr) {
      if (out.BytesWritten() != frame.end) throw ECachedSizeMismatch();
      stack.pop_back();
      continue;
    }
    open(frame.item->blocks[frame.next++]);  // frame is invalid from here on
  }
}

}  // namespace kestron4
