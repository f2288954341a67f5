// A read-only stream over a file that reads at its own position with pread:
// seeking costs no system call, and the descriptor's file position is never
// used or moved. So clones can share one descriptor, each with a position
// of its own, and a descriptor shared with a caller keeps the caller's
// position. Sessions read their source files through it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "storage/streams/stream.h"

namespace kestron4 {

class PositionalFileStream : public TStream {
 public:
  // Opens path read-only. Throws EOpenError.
  static std::unique_ptr<PositionalFileStream> Open(const std::string& path);
  // Reads the file open at fd through a duplicate of fd, so the caller may
  // close theirs. Throws EOpenError when fd cannot be duplicated.
  static std::unique_ptr<PositionalFileStream> Duplicate(int fd);
  // Reads through fd without owning it: fd must stay open while this stream
  // and its clones live.
  static std::unique_ptr<PositionalFileStream> Borrow(int fd);

  // Shares the descriptor; the position starts where this stream's is.
  std::unique_ptr<TStream> Clone() override;
  // Any target from 0 up is accepted, as for a file; reading past the end
  // fails. False for a negative target or an unknown origin.
  bool Seek(int64_t offset, uint32_t origin) override;
  // Exactly count bytes at the position, or EReadError (position kept).
  void Read(void* destination, int64_t count) override;
  // Always EWriteError.
  void Write(const void* source, int64_t count) override;
  // The file's size now; 0 when it cannot be had.
  int64_t GetSize() override;
  int64_t GetPosition() override { return position_; }

  int Descriptor() const { return descriptor_->fd; }

 private:
  struct SharedFd {
    int fd = -1;
    bool owned = false;
    ~SharedFd();
  };
  explicit PositionalFileStream(std::shared_ptr<const SharedFd> descriptor)
      : descriptor_(std::move(descriptor)) {}

  std::shared_ptr<const SharedFd> descriptor_;
  int64_t position_ = 0;
};

}  // namespace kestron4
