#include "export/qf73/qf73_values.h"

#include <cstring>

#include "session/records.h"
#include "storage/streams/stream.h"

namespace kestron4::qf73 {

bool Qf73Values::Fetch(Tid tid) {
  uint32_t size = 0;
  if (session_.GetValSize(tid, &size) != ErrNone) return false;
  // A short-variable value is written behind a one-byte size. A payload that
  // does not fit it would desynchronise every field after it, so such a
  // session is refused rather than written with a truncated size byte.
  if (IsVariableSize(tid) && size > 255)
    throw Qf73Unwritable("short-variable value longer than 255 bytes");
  if (IsLongVariableSize(tid) && size > 0xFFFF)
    throw Qf73Unwritable("long-variable value longer than 65535 bytes");
  // Fixed values carry no size in the file: a reader takes it from the TID.
  // A stored size that disagrees with the TID cannot be written readably.
  if (!IsStringKind(tid) && tid != kTidData && size != ValSize(tid, 0)) return false;
  if (tid == kTidData) {
    // The size of a blob comes from its value 1066; read exactly that many
    // bytes, so that a blob shorter than its size value fails cleanly, before
    // any room is made for what the size value claims (up to 4 GiB).
    Value* handle = session_.GetValueHandle(tid);
    if (handle == nullptr || size > handle->size) return false;
    if (buffer_.size() < size) buffer_.resize(size);
    // The bytes are there but cannot be read (an outside file or the
    // session's own file failed): the export fails rather than leave the
    // blob out.
    if (!session_.ReadValue(handle, 0, buffer_.data(), size)) throw EReadError();
  } else {
    if (buffer_.size() < size) buffer_.resize(size);
    // A damaged string value may copy nothing; never pass on stale bytes.
    if (size != 0) std::memset(buffer_.data(), 0, size);
    if (session_.GetValue(tid, buffer_.data()) != ErrNone) return false;
  }
  size_ = size;
  return true;
}

std::optional<uint8_t> Qf73Values::U8(Tid tid) {
  if (!Fetch(tid) || size_ != 1) return std::nullopt;
  return buffer_[0];
}

std::optional<uint16_t> Qf73Values::U16(Tid tid) {
  if (!Fetch(tid) || size_ != 2) return std::nullopt;
  return static_cast<uint16_t>(buffer_[0] | buffer_[1] << 8);
}

std::optional<uint32_t> Qf73Values::U32(Tid tid) {
  if (!Fetch(tid) || size_ != 4) return std::nullopt;
  return static_cast<uint32_t>(buffer_[0]) | static_cast<uint32_t>(buffer_[1]) << 8 |
         static_cast<uint32_t>(buffer_[2]) << 16 | static_cast<uint32_t>(buffer_[3]) << 24;
}

ShortText Qf73Values::Text(Tid tid) {
  ShortText text;
  if (!IsVariableSize(tid) || !Fetch(tid)) return text;
  text.present = true;
  text.size = static_cast<uint8_t>(size_);
  if (size_ != 0) std::memcpy(text.bytes, buffer_.data(), size_);
  return text;
}

const std::vector<Tid>& Qf73Values::List() {
  // resize keeps the capacity, so the list buffer only grows.
  list_.resize(session_.GetValueCount());
  if (!list_.empty()) session_.GetValueList(list_.data());
  return list_;
}

}  // namespace kestron4::qf73
