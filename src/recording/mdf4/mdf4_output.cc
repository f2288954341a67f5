#include "recording/mdf4/mdf4_output.h"

namespace kstrn::recording::mdf4 {

uint64_t BlockOutput::Append(std::span<const uint8_t> bytes) {
  static constexpr uint8_t kZeros[8] = {};
  sink_.Write(kZeros, (8 - sink_.Offset() % 8) % 8);
  const uint64_t at = sink_.Offset();
  sink_.Write(bytes.data(), bytes.size());
  return at;
}

uint64_t BlockOutput::Append(std::span<const uint8_t> header, std::span<const uint8_t> data) {
  const uint64_t at = Append(header);
  sink_.Write(data.data(), data.size());
  return at;
}

void BlockOutput::PatchU64(uint64_t offset, uint64_t value) {
  uint8_t bytes[8];
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
  sink_.Patch(offset, bytes, 8);
}

}  // namespace kstrn::recording::mdf4
