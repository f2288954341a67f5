#include "storage/platform/win32_replace.h"

#include <cstddef>
#include <cstring>
#include <vector>

namespace kestron4 {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr int kBusyTries = 40;  // sleeps of 0, 1, ... 10 ms: about 0.35 s in all

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

bool PosixRename(HANDLE moving, const std::wstring& to) {
  const std::size_t bytes = to.size() * sizeof(wchar_t);
  std::vector<std::byte> buffer(offsetof(RenameInfoEx, FileName) + bytes + sizeof(wchar_t));
  auto* info = reinterpret_cast<RenameInfoEx*>(buffer.data());
  info->Flags = kRenameReplaceIfExists | kRenamePosixSemantics;
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(bytes);
  std::memcpy(info->FileName, to.c_str(), bytes + sizeof(wchar_t));
  return SetFileInformationByHandle(moving, static_cast<FILE_INFO_BY_HANDLE_CLASS>(kFileRenameInfoEx),
                                    info, static_cast<DWORD>(buffer.size())) != 0;
}

bool ReplaceByName(const std::wstring& from, const std::wstring& to) {
  if (GetFileAttributesW(to.c_str()) == INVALID_FILE_ATTRIBUTES) {
    if (GetLastError() != ERROR_FILE_NOT_FOUND) return false;
    // Nothing to replace; one that appears meanwhile is replaced all the same.
    return MoveFileExW(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  }
  return ReplaceFileW(to.c_str(), from.c_str(), nullptr,
                      REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr,
                      nullptr) != 0;
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
  for (int attempt = 0; attempt < kBusyTries && !moved; ++attempt) {
    if (attempt > 0) Sleep(static_cast<DWORD>(attempt < 10 ? attempt / 2 : 10));
    if (posix) {
      moved = PosixRename(moving, to);
      error = moved ? ERROR_SUCCESS : GetLastError();
      if (!moved && Unsupported(error)) posix = false;
    }
    if (!posix) {
      moved = ReplaceByName(from, to);
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
