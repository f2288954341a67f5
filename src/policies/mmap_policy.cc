#include "policies/mmap_policy.h"

#include <exception>
#include <string>

#include "format/container_writer.h"
#include "format/session_load.h"
#include "policies/file_identity.h"
#include "policies/positional_file_stream.h"
#include "storage/streams/file_stream.h"

namespace kestron4 {
namespace {

constexpr uint32_t kMapOpenMode = ModeReadOnly | ModeShareRead;

}  // namespace

ErrorCode MMapPolicy::Load(SessionCore& s, NativeFile fd) {
  if (file_.Attached()) {
    s.ResetTree();  // its values point into the mapping that goes now
    file_.Release();
  }
  if (!file_.Attach(fd)) return ErrFileAccess;
  // The records are read by position, not through the view: a page fault
  // per record costs more than a read on many systems, and a file that
  // shrinks meanwhile fails the read instead of faulting. Large values are
  // left where they are, by offset, to be read from the view.
  auto records = PositionalFileStream::Borrow(file_.Descriptor());
  return LoadFromStream(s, *records, LargeValueHome::kView);
}

ErrorCode MMapPolicy::LoadPath(SessionCore& s, const char* path) {
  if (path == nullptr) return ErrFileAccess;
  try {
    TFileStream file(std::string(path), kMapOpenMode);
    return Load(s, file.Handle());
  } catch (const std::exception&) {
    return ErrFileAccess;
  }
}

ErrorCode MMapPolicy::LoadPathW(SessionCore& s, const char16_t* path) {
  if (path == nullptr) return ErrFileAccess;
  try {
    TFileStream file(std::u16string(path), kMapOpenMode);
    return Load(s, file.Handle());
  } catch (const std::exception&) {
    return ErrFileAccess;
  }
}

ErrorCode MMapPolicy::LoadHandle(SessionCore& s, FileHandle file) { return Load(s, file); }

ErrorCode MMapPolicy::SaveHandle(SessionCore& s, FileHandle file) {
  // A tree the file cannot describe is refused before its bytes are read.
  if (!FitsContainerFields(*s.root())) return ErrFileAccess;
  if (file_.Attached() && SameOpenFile(file, file_.Descriptor())) {
    if (file_.Base() == nullptr) file_.Remap();
    if (!MaterializeAll(s, ValueHome::kView)) return ErrFileAccess;
  }
  return s.SessionCore::SaveHandle(file);
}

void MMapPolicy::MoveToRAM(SessionCore& s) {
  if (!file_.Attached()) return;
  // An unmapped session still holds its file; map it for the copy.
  if (!file_.Remap()) return;
  if (MaterializeAll(s, ValueHome::kView)) file_.Release();
}

bool MMapPolicy::ReadSource(const Value& value, uint64_t offset, void* destination,
                            uint64_t count) {
  if (value.home != ValueHome::kView || value.fileOffset < 0) return false;
  const auto start = static_cast<uint64_t>(value.fileOffset);
  if (offset > UINT64_MAX - start) return false;
  return file_.Copy(start + offset, destination, count);
}

}  // namespace kestron4
