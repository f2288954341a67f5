// Windows: reading a view whose file was cut short raises
// EXCEPTION_IN_PAGE_ERROR. A vectored handler answers one on the guarded
// range by replacing the whole view with zero pages at the same addresses;
// the copy then runs to its end and RestoreView() maps the file back.
#include <windows.h>

#include "storage/platform/view_fault_guard.h"
#include "storage/platform/view_fault_state.h"

namespace kestron4 {
namespace {

LONG CALLBACK OnException(EXCEPTION_POINTERS* exception) {
  const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
  if (record.ExceptionCode != EXCEPTION_IN_PAGE_ERROR || record.NumberParameters < 2)
    return EXCEPTION_CONTINUE_SEARCH;
  ViewGuardState& guard = tViewGuard;
  const auto* address = reinterpret_cast<const char*>(record.ExceptionInformation[1]);
  if (guard.begin == nullptr || address < guard.begin || address >= guard.end)
    return EXCEPTION_CONTINUE_SEARCH;
  void* base = const_cast<char*>(guard.begin);
  const SIZE_T size = static_cast<SIZE_T>(guard.end - guard.begin);
  // The guarded range is a whole view (MappedFile guards its view), so the
  // view can give way to plain zero pages over the same addresses.
  if (!UnmapViewOfFile(base) ||
      VirtualAlloc(base, size, MEM_RESERVE | MEM_COMMIT, PAGE_READONLY) != base)
    return EXCEPTION_CONTINUE_SEARCH;
  guard.faulted = 1;
  return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

void InstallViewFaultHandler() { AddVectoredExceptionHandler(1, OnException); }

bool RestoreView(NativeFile file, const void* view, uint64_t size) {
  MEMORY_BASIC_INFORMATION region;
  void* base = const_cast<void*>(view);
  if (VirtualQuery(base, &region, sizeof region) == 0) return false;
  // A view that never faulted is still the file's: nothing to restore.
  if (region.Type == MEM_MAPPED) return true;
  VirtualFree(base, 0, MEM_RELEASE);
  const HANDLE mapping =
      CreateFileMappingW(reinterpret_cast<HANDLE>(file), nullptr, PAGE_READONLY,
                         static_cast<DWORD>(size >> 32), static_cast<DWORD>(size), nullptr);
  if (mapping == nullptr) return false;
  const void* again =
      MapViewOfFileEx(mapping, FILE_MAP_READ, 0, 0, static_cast<SIZE_T>(size), base);
  CloseHandle(mapping);
  return again == view;
}

}  // namespace kestron4
