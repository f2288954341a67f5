#include "kstrn_container_bytes.h"

namespace kstrn::tool {

ContainerBytes::ContainerBytes(std::size_t sizeHint) : bytes_("KESTRON v1.00 file\x1a", 19) {
  bytes_.reserve(sizeHint);
}

void ContainerBytes::U16(uint16_t v) {
  bytes_.push_back(static_cast<char>(v));
  bytes_.push_back(static_cast<char>(v >> 8));
}

void ContainerBytes::BeginBlock() {
  sizeFields_.push_back(bytes_.size());
  bytes_.append(4, '\0');  // filled in by EndBlock
}

void ContainerBytes::Item(uint16_t tid, uint16_t blockCount) {
  U16(tid);
  U16(blockCount);
}

void ContainerBytes::Value(uint16_t tid, const std::vector<uint8_t>& stored) {
  U16(tid);
  bytes_.append(stored.begin(), stored.end());
}

void ContainerBytes::EndEntries() { U16(0); }

void ContainerBytes::EndBlock() {
  const std::size_t at = sizeFields_.back();
  sizeFields_.pop_back();
  // Only the low 32 bits fit; the loader recomputes sizes anyway.
  const uint64_t size = bytes_.size() - at - 4;
  for (int i = 0; i < 4; ++i) bytes_[at + i] = static_cast<char>(size >> (8 * i));
}

}  // namespace kstrn::tool
