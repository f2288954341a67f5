// Writes a file so that readers see either the old bytes or all of the new
// ones, never a mixture: the bytes go to a scratch file in the target's
// directory, which is flushed to disk, given the target's permission bits
// and renamed over the target. Any failure removes the scratch file and
// leaves the target as it was.
//
// A symbolic link at the target is followed, so the link stays and the file
// it points to is replaced. An existing target that is not a regular file (a
// device or a pipe) cannot be replaced by renaming; it is written in place.
//
//   AtomicFileWriter file(path);     // throws EOpenError
//   StreamWriter out(file.Stream());
//   ... out.Write(...); out.Flush();
//   file.Commit();                   // throws EWriteError
#pragma once

#include <memory>
#include <string>

#include "storage/streams/file_stream.h"

namespace kestron4 {

class AtomicFileWriter {
 public:
  // Creates the scratch file. Throws EOpenError when the path is unusable,
  // an existing target may not be written by this process (as opening it for
  // writing would refuse), or the scratch file cannot be made.
  explicit AtomicFileWriter(const std::string& target);
  explicit AtomicFileWriter(const std::u16string& target);
  // Without a successful Commit(): removes the scratch file.
  ~AtomicFileWriter();
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  // Where the bytes go; positioned at 0 and empty at first.
  TFileStream& Stream() { return *stream_; }

  // REQUIRES: every buffered byte has been handed to Stream(). Throws
  // EWriteError if the file could not be made durable or moved into place
  // (or Commit() was called before); the target is then unchanged and the
  // scratch file gone.
  void Commit();

  // The file that gets replaced (links followed).
  const std::string& TargetPath() const { return target_; }
  // The scratch file; empty when writing in place or after a failure.
  const std::string& ScratchPath() const { return scratch_; }

 private:
  void Abandon();

  std::string target_;
  std::string scratch_;
  std::unique_ptr<TFileStream> stream_;
  enum State { kOpen, kCommitted, kFailed } state_ = kOpen;
};

}  // namespace kestron4
