#include "storage/platform/win32_replace.h"

#include <cstddef>
#include <cstring>
#include <vector>

namespace kestron4 {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// A busy target is tried again this long, first at once, then every
// millisecond or so: a reader that holds it only for its read lets go soon.
constexpr ULONGLONG kBusyMilliseconds = 1000;

// FILE_RENAME_INFO_EX and its class, missing from headers that target
// systems older than Windows 10 1709 (the layout is FILE_RENAME_INFO's, with
// flags where the old one has a BOOLEAN).
constexpr int kFileRenameInfoEx = 22;
constexpr DWORD kRenameReplaceIfExists = 0x1;
constexpr DWORD kRenamePosixSemantics = 0x2;
struct RenameInfoEx {
  DWORD Flags;
  HANDLE RootDirectory;
  DWORD FileNameLength;
  WCHAR FileName[1];
};

bool Busy(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
         error == ERROR_LOCK_VIOLATION || error == ERROR_USER_MAPPED_FILE ||
         error == ERROR_UNABLE_TO_REMOVE_REPLACED || error == ERROR_UNABLE_TO_MOVE_REPLACEMENT;
}

// What a system or a file system without POSIX renames answers.
bool Unsupported(DWORD error) {
  return error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED ||
         error == ERROR_INVALID_FUNCTION || error == ERROR_CALL_NOT_IMPLEMENTED;
}

// A rename of the open file behind moving to the path to, replacing what is
// there. The buffer is FILE_RENAME_INFO_EX for the POSIX rename, and read as
// FILE_RENAME_INFO (ReplaceIfExists, a BOOLEAN, where the flags start) for
// the plain one.
bool RenameByHandle(HANDLE moving, const std::wstring& to, bool posix) {
  const std::size_t bytes = to.size() * sizeof(wchar_t);
  std::vector<std::byte> buffer(offsetof(RenameInfoEx, FileName) + bytes + sizeof(wchar_t));
  auto* info = reinterpret_cast<RenameInfoEx*>(buffer.data());
  info->Flags = posix ? kRenameReplaceIfExists | kRenamePosixSemantics : kRenameReplaceIfExists;
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(bytes);
  std::memcpy(info->FileName, to.c_str(), bytes + sizeof(wchar_t));
  const auto kind = posix ? static_cast<FILE_INFO_BY_HANDLE_CLASS>(kFileRenameInfoEx) : FileRenameInfo;
  return SetFileInformationByHandle(moving, kind, info, static_cast<DWORD>(buffer.size())) != 0;
}

// The last resort. The old file is back under its name whenever the new one
// could not take it; it goes once nobody holds it (its holders share delete
// access, or it could not have been renamed).
bool StepAside(const std::wstring& from, const std::wstring& to) {
  std::wstring aside = to + L".replaced-";
  LARGE_INTEGER tick;
  QueryPerformanceCounter(&tick);
  for (unsigned long long v = static_cast<unsigned long long>(tick.QuadPart) ^ GetCurrentThreadId();
       aside.size() < to.size() + 26; v >>= 4)
    aside += L"0123456789abcdef"[v & 15];
  if (!MoveFileExW(to.c_str(), aside.c_str(), MOVEFILE_WRITE_THROUGH)) return false;
  if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = GetLastError();
    MoveFileExW(aside.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    SetLastError(error);
    return false;
  }
  DeleteFileW(aside.c_str());
  return true;
}

}  // namespace

ReplaceOutcome ReplaceAtomically(const std::wstring& from, const std::wstring& to) {
  // Write access for the flush after the move, delete access for the move.
  const HANDLE moving = CreateFileW(from.c_str(), DELETE | GENERIC_READ | GENERIC_WRITE, kShareAll,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (moving == INVALID_HANDLE_VALUE) return ReplaceOutcome::kFailed;
  bool posix = true;
  bool moved = false;
  DWORD error = ERROR_SUCCESS;
  const ULONGLONG start = GetTickCount64();
  for (int attempt = 0; !moved; ++attempt) {
    if (attempt > 0) {
      if (GetTickCount64() - start > kBusyMilliseconds) break;
      Sleep(attempt < 16 ? 0 : 1);
    }
    if (posix) {
      moved = RenameByHandle(moving, to, true);
      error = moved ? ERROR_SUCCESS : GetLastError();
      if (!moved && Unsupported(error)) posix = false;
    }
    if (!posix) {
      moved = RenameByHandle(moving, to, false);
      error = moved ? ERROR_SUCCESS : GetLastError();
    }
    if (!moved && !Busy(error)) break;
  }
  if (!moved && Busy(error)) {
    moved = StepAside(from, to);
    if (!moved) error = GetLastError();
  }
  // On NTFS the flush of a file commits the journal that holds its rename.
  // Its failure is not the move's: the target has changed, and FlushFolder,
  // which the caller runs next, reports whether the names are durable.
  if (moved) FlushFileBuffers(moving);
  CloseHandle(moving);
  if (moved) return ReplaceOutcome::kReplaced;
  SetLastError(error);
  return error == ERROR_NOT_SAME_DEVICE ? ReplaceOutcome::kAcrossVolumes : ReplaceOutcome::kFailed;
}

bool FlushFolder(const std::wstring& folder) {
  const HANDLE handle = CreateFileW(folder.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_ACCESS_DENIED;
  const bool flushed = FlushFileBuffers(handle) != 0;
  const DWORD error = GetLastError();
  CloseHandle(handle);
  return flushed || error == ERROR_ACCESS_DENIED || error == ERROR_INVALID_FUNCTION ||
         error == ERROR_NOT_SUPPORTED;
}

}  // namespace kestron4
