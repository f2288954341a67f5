#include "storage/platform/view_fault_guard.h"

#include <atomic>
#include <mutex>

#include "storage/platform/view_fault_state.h"

namespace kestron4 {

constinit thread_local ViewGuardState tViewGuard{nullptr, nullptr, 0, nullptr};

namespace {
std::once_flag gInstalled;
}  // namespace

ViewFaultGuard::ViewFaultGuard(const void* begin, std::size_t length)
    : savedBegin_(tViewGuard.begin), savedEnd_(tViewGuard.end), savedFaulted_(tViewGuard.faulted) {
  std::call_once(gInstalled, InstallViewFaultHandler);
  tViewGuard.faulted = 0;
  tViewGuard.begin = static_cast<const char*>(begin);
  tViewGuard.end = tViewGuard.begin + length;
  std::atomic_signal_fence(std::memory_order_seq_cst);
}

ViewFaultGuard::~ViewFaultGuard() {
  std::atomic_signal_fence(std::memory_order_seq_cst);
  const int faulted = tViewGuard.faulted;
  tViewGuard.begin = savedBegin_;
  tViewGuard.end = savedEnd_;
  // An outer guard over the same pages must learn of the fault too.
  tViewGuard.faulted = savedFaulted_ | faulted;
}

bool ViewFaultGuard::Faulted() const {
  std::atomic_signal_fence(std::memory_order_seq_cst);
  return tViewGuard.faulted != 0;
}

}  // namespace kestron4
