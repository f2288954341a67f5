// Structural edits of a block: new blocks, deletions, moves, copies.
#include "block.h"


#include "block_args.h"
#include "value_codec.h"

namespace kestron4::binding {
namespace py = pybind11;

py::list Block::AddBlocks(uint16_t tid, uint32_t count) const {
  RequireItemTid(tid);
  const uint32_t before = Count(tid);
  if (count == 0 || count > kMaxBlocks - before) {
    throw py::value_error("item " + std::to_string(tid) + " has " + std::to_string(before) +
                          " blocks; adding " + std::to_string(count) +
                          " would leave it outside 1..65535");
  }
  if (!KSTRN_InsertItemBlocks(tid, static_cast<uint16_t>(count), Enter())) ThrowLastError();
  py::list out(count);
  for (uint32_t i = 0; i < count; ++i) out[i] = py::cast(Child(tid, before + i));
  return out;
}

void Block::DeleteSelf() const {
  if (state_->HasExports()) state_->RefuseIfExported(PathFromRoot(), false);
  const KSTRN_SessionHandle s = Enter();
  const bool ok = KSTRN_DeleteCurrentItem(s);
  state_->CursorMoved();
  if (!ok) ThrowError(KSTRN_ErrTypeNotFound, "the root cannot be deleted");
}

void Block::DeleteItem(uint16_t tid, std::optional<int64_t> index) const {
  const uint32_t count = Count(tid);
  if (count == 0 && !index) ThrowError(KSTRN_ErrTypeNotFound, "no item " + std::to_string(tid));
  const std::optional<uint32_t> at =
      index ? std::optional<uint32_t>(CheckIndex(*index, count, tid)) : std::nullopt;
  if (state_->HasExports()) {
    Path prefix = PathFromRoot();
    if (at) prefix.emplace_back(tid, *at);
    state_->RefuseIfExported(prefix, false, at ? -1 : tid);
  }
  const KSTRN_SessionHandle s = Enter();
  const bool ok = at ? KSTRN_DeleteItem(tid, static_cast<int32_t>(*at), s)
                     : KSTRN_DeleteItemBlocks(tid, s);
  state_->CursorMoved();
  if (!ok) ThrowLastError();
}

void Block::Move(int64_t index) const {
  const KSTRN_SessionHandle s = Enter();
  uint16_t tid = 0;
  uint32_t at = 0;
  if (!KSTRN_GetParentTID(&tid, &at, s)) ThrowError(KSTRN_ErrTypeNotFound, "the root cannot be moved");
  KSTRN_CloseItem(s);
  state_->CursorMoved();
  uint16_t siblings = 0;
  KSTRN_GetItemCount(tid, &siblings, s);
  const uint32_t target = CheckIndex(index, siblings, tid);
  const bool ok = KSTRN_MoveCurrentItem(static_cast<uint16_t>(target), Enter());
  state_->CursorMoved();
  if (!ok) ThrowLastError();
}

void Block::ChangeTid(uint16_t tid) const {
  RequireItemTid(tid);
  const KSTRN_SessionHandle s = Enter();
  const bool ok = KSTRN_ChangeTID(tid, s);
  state_->CursorMoved();
  if (!ok) ThrowError(KSTRN_ErrPastLastBlock, "the root has no TID to change");
}

void Block::CopyFrom(const Block& source, bool contents) const {
  // Copied contents replace this block's blob if the source has one.
  if (contents) RefuseIfBlobViewed();
  if (state_ == source.state_) {
    // One cursor cannot be on both blocks: copy through a session of its own.
    const std::string bytes = source.ToBytes();
    KSTRN_SessionHandle copy = nullptr;
    if (!KSTRN_OpenSessionBuffer(bytes.data(), static_cast<uint32_t>(bytes.size()), &copy)) {
      KSTRN_CloseSession(copy);
      ThrowLastError();
    }
    const Handle owner(copy);
    const py::object position = source.Position();
    if (!contents && !position.is_none()) {
      // KSTRN_CopyBlocks takes the item TID from the source's parent; keep it
      // by hanging the copy under its own item in a carrier session.
      const auto tid = position.cast<py::tuple>()[0].cast<uint16_t>();
      KSTRN_SessionHandle carrier = nullptr;
      KSTRN_NewSession(&carrier);
      const Handle carrierOwner(carrier);
      KSTRN_InsertItemBlocks(tid, 1, carrier);
      KSTRN_OpenItem(tid, 0, carrier);
      KSTRN_CopyContents(copy, carrier);
      KSTRN_CopyBlocks(carrier, Enter());
    } else {
      KSTRN_CopyContents(copy, Enter());
    }
    state_->CursorMoved();
    return;
  }
  const KSTRN_SessionHandle from = source.Enter();
  const KSTRN_SessionHandle to = Enter();
  const bool ok = contents ? KSTRN_CopyContents(from, to) : KSTRN_CopyBlocks(from, to);
  state_->CursorMoved();
  source.state_->CursorMoved();
  if (!ok) ThrowLastError();
}

}  // namespace kestron4::binding
