// What the view fault handlers of the two systems share with the guard: the
// calling thread's guarded range, and the installation of the handler.
#pragma once

#include <csignal>

namespace kestron4 {

// Plain data without constructors, so that a handler reads it without any
// lazy initialisation. The guard writes it before anything can fault, which
// also makes sure this thread's block of it exists.
struct ViewGuardState {
  const char* begin;
  const char* end;
  volatile std::sig_atomic_t faulted;
  void* resume;  // Windows: where CopyFromView resumes after a fault
};
extern constinit thread_local ViewGuardState tViewGuard;

// Installs the system's handler for the whole process; called once, by the
// first guard.
void InstallViewFaultHandler();

}  // namespace kestron4
