#include "storage/streams/mem_ref_stream.h"

#include <cstring>

namespace kestron4 {

TMemRefStream::TMemRefStream(void* base, int64_t size)
    : base_(static_cast<uint8_t*>(base)), size_(size < 0 ? 0 : size), read_only_(false) {}

TMemRefStream::TMemRefStream(const void* base, int64_t size)
    // The pointer is only ever written through when read_only_ is false.
    : base_(static_cast<uint8_t*>(const_cast<void*>(base))),
      size_(size < 0 ? 0 : size),
      read_only_(true) {}

std::unique_ptr<TStream> TMemRefStream::Clone() {
  auto clone = std::make_unique<TMemRefStream>(static_cast<void*>(base_), size_);
  clone->position_ = position_;
  clone->read_only_ = read_only_;
  return clone;
}

bool TMemRefStream::Seek(int64_t offset, uint32_t origin) {
  int64_t from;
  switch (origin) {
    case kSeekBegin:
      from = 0;
      break;
    case kSeekCurrent:
      from = position_;
      break;
    case kSeekEnd:
      from = size_;
      break;
    default:
      return true;
  }
  int64_t target;
  if (__builtin_add_overflow(from, offset, &target) || target < 0 || target > size_) return false;
  position_ = target;
  return true;
}

void TMemRefStream::Read(void* destination, int64_t count) {
  if (count < 0 || count > size_ - position_) throw EReadError();
  if (count == 0) return;
  std::memcpy(destination, base_ + position_, static_cast<size_t>(count));
  position_ += count;
}

void TMemRefStream::Write(const void* source, int64_t count) {
  if (read_only_ || count < 0 || count > size_ - position_) throw EWriteError();
  if (count == 0) return;
  std::memcpy(base_ + position_, source, static_cast<size_t>(count));
  position_ += count;
}

}  // namespace kestron4
