// Making the current block refer to a bookmarked block.
#include <vector>

#include "session/edit/reference_values.h"

namespace kestron4 {
namespace {

constexpr uint32_t kMaxBlocksPerItem = 65535;

// Fixed values of the library's own TIDs are written little-endian, the
// order they are read in.
void PutU16(uint16_t number, uint8_t (&bytes)[2]) {
  bytes[0] = static_cast<uint8_t>(number & 0xFF);
  bytes[1] = static_cast<uint8_t>(number >> 8);
}

}  // namespace

ErrorCode SessionCore::CreateReference(uint32_t bookmark, uint16_t refNo, Tid keyTid) {
  TreeEdited();
  ItemBlock* const referrer = current_;
  if (referrer == nullptr) return ErrInvalidSession;
  if (!GotoBookMark(bookmark)) return ErrNoBookmark;
  ItemBlock* const target = current_;
  current_ = referrer;

  const Value* keyValue = FindValue(target, keyTid);
  if (keyValue == nullptr) return ErrValueNotFound;
  uint32_t claimed = 0;
  if (!PayloadLength(target, *keyValue, &claimed)) return ErrDataSize;
  std::vector<uint8_t> key;
  // A key in an outside file that cannot be read cannot be copied.
  if (!ReadPayload(target, *keyValue, &key)) return ErrFileAccess;
  const uint32_t keyLength = static_cast<uint32_t>(key.size());
  const Tid targetTid = target->parent != nullptr ? target->parent->tid : 0;

  // Find an older entry with this number, and refuse before changing
  // anything if the new entry could not be added.
  Item* references = FindItem(referrer, kTidReferenceItem);
  int64_t older = -1;
  if (references != nullptr) {
    for (std::size_t i = 0; i < references->blocks.size(); ++i) {
      const Value* number = FindValue(references->blocks[i], kTidRefNumber);
      uint16_t value = 0;
      if (number != nullptr && ReadU16Value(*this, *number, &value) && value == refNo) {
        older = static_cast<int64_t>(i);
        break;
      }
    }
  }
  if (DepthOf(referrer) + 1 > kMaxDepth) return ErrBadCount;
  if (references != nullptr && older < 0 && references->blockCount >= kMaxBlocksPerItem)
    return ErrBadCount;

  if (older >= 0) DeleteItem(kTidReferenceItem, static_cast<int32_t>(older));
  current_ = referrer;
  if (!InsertItemBlocks(kTidReferenceItem, 1)) return ErrBadCount;
  const ErrorCode opened = OpenItem(kTidReferenceItem, -1);
  if (opened != ErrNone) return opened;

  uint8_t bytes[2];
  PutU16(refNo, bytes);
  InsertValue(kTidRefNumber, bytes, 0);
  PutU16(targetTid, bytes);
  InsertValue(kTidRefTarget, bytes, 0);
  if (keyTid == kTidData) {
    // A blob is copied whole, with its size value, so that the copy can be
    // compared with the original when references are listed or renamed. The
    // size value goes first: a reader of the file takes a blob's length from
    // the size value before it.
    uint8_t size[4] = {static_cast<uint8_t>(keyLength), static_cast<uint8_t>(keyLength >> 8),
                       static_cast<uint8_t>(keyLength >> 16),
                       static_cast<uint8_t>(keyLength >> 24)};
    InsertValue(kTidDataSize, size, 0);
    InsertValue(kTidData, key.data(), keyLength);
  } else {
    // Texts are given with their payload length; the terminator below only
    // guards the length rule for an empty payload, and the padding a fixed
    // value shorter than its kind.
    key.push_back(0);
    if (key.size() < ValSize(keyTid, 0)) key.resize(ValSize(keyTid, 0), 0);
    InsertValueS(keyTid, key.data(), keyLength);
  }
  CloseItem();
  return ErrNone;
}

}  // namespace kestron4
