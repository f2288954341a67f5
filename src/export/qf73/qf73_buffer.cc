#include "export/qf73/qf73_buffer.h"

#include <limits>

#include "storage/streams/stream.h"

namespace kestron4::qf73 {

void Qf73Buffer::Reserve(std::size_t more) {
  if (more > std::numeric_limits<uint32_t>::max() - bytes_.size()) throw EWriteError();
}

void Qf73Buffer::Put8(uint8_t v) {
  Reserve(1);
  bytes_.push_back(v);
}

void Qf73Buffer::Put16(uint16_t v) {
  Reserve(2);
  bytes_.push_back(static_cast<uint8_t>(v));
  bytes_.push_back(static_cast<uint8_t>(v >> 8));
}

void Qf73Buffer::Put32(uint32_t v) {
  Reserve(4);
  for (int shift = 0; shift < 32; shift += 8) bytes_.push_back(static_cast<uint8_t>(v >> shift));
}

void Qf73Buffer::PutBytes(const void* data, std::size_t count) {
  if (count == 0) return;
  Reserve(count);
  const auto* p = static_cast<const uint8_t*>(data);
  bytes_.insert(bytes_.end(), p, p + count);
}

void Qf73Buffer::Patch16(uint32_t offset, uint16_t v) {
  bytes_.at(offset + 1) = static_cast<uint8_t>(v >> 8);
  bytes_[offset] = static_cast<uint8_t>(v);
}

void Qf73Buffer::Patch32(uint32_t offset, uint32_t v) {
  bytes_.at(offset + 3);  // range check before any byte changes
  for (int i = 0; i < 4; ++i) bytes_[offset + i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t Qf73Buffer::BeginBlock() {
  const uint32_t start = Position();
  Put32(0);
  return start;
}

void Qf73Buffer::EndBlock(uint32_t start) { Patch32(start, Position() - start - 4); }

void Qf73Buffer::PadTo4() {
  while (bytes_.size() % 4 != 0) Put8(0);
}

}  // namespace kestron4::qf73
