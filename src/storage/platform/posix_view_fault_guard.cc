#include "storage/platform/view_fault_guard.h"

#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdint>
#include <mutex>

namespace kestron4 {
namespace {

// Plain data without constructors, so that the handler reads it without any
// lazy initialisation. The guard writes it before anything can fault, which
// also makes sure this thread's block of it exists.
struct GuardState {
  const char* begin;
  const char* end;
  volatile sig_atomic_t faulted;
};
thread_local GuardState tGuard;

struct sigaction gPrevious;
uintptr_t gPageMask = 0;
std::once_flag gInstalled;

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
  const GuardState& guard = tGuard;
  const char* address = info != nullptr ? static_cast<const char*>(info->si_addr) : nullptr;
  if (guard.begin != nullptr && address >= guard.begin && address < guard.end) {
    // A page of zeros where the file has no bytes any more. This is a raw
    // system call on purpose: the platform layer may lock, and a handler
    // must not.
    void* page = reinterpret_cast<void*>(reinterpret_cast<uintptr_t>(address) & gPageMask);
    if (mmap(page, ~gPageMask + 1, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) !=
        MAP_FAILED) {
      tGuard.faulted = 1;
      return;
    }
  }
  PassOn(signal, info, context);
}

void Install() {
  gPageMask = ~(static_cast<uintptr_t>(sysconf(_SC_PAGESIZE)) - 1);
  struct sigaction action = {};
  action.sa_sigaction = OnBusError;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(SIGBUS, &action, &gPrevious);
}

}  // namespace

ViewFaultGuard::ViewFaultGuard(const void* begin, std::size_t length)
    : savedBegin_(tGuard.begin), savedEnd_(tGuard.end), savedFaulted_(tGuard.faulted) {
  std::call_once(gInstalled, Install);
  tGuard.faulted = 0;
  tGuard.begin = static_cast<const char*>(begin);
  tGuard.end = tGuard.begin + length;
  std::atomic_signal_fence(std::memory_order_seq_cst);
}

ViewFaultGuard::~ViewFaultGuard() {
  std::atomic_signal_fence(std::memory_order_seq_cst);
  const int faulted = tGuard.faulted;
  tGuard.begin = savedBegin_;
  tGuard.end = savedEnd_;
  // An outer guard over the same pages must learn of the fault too.
  tGuard.faulted = savedFaulted_ | faulted;
}

bool ViewFaultGuard::Faulted() const {
  std::atomic_signal_fence(std::memory_order_seq_cst);
  return tGuard.faulted != 0;
}

bool RestoreView(NativeFile file, const void* view, uint64_t size) {
  // MAP_FIXED keeps the view where it was.
  return mmap(const_cast<void*>(view), size, PROT_READ, MAP_SHARED | MAP_FIXED,
              static_cast<int>(file), 0) != MAP_FAILED;
}

}  // namespace kestron4
