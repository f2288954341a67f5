#include "storage/platform/unload_hooks.h"

#include <cstdlib>

#include "storage/platform/library_entry.h"

namespace kestron4 {

constinit UnloadHooks g_unloadHooks;

void UnloadHooks::Add(void (*hook)()) {
  const int slot = count_.fetch_add(1, std::memory_order_acq_rel);
  if (slot >= kMax) std::abort();  // a programming error: raise kMax
  hooks_[slot].store(hook, std::memory_order_release);
}

void UnloadHooks::RunAll() {
  for (int slot = count_.exchange(0, std::memory_order_acq_rel); slot-- > 0;) {
    if (slot >= kMax) continue;
    if (void (*hook)() = hooks_[slot].exchange(nullptr, std::memory_order_acq_rel)) hook();
  }
}

void RunAtUnload(void (*hook)()) { g_unloadHooks.Add(hook); }

}  // namespace kestron4
