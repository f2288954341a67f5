// A file the test opens itself, as a caller of the C interface would: a
// descriptor on POSIX, a HANDLE on Windows, from the system platform (never
// a test double in force). Closed with the object; UTF-16 text of the
// interface (char16_t, or wchar_t on Windows) from u"" literals.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "kestron4/kestron4.h"
#include "storage/platform/platform.h"

namespace kestron4 {

class CallerFile {
 public:
  // flags as Platform::Open takes them; see ok().
  explicit CallerFile(const std::string& path, unsigned flags = kOpenRead);
  ~CallerFile() { Close(); }
  CallerFile(const CallerFile&) = delete;
  CallerFile& operator=(const CallerFile&) = delete;

  bool ok() const { return file_ != kNoFile; }
  KSTRN_FileHandle get() const { return FromNativeFile<KSTRN_FileHandle>(file_); }
  NativeFile native() const { return file_; }
  // All of size bytes at offset; the file's offset is left at their end.
  bool WriteAt(const void* data, size_t size, uint64_t offset);
  void Close();

 private:
  NativeFile file_;
};

inline const KSTRN_WChar* W(const char16_t* text) {
  return reinterpret_cast<const KSTRN_WChar*>(text);
}
inline KSTRN_WChar* W(char16_t* text) { return reinterpret_cast<KSTRN_WChar*>(text); }

}  // namespace kestron4
