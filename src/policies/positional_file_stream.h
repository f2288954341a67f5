// A read-only stream over a file that reads at its own position
// (Platform::ReadAt): seeking costs no system call, and the file's own
// offset is never used or moved. So clones can share one open file, each
// with a position of its own, and a file shared with a caller keeps the
// caller's offset. Sessions read their source files through it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "storage/platform/platform.h"
#include "storage/streams/stream.h"

namespace kestron4 {

class PositionalFileStream : public TStream {
 public:
  // Opens path read-only. Throws EOpenError.
  static std::unique_ptr<PositionalFileStream> Open(const std::string& path);
  // Reads the open file through a duplicate, so the caller may close theirs.
  // Throws EOpenError when file cannot be duplicated.
  static std::unique_ptr<PositionalFileStream> Duplicate(NativeFile file);
  // Reads through file without owning it: it must stay open while this
  // stream and its clones live.
  static std::unique_ptr<PositionalFileStream> Borrow(NativeFile file);

  // Shares the open file; the position starts where this stream's is.
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

  NativeFile Descriptor() const { return descriptor_->fd; }

 private:
  struct SharedFd {
    NativeFile fd = kNoFile;
    bool owned = false;
    ~SharedFd();
  };
  explicit PositionalFileStream(std::shared_ptr<const SharedFd> descriptor)
      : descriptor_(std::move(descriptor)) {}

  std::shared_ptr<const SharedFd> descriptor_;
  int64_t position_ = 0;
};

}  // namespace kestron4
