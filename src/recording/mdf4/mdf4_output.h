// The MDF file as it grows: blocks appended on 8-byte boundaries through a
// buffered writer, and links of earlier blocks patched in place.
#pragma once

#include <cstdint>
#include <span>

#include "storage/streams/stream.h"
#include "storage/streams/stream_writer.h"

namespace kestron4::mdf4 {

class BlockOutput {
 public:
  // REQUIRES: stream is positioned at 0 and empty.
  explicit BlockOutput(TStream& stream) : stream_(stream), writer_(stream) {}

  // Writes zeros up to the next 8-byte boundary, then the bytes; returns
  // where they start.
  uint64_t Append(std::span<const uint8_t> bytes);
  // As Append for a block given as header and data (no copy of the data).
  uint64_t Append(std::span<const uint8_t> header, std::span<const uint8_t> data);
  // Writes the 8 bytes of value at offset, which must lie in what was
  // appended. Throws EWriteError when the stream cannot move.
  void PatchU64(uint64_t offset, uint64_t value);
  // Hands everything to the stream. Throws EWriteError.
  void Flush() { writer_.Flush(); }
  uint64_t Size() const { return writer_.BytesWritten(); }

 private:
  void Align();

  TStream& stream_;
  StreamWriter writer_;
};

}  // namespace kestron4::mdf4
