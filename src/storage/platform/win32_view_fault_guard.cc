// Windows: reading a view whose file went away under it (a network file cut
// short, a removable disk pulled, a read error) raises
// EXCEPTION_IN_PAGE_ERROR. The view is never touched: other threads may be
// reading it, and replacing its pages would open a moment in which another
// mapping could take the addresses. Instead the faulting read is abandoned.
// CopyFromView notes where it stands (RtlCaptureContext) before it copies;
// a vectored handler answers a fault on the guarded range by resuming the
// thread there with the fault recorded, and the copy reports failure.
#include <windows.h>

#include <atomic>
#include <cstring>

#include "storage/platform/library_entry.h"
#include "storage/platform/view_fault_guard.h"
#include "storage/platform/view_fault_state.h"

// RtlCaptureContext returns a second time when the handler resumes the
// thread at the point it recorded: declared so that the compiler keeps
// nothing in registers across it that the second return would find stale.
extern "C" void CaptureResumePoint(CONTEXT* context) __asm__("RtlCaptureContext")
    __attribute__((returns_twice));

namespace kestron4 {
namespace {

std::atomic<void*> g_handler{nullptr};

// Back to the point CaptureResumePoint recorded: the registers a call keeps
// (the Windows x64 convention's non-volatile ones), and the stack and
// instruction pointers. The rest of the faulting context is the system's.
void Resume(CONTEXT& now, const CONTEXT& at) {
  now.Rip = at.Rip;
  now.Rsp = at.Rsp;
  now.Rbp = at.Rbp;
  now.Rbx = at.Rbx;
  now.Rsi = at.Rsi;
  now.Rdi = at.Rdi;
  now.R12 = at.R12;
  now.R13 = at.R13;
  now.R14 = at.R14;
  now.R15 = at.R15;
  now.MxCsr = at.MxCsr;
  std::memcpy(&now.Xmm6, &at.Xmm6, 10 * sizeof(M128A));  // Xmm6 to Xmm15
}

LONG CALLBACK OnException(EXCEPTION_POINTERS* exception) {
  const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
  if (record.ExceptionCode != EXCEPTION_IN_PAGE_ERROR || record.NumberParameters < 2)
    return EXCEPTION_CONTINUE_SEARCH;
  ViewGuardState& guard = tViewGuard;
  const auto* address = reinterpret_cast<const char*>(record.ExceptionInformation[1]);
  if (guard.begin == nullptr || guard.resume == nullptr || address < guard.begin ||
      address >= guard.end)
    return EXCEPTION_CONTINUE_SEARCH;
  guard.faulted = 1;
  Resume(*exception->ContextRecord, *static_cast<const CONTEXT*>(guard.resume));
  return EXCEPTION_CONTINUE_EXECUTION;
}

// A handler left behind by an unloaded DLL would be called, in freed code,
// by the next exception of the process.
void RemoveHandler() {
  if (void* handler = g_handler.exchange(nullptr)) RemoveVectoredExceptionHandler(handler);
}

}  // namespace

void InstallViewFaultHandler() {
  g_handler.store(AddVectoredExceptionHandler(1, OnException));
  RunAtUnload(RemoveHandler);
}

bool CopyFromView(const void* view, std::size_t size, std::size_t offset, void* destination,
                  std::size_t count) {
  if (count == 0) return true;
  const char* const source = static_cast<const char*>(view) + offset;
  alignas(16) CONTEXT at;
  ViewFaultGuard guard(view, size);
  void* const outer = tViewGuard.resume;
  tViewGuard.resume = &at;
  CaptureResumePoint(&at);
  if (tViewGuard.faulted == 0) std::memcpy(destination, source, count);
  tViewGuard.resume = outer;
  return !guard.Faulted();
}

// The view was never touched: it is still the file's.
bool RestoreView(NativeFile, const void*, uint64_t) { return true; }

}  // namespace kestron4
