// A stream over a file descriptor. Reads and writes move exactly the bytes
// asked for, retrying short transfers and interrupted calls, or throw.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "storage/streams/stream.h"

namespace kestron4 {

// Open modes. Linux has no share modes: ModeShareAll and ModeShareRead are
// kept with the stream (and handed on by Clone) but change nothing.
enum FileMode : uint32_t {
  ModeReadOnly = 1,  // O_RDONLY; without it O_RDWR
  ModeShareAll = 2,
  ModeCreate = 4,  // O_CREAT | O_TRUNC: create, or empty an existing file
  ModeShareRead = 8,
};
// Read-write without ModeCreate opens an existing file and empties it.
constexpr uint32_t kDefaultFileMode = ModeReadOnly | ModeShareAll;

class TFileStream : public TStream {
 public:
  // A stream without a file: every read or write throws, sizes are 0.
  TFileStream() = default;
  // Uses fd without owning it: destroying the stream leaves fd open. Mode 3,
  // no path. The stream reads and moves fd's own file offset.
  explicit TFileStream(int fd);
  // Opens path (bytes passed to the system as they are) with mode, owning
  // the descriptor. Throws EOpenError.
  TFileStream(std::string path, uint32_t mode);
  // As above for a UTF-16 path, opened by its UTF-8 form.
  TFileStream(std::u16string path, uint32_t mode);
  // Mode 3; opens path8 if it is non-empty, otherwise path16. Throws EOpenError.
  TFileStream(std::string path8, std::u16string path16);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  // Takes ownership of an open descriptor that was opened from path with the
  // given mode (used by code that must open with flags of its own, such as
  // O_EXCL for scratch files).
  static std::unique_ptr<TFileStream> Adopt(int fd, std::string path, uint32_t mode);

  // A new stream over the same file with its own offset (starting at 0),
  // reopened by path with this stream's access. Reopening never creates or
  // empties the file, whatever the mode says. A stream made from a
  // descriptor is reopened through PathOfDescriptor(); when the descriptor
  // has no path, or this stream has no descriptor, the clone has none either
  // and every read or write on it throws. Throws EOpenError when the path
  // cannot be opened.
  std::unique_ptr<TStream> Clone() override;
  // Origin is kSeekBegin, kSeekCurrent or kSeekEnd; false for any other
  // origin or when the system refuses the move (a negative target).
  bool Seek(int64_t offset, uint32_t origin) override;
  void Read(void* destination, int64_t count) override;
  void Write(const void* source, int64_t count) override;
  // 0 when it cannot be had (no descriptor, or not a regular file).
  int64_t GetSize() override;
  // 0 when it cannot be had.
  int64_t GetPosition() override;

  // Closes an owned descriptor now and reports whether close succeeded (a
  // late write error shows up here). An unowned descriptor is only let go.
  // Afterwards the stream has no descriptor.
  bool Close();

  int Handle() const { return fd_; }
  bool OwnsHandle() const { return owns_; }
  uint32_t Mode() const { return mode_; }
  const std::string& Path8() const { return path8_; }
  const std::u16string& Path16() const { return path16_; }

 private:
  int fd_ = -1;
  bool owns_ = false;
  std::string path8_;
  std::u16string path16_;
  uint32_t mode_ = kDefaultFileMode;
};

}  // namespace kestron4
