// Navigation, values, lookup and references of a block.
#include "block.h"

#include <limits>
#include <vector>

#include "block_args.h"
#include "value_codec.h"

namespace kestron4::binding {
namespace py = pybind11;

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
  const bool ok = KSTRN_GotoReference(number, Enter());
  state_->CursorMoved();
  if (!ok) ThrowLastError();
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
  bool ok = KSTRN_GetRefdValue(keyTid, nullptr, 0, &count, s);
  std::vector<uint32_t> marks(ok ? count : 0);
  if (ok && count != 0) ok = KSTRN_GetRefdValue(keyTid, marks.data(), count, &count, s);
  state_->CursorMoved();
  if (!ok) ThrowLastError();
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

}  // namespace kestron4::binding
