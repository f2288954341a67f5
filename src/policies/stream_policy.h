// The streamed storage policy: the session keeps its source stream open and
// values of more than 8 bytes stay in it, found by their offset, until they
// are changed or the session moves to memory. Reads go through the session's
// stream; stream handles read through streams of their own, so a caller can
// slice a large value while the session does other work.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "policies/policy_base.h"
#include "policies/stream_handle.h"
#include "storage/streams/stream.h"

namespace kestron4 {

class StreamPolicy : public PolicyBase {
 public:
  // Each load keeps its stream as the session's source; the previous source
  // and tree go first. Files are read by position (positional_file_stream.h);
  // the caller's descriptor is duplicated and stays the caller's, its file
  // position untouched. A caller's buffer must stay valid while the session
  // lives.
  ErrorCode LoadPath(SessionCore& s, const char* path);
  ErrorCode LoadPathW(SessionCore& s, const char16_t* path);
  ErrorCode LoadHandle(SessionCore& s, FileHandle file);
  ErrorCode LoadBuffer(SessionCore& s, const void* buffer, uint32_t length);

  // A save onto the session's own file replaces it safely (a complete new
  // file renamed over the old one) and moves the session and its stream
  // handles over to the new file. Any other path is saved as usual; the
  // session goes on reading the file it was loaded from.
  ErrorCode SavePath(SessionCore& s, const char* path);
  ErrorCode SavePathW(SessionCore& s, const char16_t* path);
  // Writing in place into the source file itself would overwrite bytes the
  // session still has to read, so those values are read into memory first.
  ErrorCode SaveHandle(SessionCore& s, FileHandle file);

  // Reads every value still in the source into memory, then closes the
  // source. If some value cannot be read (the file shrank), the source is
  // kept for the values that still can.
  void MoveToRAM(SessionCore& s);

  // A reader of the source with a position of its own, sharing the source's
  // descriptor. Null when the session has no source.
  StreamHandle* CreateStream();
  // Null and handles of other sessions are ignored.
  void DestroyStream(StreamHandle* stream);
  // 11 for a null or foreign handle, 7 for a null value, 12 for a range past
  // the value's end, 1 when the bytes cannot be read, else 0. Neither loads
  // the value nor moves the session's own stream.
  ErrorCode ReadValueStream(SessionCore& s, StreamHandle* stream, Value* value, uint64_t offset,
                            void* destination, uint32_t count);

  bool ReadSource(const Value& value, uint64_t offset, void* destination, uint64_t count);

 private:
  ErrorCode Load(SessionCore& s, std::unique_ptr<TStream> source);
  // The descriptor of the source file, or -1 (no source, or a buffer).
  NativeFile SourceDescriptor() const;
  // After a save that replaced the source file at path: reads from the new
  // file from now on. See stream_policy_save.cc.
  void FollowReplacedFile(SessionCore& s, const std::string& path, uint64_t savedSize);
  template <class Path>
  ErrorCode SaveToPath(SessionCore& s, const Path& path);

  std::unique_ptr<TStream> source_;
  std::vector<std::unique_ptr<StreamHandle>> handles_;
};

}  // namespace kestron4
