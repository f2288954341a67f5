#include "session/edit/copy_contents.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "session/edit/blob_pair.h"
#include "session/last_error.h"
#include "session/records.h"
#include "session/session_factory.h"

namespace kestron4 {
namespace {

// Blobs are copied through a bounded buffer, so a blob of any size costs no
// allocation of its size.
constexpr uint32_t kBlobChunk = 64 * 1024;

// One open level of the walk: a source item block whose items are being
// copied. Its item TIDs live in Copier::itemTids_ from firstTid on.
struct Level {
  std::size_t firstTid = 0;
  uint16_t tidCount = 0;
  uint16_t nextTid = 0;
  bool entered = false;   // entered by OpenItem in both sessions, left by CloseItem
  Tid tid = 0;            // the item being copied
  uint16_t blocks = 0;    // its blocks in the source
  uint16_t existing = 0;  // blocks the destination's item held before the copy
  uint16_t nextBlock = 0;
};

class Copier {
 public:
  Copier(AbstractSession& source, AbstractSession& destination) : src_(source), dst_(destination) {}

  void Run() {
    CopyValues();
    PushLevel(false);
    while (!levels_.empty()) {
      Level& level = levels_.back();
      if (level.nextBlock < level.blocks) {
        EnterBlock(level);
      } else if (level.nextTid < level.tidCount) {
        StartItem(level, itemTids_[level.firstTid + level.nextTid++]);
      } else {
        const bool entered = level.entered;
        itemTids_.resize(level.firstTid);
        levels_.pop_back();
        if (entered) {
          src_.CloseItem();
          dst_.CloseItem();
        }
      }
    }
  }

 private:
  void PushLevel(bool entered) {
    Level level;
    level.firstTid = itemTids_.size();
    level.tidCount = src_.GetTypeCount();
    level.entered = entered;
    itemTids_.resize(level.firstTid + level.tidCount);
    if (level.tidCount != 0) src_.GetTypeList(itemTids_.data() + level.firstTid);
    levels_.push_back(level);
  }

  // Appends as many blocks to the destination's item as the source's item
  // has; they are filled one by one by EnterBlock.
  void StartItem(Level& level, Tid tid) {
    level.tid = tid;
    level.blocks = 0;
    level.nextBlock = 0;
    const uint16_t count = src_.GetItemCount(tid);
    const uint16_t existing = dst_.GetItemCount(tid);
    if (count == 0 || !dst_.InsertItemBlocks(tid, count)) {
      SetLastError(ErrBadCount);
      return;
    }
    level.existing = existing;
    level.blocks = count;
  }

  // Opens the next block in both sessions and copies its values; its items
  // follow as a new level. May invalidate `level`.
  void EnterBlock(Level& level) {
    const Tid tid = level.tid;
    const int32_t index = level.nextBlock++;
    ErrorCode code = src_.OpenItem(tid, index);
    if (code != ErrNone) {
      SetLastError(code);
      return;
    }
    code = dst_.OpenItem(tid, level.existing + index);
    if (code != ErrNone) {
      SetLastError(code);
      src_.CloseItem();
      return;
    }
    CopyValues();
    PushLevel(true);
  }

  void CopyValues() {
    const uint16_t count = src_.GetValueCount();
    valueTids_.resize(count);
    if (count == 0) return;
    src_.GetValueList(valueTids_.data());
    for (const Tid tid : valueTids_) {
      if (tid == kTidData) {
        CopyBlob();
      } else {
        CopyValue(tid);
      }
    }
  }

