#include "format/legacy/legacy_tree.h"

namespace kestron4::legacy {
namespace {

// Any index past the end enters the last block.
constexpr int32_t kLastBlock = 65535;

}  // namespace

void LegacyTree::Items(Tid tid, uint16_t count) {
  if (!session_.InsertItemBlocks(tid, count)) {
    throw ELegacyRejected("item blocks refused");
  }
}

void LegacyTree::Append(Tid tid) {
  Items(tid, 1);
  Open(tid, kLastBlock);
}

void LegacyTree::Open(Tid tid, int32_t index) {
  if (session_.OpenItem(tid, index) != ErrNone) throw ELegacyRejected("item block missing");
}

void LegacyTree::Text(Tid tid, const char* text) {
  if (!session_.InsertValue(tid, text, 0)) throw ELegacyRejected("value refused");
}

void LegacyTree::Raw(Tid tid, const void* data, uint32_t byteCount) {
  if (!session_.InsertValue(tid, data, byteCount)) throw ELegacyRejected("value refused");
}

void LegacyTree::Alloc(Tid tid, uint32_t size) {
  if (!session_.AllocData(tid, size)) throw ELegacyRejected("data refused");
}

void LegacyTree::Write(Tid tid, uint32_t offset, const void* data, uint32_t length) {
  if (!session_.WriteData(tid, offset, data, length)) throw ELegacyRejected("data refused");
}

}  // namespace kestron4::legacy
