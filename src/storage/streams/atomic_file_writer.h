// A stream over a SafeFile (storage/platform/safe_file.h): readers and a
// crash see either the old bytes or all of the new ones, never a mixture,
// and a returned Commit() is durable. An existing target that is not a
// regular file (a device or a pipe) is written in place.
//
//   AtomicFileWriter file(path);     // throws EOpenError
//   StreamWriter out(file.Stream());
//   ... out.Write(...); out.Flush();
//   file.Commit();                   // throws EWriteError
#pragma once

#include <memory>
#include <string>

#include "storage/platform/safe_file.h"
#include "storage/streams/file_stream.h"

namespace kestron4 {

class AtomicFileWriter {
 public:
  // Claims the scratch file (SafeFile::Open). Throws EOpenError when that
  // fails.
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
  // (or Commit() was called before); the scratch file is then gone and the
  // target unchanged, except after a failed flush of its folder, when the
  // new file is in place but may not survive a power cut.
  void Commit();

  // The file that gets replaced (links followed).
  const std::string& TargetPath() const { return file_.TargetPath(); }
  // The scratch file; empty when writing in place.
  const std::string& ScratchPath() const { return file_.ScratchPath(); }

 private:
  SafeFile file_;
  std::unique_ptr<TFileStream> stream_;
  enum State { kOpen, kCommitted, kFailed } state_ = kOpen;
};

}  // namespace kestron4
