// The blob of a block (values 1063 and 1066) and zero-copy views of it.
#include "block.h"

#include <limits>

#include "block_args.h"
#include "value_codec.h"

namespace kestron4::binding {
namespace py = pybind11;

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
