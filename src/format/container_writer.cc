#include "format/container_writer.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "format/container_format.h"
#include "session/file_ref_io.h"
#include "session/session_core.h"
#include "storage/streams/stream.h"
#include "storage/streams/stream_writer.h"

namespace kestron4 {
namespace {

using container::kCopyPieceBytes;
using container::StoreU16;
using container::StoreU32;

class BlockWriter {
 public:
  BlockWriter(SessionCore& session, StreamWriter& out, int64_t outputStart)
      : session_(session), out_(out), outputStart_(outputStart) {}

  // One block record without its children: size field, item entries, value
  // entries, end marker.
  void WriteRecord(ItemBlock* block) {
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
    for (Value* value = block->firstValue; value != nullptr; value = value->next)
      WriteValue(*value);
    const uint8_t endMarker[2] = {0, 0};
    out_.Write(endMarker, sizeof endMarker);
  }

 private:
  void WriteValue(Value& value) {
    uint8_t entry[2 + Value::kInline];
    StoreU16(entry, value.tid);
    if (value.InMemory() && value.size <= Value::kInline) {
      std::memcpy(entry + 2, value.inl, value.size);
      value.savedOffset = Position() + 2;
      out_.Write(entry, 2 + value.size);
      return;
    }
    out_.Write(entry, 2);
    value.savedOffset = Position();
    switch (value.home) {
      case ValueHome::kMemory: out_.Write(value.heap, value.size); return;
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

  void CopyFromFileRef(const Value& value) {
    if (value.fileRef == nullptr) throw EReadError();
    const std::unique_ptr<TStream> file = OpenFileRef(*value.fileRef);
    if (!file->Seek(static_cast<int64_t>(value.fileRef->offset), kSeekBegin)) throw EReadError();
    uint8_t piece[kCopyPieceBytes];
    for (uint64_t done = 0; done < value.size;) {
      const uint64_t n = std::min<uint64_t>(kCopyPieceBytes, value.size - done);
      file->Read(piece, static_cast<int64_t>(n));
      out_.Write(piece, n);
      done += n;
    }
  }

  int64_t Position() const { return outputStart_ + static_cast<int64_t>(out_.BytesWritten()); }

  SessionCore& session_;
  StreamWriter& out_;
  const int64_t outputStart_;
};

}  // namespace

void WriteContainer(SessionCore& session, ItemBlock* top, StreamWriter& out, int64_t outputStart) {
  out.Write(container::kHeader, container::kHeaderSize);
  BlockWriter writer(session, out, outputStart);
  struct Frame {
    ItemBlock* block;
    Item* item;
    std::size_t next;
    uint64_t end;  // BytesWritten() once the block and its children are out
  };
  std::vector<Frame> stack;
  const auto open = [&](ItemBlock* block) {
    const uint64_t end = out.BytesWritten() + EncodedSize(*block);
    writer.WriteRecord(block);
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
