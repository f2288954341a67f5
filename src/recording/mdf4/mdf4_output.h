// The MDF file as it grows: blocks appended on 8-byte boundaries, and links
// of earlier blocks patched in place.
#pragma once

#include <cstdint>
#include <span>

#include "recording/writer_input/byte_sink.h"

namespace kstrn::recording::mdf4 {

class BlockOutput {
 public:
  // REQUIRES: sink is empty.
  explicit BlockOutput(written::ByteSink& sink) : sink_(sink) {}

  // Writes zeros up to the next 8-byte boundary, then the bytes; returns
  // where they start.
  uint64_t Append(std::span<const uint8_t> bytes);
  // As Append for a block given as header and data (no copy of the data).
  uint64_t Append(std::span<const uint8_t> header, std::span<const uint8_t> data);
  // Writes the 8 bytes of value at offset, which must lie in what was
  // appended.
  void PatchU64(uint64_t offset, uint64_t value);
  uint64_t Size() const { return sink_.Offset(); }

 private:
  written::ByteSink& sink_;
};

}  // namespace kstrn::recording::mdf4
