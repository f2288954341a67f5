#include "block.h"

#include <limits>
#include <vector>

#include "value_codec.h"

namespace kestron4::binding {
namespace py = pybind11;

namespace {

constexpr uint16_t kTidDataSize = 1066;
constexpr uint32_t kMaxBlocks = 65535;

// Resolves a Python index (negative from the end) against count; raises
// IndexError outside.
uint32_t CheckIndex(int64_t index, uint32_t count, uint16_t tid) {
  const int64_t resolved = index < 0 ? index + count : index;
  if (resolved < 0 || resolved >= count) {
    throw py::index_error("item " + std::to_string(tid) + " has " + std::to_string(count) +
                          " blocks, no index " + std::to_string(index));
  }
  return static_cast<uint32_t>(resolved);
}

void RequireItemTid(uint16_t tid) {
  if (tid == 0 || KSTRN_IsValueID(tid)) {
    throw py::value_error(std::to_string(tid) + " is not an item TID");
  }
}

}  // namespace

bool Block::SameAs(const Block& other) const {
  if (state_ != other.state_) return false;
  return KSTRN_BookMarksEquivalent(bookmark_, other.bookmark_, state_->Live());
}

py::object Block::Position() const {
  const KSTRN_SessionHandle s = Enter();
  uint16_t tid = 0;
  uint32_t index = 0;
  if (!KSTRN_GetParentTID(&tid, &index, s)) return py::none();
  return py::make_tuple(tid, index);
}

py::object Block::Parent() const {
  const KSTRN_SessionHandle s = Enter();
  uint16_t tid = 0;
  uint32_t index = 0;
  if (!KSTRN_GetParentTID(&tid, &index, s)) return py::none();
  KSTRN_CloseItem(s);
  state_->CursorMoved();
  return py::cast(Here());
}

py::list Block::ValueTids() const {
  const KSTRN_SessionHandle s = Enter();
  uint16_t count = 0;
  KSTRN_GetValueCount(&count, s);
  std::vector<uint16_t> tids(count);
  KSTRN_GetValueList(tids.data(), s);
  py::list out(count);
  for (uint16_t i = 0; i < count; ++i) out[i] = py::int_(tids[i]);
  return out;
}

py::list Block::ItemTids() const {
  const KSTRN_SessionHandle s = Enter();
  uint16_t count = 0;
  KSTRN_GetTypeCount(&count, s);
  std::vector<uint16_t> tids(count);
  KSTRN_GetTypeList(tids.data(), s);
  py::list out(count);
  for (uint16_t i = 0; i < count; ++i) out[i] = py::int_(tids[i]);
  return out;
}

uint32_t Block::Count(uint16_t tid) const {
  const KSTRN_SessionHandle s = Enter();
  uint16_t count = 0;
  KSTRN_GetItemCount(tid, &count, s);
  return count;
}

std::unique_ptr<Block> Block::Child(uint16_t tid, int64_t index) const {
  const uint32_t at = CheckIndex(index, Count(tid), tid);
  const KSTRN_SessionHandle s = Enter();
  if (!KSTRN_OpenItem(tid, static_cast<int32_t>(at), s)) ThrowLastError();
  state_->CursorMoved();
  return Here();
}

py::list Block::Children(uint16_t tid) const {
  const uint32_t count = Count(tid);
  py::list out(count);
  for (uint32_t i = 0; i < count; ++i) {
    const KSTRN_SessionHandle s = Enter();
    if (!KSTRN_OpenItem(tid, static_cast<int32_t>(i), s)) ThrowLastError();
    state_->CursorMoved();
    out[i] = py::cast(Here());
  }
  return out;
}

bool Block::Has(uint16_t tid) const { return KSTRN_GetValueHandle(tid, Enter()) != nullptr; }

py::object Block::Get(uint16_t tid) const {
  const KSTRN_SessionHandle s = Enter();
  return Decode(tid, ReadPayload(tid, s), s);
}

py::bytes Block::Raw(uint16_t tid) const { return py::bytes(ReadPayload(tid, Enter())); }

py::list Block::ValueItems() const {
  const KSTRN_SessionHandle s = Enter();
  uint16_t count = 0;
  KSTRN_GetValueCount(&count, s);
  std::vector<uint16_t> tids(count);
  KSTRN_GetValueList(tids.data(), s);
  py::list out(count);
  for (uint16_t i = 0; i < count; ++i) {
    out[i] = py::make_tuple(tids[i], Decode(tids[i], ReadPayload(tids[i], s), s));
  }
  return out;
}

void Block::RefuseIfBlobViewed() const {
  if (state_->HasExports()) state_->RefuseIfExported(PathFromRoot(), true);
}

void Block::Set(uint16_t tid, py::handle value, const std::string& encoding) const {
  if (tid == kTidData || tid == kTidDataSize) RefuseIfBlobViewed();
  Store(tid, value, encoding, Enter());
}

void Block::DeleteValue(uint16_t tid) const {
  if (tid == kTidData) RefuseIfBlobViewed();
  if (!KSTRN_DeleteValue(tid, Enter())) ThrowLastError();
}

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

py::object Block::Find(uint16_t tid, uint16_t keyTid, py::handle key, bool deep) const {
  RequireItemTid(tid);
  std::string bytes;
  bool utf8 = false;
  if (keyTid != 0) {
    const Kind kind = KindOf(keyTid);
    if (kind == Kind::kNone) throw py::value_error(std::to_string(keyTid) + " is not a value TID");
    if (kind == Kind::kShort || kind == Kind::kLong) {
      utf8 = py::isinstance<py::str>(key);
      bytes = utf8 ? key.cast<std::string>() : BytesOf(key);
      if (bytes.find('\0') != std::string::npos && (utf8 || bytes.find('\0') + 1 != bytes.size()))
        throw py::value_error("a text key ends at its only NUL");
      if (bytes.empty() || bytes.back() != '\0') bytes.push_back('\0');
    } else if (kind == Kind::kFixed) {
      bytes = EncodeFixed(keyTid, key);
    }
  }
  const KSTRN_SessionHandle s = Enter();
  const char* k = bytes.data();
  const bool found =
      deep ? (utf8 ? KSTRN_FindTypeUTF8(tid, keyTid, k, s) : KSTRN_FindType(tid, keyTid, k, s))
           : (utf8 ? KSTRN_FindLocalTypeUTF8(tid, keyTid, k, s)
                   : KSTRN_FindLocalType(tid, keyTid, k, s));
  if (!found) return py::none();
  state_->CursorMoved();
  return py::cast(Here());
}

std::unique_ptr<Block> Block::Reference(uint16_t number) const {
  const KSTRN_SessionHandle s = Enter();
  if (!KSTRN_GotoReference(number, s)) ThrowLastError();
  state_->CursorMoved();
  return Here();
}

void Block::Refer(const Block& target, uint16_t number, uint16_t keyTid) const {
  if (target.state_ != state_) throw py::value_error("the target belongs to another session");
  target.Enter();  // raises for a deleted target
  if (!KSTRN_CreateReference(target.bookmark_, number, keyTid, Enter())) ThrowLastError();
}

py::list Block::Referrers(uint16_t keyTid) const {
  const KSTRN_SessionHandle s = Enter();
  uint32_t count = 0;
  if (!KSTRN_GetRefdValue(keyTid, nullptr, 0, &count, s)) ThrowLastError();
  std::vector<uint32_t> marks(count);
  if (count != 0 && !KSTRN_GetRefdValue(keyTid, marks.data(), count, &count, s)) ThrowLastError();
  state_->CursorMoved();
  py::list out;
  for (uint32_t i = 0; i < count && i < marks.size(); ++i) {
    out.append(py::cast(std::make_unique<Block>(state_, marks[i])));
  }
  return out;
}

py::bytes Block::ToBytes() const {
  const KSTRN_SessionHandle s = Enter();
  const uint64_t size = KSTRN_SerializeItemSize(s);
  if (size > std::numeric_limits<uint32_t>::max())
    ThrowError(KSTRN_ErrFileAccess, "the block is larger than 4 GiB");
  std::string out(size, '\0');
  if (!KSTRN_SerializeItem(out.data(), static_cast<uint32_t>(size), s)) ThrowLastError();
  return py::bytes(out);
}

std::optional<uint32_t> Block::BlobSize() const {
  const KSTRN_SessionHandle s = Enter();
  const KSTRN_ValueHandle value = KSTRN_GetValueHandle(kTidData, s);
  uint32_t size = 0;
  if (value == nullptr || !KSTRN_GetValSize(kTidData, &size, s)) return std::nullopt;
  return BlobLength(value, size, s);
}

py::object Block::View() const {
  const std::optional<uint32_t> size = BlobSize();
  if (!size) ThrowError(KSTRN_ErrValueNotFound, "the block has no blob");
  const KSTRN_SessionHandle s = Enter();
  const void* data = nullptr;
  if (!KSTRN_GetValuePtr(kTidData, &data, s)) ThrowLastError();
  if (data == nullptr) return py::none();  // not in memory: read it in pieces
  const uint32_t mark = state_->Mark();
  return py::cast(std::make_unique<BlobView>(state_, state_->handle(), mark, data, *size));
}

py::bytes Block::ReadBlob(uint64_t offset, uint64_t count) const {
  const std::optional<uint32_t> size = BlobSize();
  if (!size) ThrowError(KSTRN_ErrValueNotFound, "the block has no blob");
  if (offset > *size || count > *size - offset) {
    throw py::index_error("range " + std::to_string(offset) + "+" + std::to_string(count) +
                          " passes the blob's " + std::to_string(*size) + " bytes");
  }
  std::string out(count, '\0');
  const KSTRN_SessionHandle s = Enter();
  if (count != 0 && !KSTRN_ReadValue(KSTRN_GetValueHandle(kTidData, s), static_cast<uint32_t>(offset),
                                     out.data(), static_cast<uint32_t>(count), s))
    ThrowError(KSTRN_ErrFileAccess, "the blob could not be read");
  return py::bytes(out);
}

void Block::SetBlob(py::handle data) const { Set(kTidData, data, "utf8"); }

void Block::AllocBlob(uint32_t size) const {
  RefuseIfBlobViewed();
  if (!KSTRN_AllocData(size, Enter())) ThrowLastError();
}

void Block::WriteBlob(uint64_t offset, py::handle data) const {
  const std::string bytes = BytesOf(data);
  if (offset > std::numeric_limits<uint32_t>::max() ||
      bytes.size() > std::numeric_limits<uint32_t>::max())
    throw py::index_error("offset or length past 4 GiB");
  if (!KSTRN_WriteData(static_cast<uint32_t>(bytes.size()), bytes.data(),
                       static_cast<uint32_t>(offset), Enter()))
    ThrowLastError();
}

BlobView::BlobView(std::shared_ptr<SessionState> state, std::shared_ptr<Handle> handle,
                   uint32_t bookmark, const void* data, uint32_t size)
    : state_(std::move(state)), handle_(std::move(handle)), bookmark_(bookmark), data_(data),
      size_(size) {
  state_->AddExport(bookmark_);
}

BlobView::~BlobView() {
  state_->RemoveExport(bookmark_);
  if (!state_->Closed()) {
    state_->Forget(bookmark_);
  } else {
    KSTRN_RemoveBookMark(bookmark_, handle_->get());
  }
}

py::buffer_info BlobView::Info() const {
  return py::buffer_info(const_cast<void*>(data_), 1, py::format_descriptor<uint8_t>::format(), 1,
                         {static_cast<py::ssize_t>(size_)}, {1}, true);
}

}  // namespace kestron4::binding
