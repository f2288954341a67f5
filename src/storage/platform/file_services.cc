#include "storage/platform/file_services.h"

#include <cstdint>
#include <string>
#include <vector>

#include "storage/platform/full_io.h"
#include "storage/platform/temp_paths.h"
#include "text/text_codec.h"

#ifdef _WIN32
#include "storage/platform/win32_text.h"
#endif

namespace kestron4 {
namespace {

constexpr size_t kCopyBuffer = size_t{64} << 10;

// Closes a file on every way out of CopyAcross.
class OpenFile {
 public:
  OpenFile(Platform& platform, NativeFile file) : platform_(platform), file_(file) {}
  ~OpenFile() {
    if (file_ != kNoFile) platform_.Close(file_);
  }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  NativeFile get() const { return file_; }
  // Closes now and reports the result; closing can report a late write error.
  bool Close() {
    const NativeFile file = file_;
    file_ = kNoFile;
    return platform_.Close(file);
  }

 private:
  Platform& platform_;
  NativeFile file_;
};

// The cross-file-system half of ReplaceFile.
bool CopyAcross(Platform& platform, const std::string& source, const std::string& target) {
  PathInfo info;
  if (!platform.Inspect(source, &info)) return false;
  OpenFile in(platform, platform.Open(source, kOpenRead));
  if (in.get() == kNoFile) return false;
  const std::string uuid = RandomUuid();
  if (uuid.empty()) return false;
  const std::string scratch = JoinPath(ParentDirectory(target), uuid);
  OpenFile out(platform, platform.Open(scratch, kOpenWrite | kOpenCreate | kOpenExclusive));
  if (out.get() == kNoFile) return false;
  bool ok = platform.CopyPermissions(out.get(), info);
  std::vector<uint8_t> buffer(kCopyBuffer);
  while (ok) {
    const int64_t got = platform.Read(in.get(), buffer.data(), buffer.size());
    if (got <= 0) {
      ok = got == 0;
      break;
    }
    ok = WriteFull(platform, out.get(), buffer.data(), static_cast<size_t>(got));
  }
  ok = ok && platform.Sync(out.get());
  ok = out.Close() && ok;
  ok = ok && platform.Replace(scratch, target);
  if (!ok) {
    platform.Remove(scratch);
    return false;
  }
  platform.Remove(source);
  return true;
}

}  // namespace

bool IsPathSeparator(char c) { return c == '/' || c == kPathSeparator; }

bool IsUsablePath(std::string_view path) {
  return !path.empty() && path.find('\0') == std::string_view::npos;
}

std::string PathFromBytes(std::string_view path) {
#ifdef _WIN32
  return AnsiToUtf8(std::string(path));
#else
  return std::string(path);
#endif
}

std::string PathFromUtf16(std::u16string_view path) {
  for (size_t i = 0; i < path.size(); ++i) {
    const char16_t unit = path[i];
    if (unit >= 0xDC00 && unit <= 0xDFFF) return {};
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (i + 1 == path.size() || path[i + 1] < 0xDC00 || path[i + 1] > 0xDFFF) return {};
      ++i;
    }
  }
  return Utf16ToUtf8(path);
}

bool FileExists(const std::string& path, PathInfo* info) {
  if (!IsUsablePath(path)) return false;
  std::string lookup = path;
  if (lookup.size() > 1 && IsPathSeparator(lookup.back())) lookup.pop_back();
  PathInfo found;
  if (!CurrentPlatform().Inspect(lookup, &found)) return false;
  if (info != nullptr) *info = found;
  return true;
}

bool FileExists(const std::u16string& path, PathInfo* info) {
  return FileExists(PathFromUtf16(path), info);
}

bool SameFile(const std::string& a, const std::string& b) {
  if (!IsUsablePath(a) || !IsUsablePath(b)) return false;
  Platform& platform = CurrentPlatform();
  PathInfo first, second;
  return platform.Inspect(a, &first) && platform.Inspect(b, &second) && first.id == second.id;
}

bool SameFile(const std::u16string& a, const std::u16string& b) {
  return SameFile(PathFromUtf16(a), PathFromUtf16(b));
}

bool ReplaceFile(const std::string& source, const std::string& target) {
  if (!IsUsablePath(source) || !IsUsablePath(target)) return false;
  Platform& platform = CurrentPlatform();
  bool across = false;
  if (!platform.Replace(source, target, &across) &&
      !(across && CopyAcross(platform, source, target)))
    return false;
  // Durable where the system allows; the move has happened either way.
  platform.SyncFolder(ParentDirectory(target));
  return true;
}

bool ReplaceFile(const std::u16string& source, const std::u16string& target) {
  return ReplaceFile(PathFromUtf16(source), PathFromUtf16(target));
}

bool DeleteFile(const std::string& path) {
  return IsUsablePath(path) && CurrentPlatform().Remove(path);
}

bool DeleteFile(const std::u16string& path) { return DeleteFile(PathFromUtf16(path)); }

std::string ParentDirectory(const std::string& path) {
  size_t slash = path.size();
  while (slash > 0 && !IsPathSeparator(path[slash - 1])) --slash;
  if (slash == 0) return ".";
  --slash;
  // The root keeps its separator: "/" or, on Windows, "C:\" and "\\?\C:\".
  const size_t drive = kPathSeparator == '\\' && path.rfind("\\\\?\\", 0) == 0 ? 4 : 0;
  if (slash == 0 || (slash == drive + 2 && kPathSeparator == '\\' && path[drive + 1] == ':'))
    return path.substr(0, slash + 1);
  return path.substr(0, slash);
}

}  // namespace kestron4
