// Loading and saving arrive with the container format; until then every
// file operation fails cleanly with "Error accessing file".
#include "session/session_core.h"

namespace kestron4 {

ErrorCode SessionCore::LoadPath(const char*) { return ErrFileAccess; }
ErrorCode SessionCore::LoadPathW(const char16_t*) { return ErrFileAccess; }
ErrorCode SessionCore::SavePath(const char*) { return ErrFileAccess; }
ErrorCode SessionCore::SavePathW(const char16_t*) { return ErrFileAccess; }
ErrorCode SessionCore::LoadHandle(FileHandle) { return ErrFileAccess; }
ErrorCode SessionCore::SaveHandle(FileHandle) { return ErrFileAccess; }
ErrorCode SessionCore::LoadBuffer(const void*, uint32_t) { return ErrFileAccess; }
ErrorCode SessionCore::SaveBuffer(void*, uint32_t) { return ErrFileAccess; }
ErrorCode SessionCore::SerializeCurrent(void*, uint32_t) { return ErrFileAccess; }
ErrorCode SessionCore::AfterOpen() { return ErrNone; }

uint64_t SessionCore::SessionSize() {
  RecomputeSizes(root_);
  return 19 + 4 + root_->contentSize;
}

uint64_t SessionCore::CurrentSize() {
  if (current_ == nullptr) return 0;
  RecomputeSizes(current_);
  return 19 + 4 + current_->contentSize;
}

}  // namespace kestron4