  // Copies the stored bytes as they are: for strings that keeps the length
  // prefix and whatever follows the text, for fixed values any size.
  void CopyValue(Tid tid) {
    Value* value = src_.GetValueHandle(tid);
    if (value == nullptr) {
      SetLastError(ErrValueNotFound);
      return;
    }
    if (value->size == 0) {
      // A TID without a layout is empty by its own size, which an insert
      // sets in place, keeping the destination's value order. For other
      // TIDs a byte count of 0 would mean "the TID's own size", so their
      // (unsaveable) empty values are made afresh.
      if (ValSize(tid, 0) == 0 && !IsStringKind(tid)) {
        dst_.InsertValue(tid, nullptr, 0);
      } else {
        dst_.DeleteValue(tid);
        dst_.AllocData(tid, 0);
      }
      return;
    }
    if (value->size > UINT32_MAX) {
      SetLastError(ErrDataSize);
      return;
    }
    const auto size = static_cast<uint32_t>(value->size);
    Reserve(size);
    if (!src_.ReadValue(value, 0, bytes_.data(), size)) {
      SetLastError(ErrFileAccess);
      return;
    }
    dst_.InsertValue(tid, bytes_.data(), size);
  }

  // The blob's length is the one its 1066 value gives. A length beyond the
  // bytes the blob holds is refused rather than read past its end.
  void CopyBlob() {
    uint32_t size = 0;
    const ErrorCode code = src_.GetValSize(kTidData, &size);
    if (code != ErrNone) {
      SetLastError(code);
      return;
    }
    Value* value = src_.GetValueHandle(kTidData);
    if (value == nullptr || value->size < size) {
      SetLastError(ErrDataSize);
      return;
    }
    AllocBlob(dst_, size);
    Reserve(std::min(size, kBlobChunk));
    for (uint32_t done = 0; done < size;) {
      const uint32_t chunk = std::min(size - done, kBlobChunk);
      if (!src_.ReadValue(value, done, bytes_.data(), chunk)) {
        // Leave no half-copied blob behind.
        dst_.DeleteValue(kTidData);
        dst_.DeleteValue(kTidDataSize);
        SetLastError(ErrFileAccess);
        return;
      }
      dst_.WriteData(kTidData, done, bytes_.data(), chunk);
      done += chunk;
    }
  }

  void Reserve(std::size_t size) {
    if (bytes_.size() < size) bytes_.resize(size);
  }

  AbstractSession& src_;
  AbstractSession& dst_;
  std::vector<uint8_t> bytes_;       // one buffer for every value of the copy
  std::vector<uint16_t> valueTids_;  // value TIDs of the block being copied
  std::vector<uint16_t> itemTids_;   // item TIDs of every open level
  std::vector<Level> levels_;
};

// A copy of a session into itself would read blocks while it appends to
// them; it goes through a private snapshot of the source block instead.
std::unique_ptr<AbstractSession> Snapshot(AbstractSession& source) {
  std::unique_ptr<AbstractSession> snapshot = MakeSession(PolicyKind::kMemory);
  if (snapshot == nullptr) {
    SetLastError(ErrFileAccess);
    return nullptr;
  }
  Copier(source, *snapshot).Run();
  return snapshot;
}

void AppendBlockCopy(AbstractSession& source, AbstractSession& destination, Tid tid) {
  if (!destination.InsertItemBlocks(tid, 1)) {
    SetLastError(ErrBadCount);
    return;
  }
  const ErrorCode code = destination.OpenItem(tid, -1);  // the new last block
  if (code != ErrNone) {
    SetLastError(code);
    return;
  }
  Copier(source, destination).Run();
  destination.CloseItem();
}

}  // namespace

void CopyContents(AbstractSession& source, AbstractSession& destination) {
  if (&source != &destination) {
    Copier(source, destination).Run();
    return;
  }
  if (std::unique_ptr<AbstractSession> snapshot = Snapshot(source)) {
    Copier(*snapshot, destination).Run();
  }
}

void CopyBlocks(AbstractSession& source, AbstractSession& destination) {
  const Tid tid = source.GetCurrentTID();
  if (tid == 0) {
    CopyContents(source, destination);
    return;
  }
  if (&source != &destination) {
    AppendBlockCopy(source, destination, tid);
    return;
  }
  if (std::unique_ptr<AbstractSession> snapshot = Snapshot(source)) {
    AppendBlockCopy(*snapshot, destination, tid);
  }
}

}  // namespace kestron4
