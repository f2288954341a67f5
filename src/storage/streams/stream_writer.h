// Sequential writing to a TStream without a system call per value: bytes
// gather in a 64 KiB buffer that goes out in whole pieces. A TMemRefStream
// is written directly (its writes are plain copies), which also keeps its
// exact behaviour of refusing a piece that does not fit.
//
// The writer keeps a sticky failure: once a write to the stream threw
// EWriteError, every later Write and Flush throws EWriteError again without
// touching the stream, so a save that ignores one failure cannot go on to
// write a file with a hole in it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "storage/streams/stream.h"

namespace kestron4 {

class StreamWriter {
 public:
  static constexpr size_t kBufferSize = size_t{64} << 10;

  explicit StreamWriter(TStream& stream);
  // Bytes not yet flushed are dropped: a writer destroyed by an exception
  // must not write a partial tail. Call Flush() when done.
  ~StreamWriter() = default;
  StreamWriter(const StreamWriter&) = delete;
  StreamWriter& operator=(const StreamWriter&) = delete;

  void Write(const void* source, size_t count) {
    if (count <= kBufferSize - used_ && !direct_ && !failed_) {
      if (count != 0) std::memcpy(buffer_.data() + used_, source, count);
      used_ += count;
      written_ += count;
    } else {
      WriteSlow(source, count);
    }
  }
  void WriteU8(uint8_t value) { WriteLittleEndian(value, 1); }
  // Little-endian, as the files store them.
  void WriteU16(uint16_t value) { WriteLittleEndian(value, 2); }
  void WriteU32(uint32_t value) { WriteLittleEndian(value, 4); }
  void WriteU64(uint64_t value) { WriteLittleEndian(value, 8); }
  // Hands everything buffered to the stream.
  void Flush();

  // For a stream that is a new file being written at its end, where bytes
  // never written read as zeros: SkipZeros(count) then stands for writing
  // count zero bytes and leaves a hole instead (EWriteError if the stream
  // cannot move). A later Write must follow, to give the file its length.
  void AllowHoles() { holes_ = !direct_; }
  bool HolesAllowed() const { return holes_; }
  void SkipZeros(uint64_t count);

  // Bytes accepted by Write so far, flushed or not.
  uint64_t BytesWritten() const { return written_; }
  bool Failed() const { return failed_; }

 private:
  void WriteLittleEndian(uint64_t value, size_t width) {
    uint8_t bytes[8];
    for (size_t i = 0; i < width; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    Write(bytes, width);
  }
  void WriteSlow(const void* source, size_t count);
  // Passes bytes to the stream, recording a failure.
  void Emit(const void* source, size_t count);

  TStream& stream_;
  bool direct_;
  bool failed_ = false;
  bool holes_ = false;
  uint64_t written_ = 0;
  size_t used_ = 0;
  std::vector<uint8_t> buffer_;
};

}  // namespace kestron4
