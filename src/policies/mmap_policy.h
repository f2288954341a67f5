// The memory-mapped storage policy: the session file is mapped read-only and
// values of more than 8 bytes stay in the view, found by their offset, until
// they are changed or the session moves to memory. The session never writes
// to the mapping, so the file changes only through a save.
#pragma once

#include <cstdint>

#include "policies/mapped_file.h"
#include "policies/policy_base.h"

namespace kestron4 {

class MMapPolicy : public PolicyBase {
 public:
  // Each load maps the file anew (one that cannot be mapped gives
  // ErrFileAccess); the previous mapping and tree go
  // first. A path is opened read-only for the attach and closed after it;
  // the caller's descriptor is duplicated and stays the caller's. The
  // records are read from the file by position; the view is first touched
  // when a value is read.
  ErrorCode LoadPath(SessionCore& s, const char* path);
  ErrorCode LoadPathW(SessionCore& s, const char16_t* path);
  ErrorCode LoadHandle(SessionCore& s, FileHandle file);
  // A mapping needs a file: ErrInvalidSession, nothing read.
  ErrorCode LoadBuffer(SessionCore&, const void*, uint32_t) { return ErrInvalidSession; }
  // Writing in place into the mapped file itself would change bytes the
  // session still reads from the view, so those values are copied into
  // memory first.
  ErrorCode SaveHandle(SessionCore& s, FileHandle file);

  // Copies every value still in the view into memory, then lets go of the
  // view and the file. If some value cannot be read (the file shrank), the
  // file is kept for the values that still can.
  void MoveToRAM(SessionCore& s);
  // Between these two, values in the view read as failures.
  void Unmap() { file_.Unmap(); }
  void Remap() { file_.Remap(); }

  const uint8_t* ViewBase() const { return file_.Base(); }
  bool ReadSource(const Value& value, uint64_t offset, void* destination, uint64_t count);

 private:
  ErrorCode Load(SessionCore& s, NativeFile file);

  MappedFile file_;
};

}  // namespace kestron4
