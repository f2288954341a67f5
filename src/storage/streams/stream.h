// Byte streams. Every byte of I/O in the library goes through a TStream:
// TFileStream over a file descriptor, TMemRefStream over a caller's memory
// block, TempFileStream over a scratch file that is removed with the stream.
// Failures are thrown as EOpenError, EReadError and EWriteError.
#pragma once

#include <cstdint>
#include <ios>
#include <memory>

namespace kestron4 {

class EOpenError : public std::ios_base::failure {
 public:
  EOpenError() : std::ios_base::failure("Failed to open file", std::io_errc::stream) {}
};
class EReadError : public std::ios_base::failure {
 public:
  EReadError() : std::ios_base::failure("Failed to read from stream", std::io_errc::stream) {}
};
class EWriteError : public std::ios_base::failure {
 public:
  EWriteError() : std::ios_base::failure("Failed to write to stream", std::io_errc::stream) {}
};

enum SeekOrigin : uint32_t { kSeekBegin = 0, kSeekCurrent = 1, kSeekEnd = 2 };

class TStream {
 public:
  virtual ~TStream() = default;
  // An independent stream over the same bytes with its own position; the
  // caller owns it.
  virtual std::unique_ptr<TStream> Clone() = 0;
  virtual bool Seek(int64_t offset, uint32_t origin) = 0;
  // Reads exactly count bytes or throws EReadError.
  virtual void Read(void* destination, int64_t count) = 0;
  // Writes exactly count bytes or throws EWriteError.
  virtual void Write(const void* source, int64_t count) = 0;
  virtual int64_t GetSize() = 0;
  virtual int64_t GetPosition() = 0;
};

}  // namespace kestron4
