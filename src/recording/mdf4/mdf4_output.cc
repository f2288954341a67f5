#include "recording/mdf4/mdf4_output.h"

namespace kestron4::mdf4 {

void BlockOutput::Align() {
  static constexpr uint8_t kZeros[8] = {};
  writer_.Write(kZeros, (8 - writer_.BytesWritten() % 8) % 8);
}

uint64_t BlockOutput::Append(std::span<const uint8_t> bytes) {
  Align();
  const uint64_t at = writer_.BytesWritten();
  writer_.Write(bytes.data(), bytes.size());
  return at;
}

uint64_t BlockOutput::Append(std::span<const uint8_t> header, std::span<const uint8_t> data) {
  const uint64_t at = Append(header);
  writer_.Write(data.data(), data.size());
  return at;
}

void BlockOutput::PatchU64(uint64_t offset, uint64_t value) {
  writer_.Flush();
  uint8_t bytes[8];
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
  if (!stream_.Seek(static_cast<int64_t>(offset), kSeekBegin)) throw EWriteError();
  stream_.Write(bytes, 8);
  if (!stream_.Seek(static_cast<int64_t>(writer_.BytesWritten()), kSeekBegin)) throw EWriteError();
}

}  // namespace kestron4::mdf4
