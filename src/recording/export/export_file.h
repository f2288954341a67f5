// An output file of an export, written through the project's safe writer
// (storage/platform/safe_file.h): the bytes go to a scratch file beside the
// target, which takes the target's name only at Commit(). Without Commit()
// (an exception on the way) the scratch file is removed and the target is
// left as it was. Writes are buffered; every failure throws OutputError
// naming the output.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "recording/recording.h"

namespace kstrn::recording {

// An output that cannot be written (a RecordingError, so callers that do not
// care catch both alike).
class OutputError : public RecordingError {
 public:
  using RecordingError::RecordingError;
};

class ExportFile {
 public:
  // Claims the scratch file of path; throws OutputError when the output
  // cannot be written there (missing folder, no permission, ...).
  explicit ExportFile(const std::string& path);
  ~ExportFile();
  ExportFile(const ExportFile&) = delete;
  ExportFile& operator=(const ExportFile&) = delete;

  void Write(const void* data, std::size_t size);
  void Write(std::string_view text) { Write(text.data(), text.size()); }
  // Bytes written so far (the next write's offset).
  uint64_t Offset() const { return offset_; }
  // Overwrites bytes already written at offset (for sizes and links known
  // only later). REQUIRES: offset + size <= Offset().
  void Patch(uint64_t offset, const void* data, std::size_t size);
  // Flushes, makes the file durable and gives it its name.
  void Commit();
  const std::string& Path() const { return path_; }

 private:
  struct Impl;
  void Flush();
  std::string path_;
  std::unique_ptr<Impl> impl_;
  std::vector<char> buffer_;
  uint64_t offset_ = 0;
};

// Several outputs that take their names together: each is complete before
// any is committed, so a failure while writing leaves every target as it
// was.
class ExportFiles {
 public:
  ExportFile& Add(const std::string& path);
  void CommitAll();

 private:
  std::vector<std::unique_ptr<ExportFile>> files_;
};

}  // namespace kstrn::recording
