// Random-access reads of an older logger file at fixed offsets. The fields
// are small and scattered over the first few kilobytes, so reads go through
// one aligned window: a whole setup file costs one or two reads of the
// stream. Runs of recorded samples that the window does not already hold are
// read straight from the stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "storage/streams/stream.h"

namespace kestron4::legacy {

class LegacyReader {
 public:
  static constexpr std::size_t kWindow = 16 * 1024;

  // Takes the stream's size once; the stream must outlive the reader.
  explicit LegacyReader(TStream& stream);

  uint64_t size() const { return size_; }

  // Each accessor throws EReadError when the field does not lie wholly
  // inside the file, as the stream itself would.
  uint8_t U8(uint64_t offset);
  uint16_t U16(uint64_t offset);    // little-endian
  uint16_t U16BE(uint64_t offset);  // big-endian
  float F32(uint64_t offset);       // little-endian IEEE single
  void Bytes(uint64_t offset, void* destination, std::size_t count);

  // Copies a run of any length: from the window when it holds the run,
  // otherwise straight from the stream.
  void ReadRun(uint64_t offset, void* destination, uint64_t count);

 private:
  const uint8_t* At(uint64_t offset, std::size_t count);
  void ReadStream(uint64_t offset, void* destination, uint64_t count);

  TStream& stream_;
  uint64_t size_;
  std::vector<uint8_t> window_;
  uint64_t windowStart_ = 0;
};

}  // namespace kestron4::legacy
