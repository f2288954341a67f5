#include "storage/platform/view_fault_guard.h"

#include <sys/mman.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstring>

#include "storage/platform/view_fault_state.h"

namespace kestron4 {
namespace {

struct sigaction gPrevious;
uintptr_t gPageMask = 0;

void PassOn(int signal, siginfo_t* info, void* context) {
  if (gPrevious.sa_flags & SA_SIGINFO) {
    gPrevious.sa_sigaction(signal, info, context);
    return;
  }
  if (gPrevious.sa_handler != SIG_DFL && gPrevious.sa_handler != SIG_IGN) {
    gPrevious.sa_handler(signal);
    return;
  }
  // Back to the default action: a fault repeats when the handler returns and
  // then ends the process as it would have without us; a signal that was
  // sent is sent again.
  struct sigaction fallback = {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  sigaction(signal, &fallback, nullptr);
  if (info == nullptr || info->si_code <= 0) raise(signal);
}

void OnBusError(int signal, siginfo_t* info, void* context) {
  const ViewGuardState& guard = tViewGuard;
  const char* address = info != nullptr ? static_cast<const char*>(info->si_addr) : nullptr;
  if (guard.begin != nullptr && address >= guard.begin && address < guard.end) {
    // A page of zeros where the file has no bytes any more. This is a raw
    // system call on purpose: the platform layer may lock, and a handler
    // must not.
    void* page = reinterpret_cast<void*>(reinterpret_cast<uintptr_t>(address) & gPageMask);
    if (mmap(page, ~gPageMask + 1, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) !=
        MAP_FAILED) {
      tViewGuard.faulted = 1;
      return;
    }
  }
  PassOn(signal, info, context);
}

}  // namespace

void InstallViewFaultHandler() {
  gPageMask = ~(static_cast<uintptr_t>(sysconf(_SC_PAGESIZE)) - 1);
  struct sigaction action = {};
  action.sa_sigaction = OnBusError;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(SIGBUS, &action, &gPrevious);
}

bool CopyFromView(const void* view, std::size_t size, std::size_t offset, void* destination,
                  std::size_t count) {
  if (count == 0) return true;
  ViewFaultGuard guard(view, size);
  std::memcpy(destination, static_cast<const char*>(view) + offset, count);
  return !guard.Faulted();
}

bool RestoreView(NativeFile file, const void* view, uint64_t size) {
  // MAP_FIXED keeps the view where it was.
  return mmap(const_cast<void*>(view), size, PROT_READ, MAP_SHARED | MAP_FIXED,
              static_cast<int>(file), 0) != MAP_FAILED;
}

}  // namespace kestron4
