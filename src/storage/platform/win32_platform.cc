// The Platform of 64-bit Windows. Paths arrive as UTF-8 and go to the wide
// (UTF-16) calls in their \\?\ form (win32_text.h), so names outside the
// ANSI code page and paths past 260 characters work.
#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "storage/platform/platform.h"
#include "storage/platform/win32_replace.h"
#include "storage/platform/win32_text.h"

namespace kestron4 {
namespace {

constexpr DWORD kMaxChunk = DWORD{1} << 30;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE H(NativeFile file) { return reinterpret_cast<HANDLE>(file); }
NativeFile N(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE || handle == nullptr ? kNoFile
                                                            : reinterpret_cast<NativeFile>(handle);
}

FileId IdOf(const BY_HANDLE_FILE_INFORMATION& info) {
  return FileId{info.dwVolumeSerialNumber,
                (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

DWORD Disposition(unsigned flags) {
  if (flags & kOpenCreate) {
    if (flags & kOpenExclusive) return CREATE_NEW;
    return (flags & kOpenTruncate) ? CREATE_ALWAYS : OPEN_ALWAYS;
  }
  return (flags & kOpenTruncate) ? TRUNCATE_EXISTING : OPEN_EXISTING;
}

class Win32 final : public Platform {
 public:
  NativeFile Open(const std::string& path, unsigned flags) override {
    const std::wstring wide = WidePath(path);
    if (wide.empty()) return kNoFile;
    DWORD access = GENERIC_READ;
    // Emptying a file needs write access even when it is then only read.
    if (flags & (kOpenWrite | kOpenTruncate)) access |= GENERIC_WRITE;
    return N(CreateFileW(wide.c_str(), access, kShareAll, nullptr, Disposition(flags),
                         FILE_ATTRIBUTE_NORMAL, nullptr));
  }
  bool Close(NativeFile file) override { return CloseHandle(H(file)) != 0; }
  // A new open of the file rather than a copy of the caller's handle: the
  // copy would keep the caller's share mode, and a handle from _open or
  // fopen (no FILE_SHARE_DELETE) would then stop every save over the file
  // for as long as the session reads it. Handles that cannot be reopened
  // (pipes, a file the caller opened without sharing read) are copied.
  NativeFile Duplicate(NativeFile file) override {
    if (GetFileType(H(file)) == FILE_TYPE_DISK) {
      const HANDLE reopened = ReOpenFile(H(file), GENERIC_READ, kShareAll, 0);
      if (reopened != INVALID_HANDLE_VALUE) return N(reopened);
    }
    HANDLE copy = nullptr;
    const HANDLE self = GetCurrentProcess();
    if (!DuplicateHandle(self, H(file), self, &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
      return kNoFile;
    return N(copy);
  }
  int64_t Read(NativeFile file, void* buffer, size_t count) override {
    DWORD got = 0;
    if (ReadFile(H(file), buffer, static_cast<DWORD>(std::min<size_t>(count, kMaxChunk)), &got,
                 nullptr))
      return got;
    const DWORD error = GetLastError();
    return error == ERROR_HANDLE_EOF || error == ERROR_BROKEN_PIPE ? 0 : -1;
  }
  // ReadFile at an offset moves a synchronous handle's file pointer, so it
  // is put back afterwards: a handle shared with the caller keeps its place.
  int64_t ReadAt(NativeFile file, void* buffer, size_t count, uint64_t offset) override {
    LARGE_INTEGER zero{}, saved{};
    if (!SetFilePointerEx(H(file), zero, &saved, FILE_CURRENT)) return -1;
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    const bool ok = ReadFile(H(file), buffer, static_cast<DWORD>(std::min<size_t>(count, kMaxChunk)),
                             &got, &at) != 0;
    const DWORD error = GetLastError();
    SetFilePointerEx(H(file), saved, nullptr, FILE_BEGIN);
    if (ok) return got;
    return error == ERROR_HANDLE_EOF ? 0 : -1;
  }
  int64_t Write(NativeFile file, const void* buffer, size_t count) override {
    DWORD put = 0;
    if (!WriteFile(H(file), buffer, static_cast<DWORD>(std::min<size_t>(count, kMaxChunk)), &put,
                   nullptr))
      return -1;
    return put;
  }
  int64_t Seek(NativeFile file, int64_t offset, FileOrigin origin) override {
    static constexpr DWORD kMethod[] = {FILE_BEGIN, FILE_CURRENT, FILE_END};
    if (origin < kFromBegin || origin > kFromEnd) return -1;
    LARGE_INTEGER distance, position;
    distance.QuadPart = offset;
    if (!SetFilePointerEx(H(file), distance, &position, kMethod[origin])) return -1;
    return position.QuadPart;
  }
  bool Size(NativeFile file, uint64_t* size) override {
    BY_HANDLE_FILE_INFORMATION info;
    LARGE_INTEGER length;
    if (GetFileType(H(file)) != FILE_TYPE_DISK || !GetFileInformationByHandle(H(file), &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !GetFileSizeEx(H(file), &length))
      return false;
    *size = static_cast<uint64_t>(length.QuadPart);
    return true;
  }
  bool Sync(NativeFile file) override { return FlushFileBuffers(H(file)) != 0; }
  bool Identify(NativeFile file, FileId* id) override {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(H(file), &info)) return false;
    *id = IdOf(info);
    return true;
  }
  bool PathOf(NativeFile file, std::string* path) override {
    if (file == kNoFile || GetFileType(H(file)) != FILE_TYPE_DISK) return false;
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (;;) {
      const DWORD length = GetFinalPathNameByHandleW(
          H(file), buffer.data(), static_cast<DWORD>(buffer.size()), FILE_NAME_NORMALIZED);
      if (length == 0) return false;
      if (length < buffer.size()) {
        // "\\?\C:\dir\name", kept whole: without the prefix a long path
        // would not open again.
        *path = Utf8Path(std::wstring(buffer.data(), length));
        return !path->empty();
      }
      buffer.resize(length + 1);
    }
  }
  bool ProbeExtent(NativeFile, uint64_t, uint64_t, Extent*) override { return false; }

  bool Inspect(const std::string& path, PathInfo* info, bool* missing) override {
    if (missing != nullptr) *missing = false;
    const std::wstring wide = WidePath(path);
    if (wide.empty()) return false;
    // No access asked: only the attributes are read, and directories open
    // with backup semantics.
    const HANDLE handle = CreateFileW(wide.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      if (missing != nullptr)
        *missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
      return false;
    }
    BY_HANDLE_FILE_INFORMATION found;
    const bool ok = GetFileInformationByHandle(handle, &found) != 0;
    const bool disk = GetFileType(handle) == FILE_TYPE_DISK;
    CloseHandle(handle);
    if (!ok) return false;
    info->directory = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    info->regular = disk && !info->directory;
    info->writable = !(found.dwFileAttributes & FILE_ATTRIBUTE_READONLY);
    info->size = (uint64_t{found.nFileSizeHigh} << 32) | found.nFileSizeLow;
    info->permissions = found.dwFileAttributes;
    info->id = IdOf(found);
    return true;
  }
  // The attributes a user sets (hidden, system, not indexed, archive) go
  // to the new file; read-only never reaches here (the old file was
  // writable).
  bool CopyPermissions(NativeFile file, const PathInfo& from) override {
    constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                            FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    FILE_BASIC_INFO basic{};  // times of zero: left as they are
    basic.FileAttributes = from.permissions & kKept;
    if (basic.FileAttributes == 0) return true;
    return SetFileInformationByHandle(H(file), FileBasicInfo, &basic, sizeof basic) != 0;
  }
  // A symbolic link is followed, so that the link stays and its target is
  // replaced; other reparse points (junctions, cloud placeholders) are files
  // of their own. A dangling link is replaced itself.
  bool ResolveTarget(const std::string& path, std::string* target) override {
    *target = path;
    const std::wstring wide = WidePath(path);
    if (wide.empty()) return false;
    const HANDLE link = CreateFileW(wide.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                    nullptr);
    if (link == INVALID_HANDLE_VALUE) return true;  // nothing there yet
    FILE_ATTRIBUTE_TAG_INFO tag{};
    const bool symlink =
        GetFileInformationByHandleEx(link, FileAttributeTagInfo, &tag, sizeof tag) &&
        (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
        tag.ReparseTag == IO_REPARSE_TAG_SYMLINK;
    CloseHandle(link);
    if (!symlink) return true;
    const HANDLE file = CreateFileW(wide.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return true;
    std::string resolved;
    const bool found = PathOf(N(file), &resolved);
    CloseHandle(file);
    if (found) *target = resolved;
    return true;
  }
  bool Replace(const std::string& source, const std::string& target, bool* across) override {
    if (across != nullptr) *across = false;
    const std::wstring from = WidePath(source), to = WidePath(target);
    if (from.empty() || to.empty()) return false;
    const ReplaceOutcome outcome = ReplaceAtomically(from, to);
    if (across != nullptr) *across = outcome == ReplaceOutcome::kAcrossVolumes;
    return outcome == ReplaceOutcome::kReplaced;
  }
  bool Remove(const std::string& path) override {
    const std::wstring wide = WidePath(path);
    return !wide.empty() && DeleteFileW(wide.c_str()) != 0;
  }
  bool SyncFolder(const std::string& folder) override {
    const std::wstring wide = WidePath(folder);
    return !wide.empty() && FlushFolder(wide);
  }
  bool Lock(NativeFile file) override {
    OVERLAPPED from{};
    return LockFileEx(H(file), LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &from) != 0;
  }

  const void* Map(NativeFile file, uint64_t size) override {
    const HANDLE mapping = CreateFileMappingW(H(file), nullptr, PAGE_READONLY,
                                              static_cast<DWORD>(size >> 32),
                                              static_cast<DWORD>(size), nullptr);
    if (mapping == nullptr) return nullptr;
    const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, static_cast<SIZE_T>(size));
    CloseHandle(mapping);  // the view keeps the section alive
    return view;
  }
  bool Unmap(const void* view, uint64_t) override { return UnmapViewOfFile(view) != 0; }

  bool RandomBytes(void* buffer, size_t count) override {
    auto* out = static_cast<UCHAR*>(buffer);
    while (count > 0) {
      const ULONG chunk = static_cast<ULONG>(std::min<size_t>(count, kMaxChunk));
      if (BCryptGenRandom(nullptr, out, chunk, BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0) return false;
      out += chunk;
      count -= chunk;
    }
    return true;
  }
  std::string TempDirectory() override {
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (;;) {
      const DWORD length = GetTempPathW(static_cast<DWORD>(buffer.size()), buffer.data());
      if (length == 0) return ".";
      if (length < buffer.size()) {
        const std::string path = Utf8Path(std::wstring(buffer.data(), length));
        return path.empty() ? "." : path;
      }
      buffer.resize(length + 1);
    }
  }
};

}  // namespace

Platform& SystemPlatform() {
  static Win32 instance;
  return instance;
}

int CountOpenFiles() {
  DWORD count = 0;
  return GetProcessHandleCount(GetCurrentProcess(), &count) ? static_cast<int>(count) : -1;
}

}  // namespace kestron4
