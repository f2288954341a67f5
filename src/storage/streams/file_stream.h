// A stream over an open file of the platform. Reads and writes move exactly
// the bytes asked for, retrying short transfers, or throw.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "storage/platform/platform.h"
#include "storage/streams/stream.h"

namespace kestron4 {

// Open modes. Files are always opened sharing every access (as POSIX files
// are), so ModeShareAll and ModeShareRead are kept with the stream (and
// handed on by Clone) but change nothing.
enum FileMode : uint32_t {
  ModeReadOnly = 1,  // without it read-write
  ModeShareAll = 2,
  ModeCreate = 4,  // create, or empty an existing file
  ModeShareRead = 8,
};
// Read-write without ModeCreate opens an existing file and empties it.
constexpr uint32_t kDefaultFileMode = ModeReadOnly | ModeShareAll;

class TFileStream : public TStream {
 public:
  // A stream without a file: every read or write throws, sizes are 0.
  TFileStream() = default;
  // Uses file without owning it: destroying the stream leaves it open. Mode
  // 3, no path. The stream reads and moves the file's own offset.
  explicit TFileStream(NativeFile file);
  // Opens path (bytes passed to the system as they are) with mode, owning
  // the file. Throws EOpenError.
  TFileStream(std::string path, uint32_t mode);
  // As above for a UTF-16 path, opened by its UTF-8 form.
  TFileStream(std::u16string path, uint32_t mode);
  // Mode 3; opens path8 if it is non-empty, otherwise path16. Throws EOpenError.
  TFileStream(std::string path8, std::u16string path16);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  // Takes ownership of a file that was opened from path with the given mode
  // (used by code that must open with flags of its own, such as exclusive
  // creation for scratch files).
  static std::unique_ptr<TFileStream> Adopt(NativeFile file, std::string path, uint32_t mode);

  // A new stream over the same file with its own offset (starting at 0),
  // reopened by path with this stream's access. Reopening never creates or
  // empties the file, whatever the mode says. A stream made from an open
  // file is reopened through Platform::PathOf(); when the file has no path,
  // or this stream has no file, the clone has none either
  // and every read or write on it throws. Throws EOpenError when the path
  // cannot be opened.
  std::unique_ptr<TStream> Clone() override;
  // Origin is kSeekBegin, kSeekCurrent or kSeekEnd; false for any other
  // origin or when the system refuses the move (a negative target).
  bool Seek(int64_t offset, uint32_t origin) override;
  void Read(void* destination, int64_t count) override;
  void Write(const void* source, int64_t count) override;
  // 0 when it cannot be had (no file, or not a regular file).
  int64_t GetSize() override;
  // 0 when it cannot be had.
  int64_t GetPosition() override;

  // Closes an owned file now and reports whether closing succeeded (a late
  // write error shows up here). An unowned file is only let go. Afterwards
  // the stream has no file.
  bool Close();

  NativeFile Handle() const { return file_; }
  bool OwnsHandle() const { return owns_; }
  uint32_t Mode() const { return mode_; }
  const std::string& Path8() const { return path8_; }
  const std::u16string& Path16() const { return path16_; }

 private:
  NativeFile file_ = kNoFile;
  bool owns_ = false;
  std::string path8_;
  std::u16string path16_;
  uint32_t mode_ = kDefaultFileMode;
};

}  // namespace kestron4
