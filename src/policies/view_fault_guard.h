// Reading a file mapping without dying when the file shrinks.
//
// A session's view is a MAP_SHARED mapping of a file that other programs may
// truncate at any time. Touching a page of the view that lies past the
// file's new end raises SIGBUS, whose default action kills the process. So
// every read of a view runs inside a ViewFaultGuard: a SIGBUS on a page of
// the guarded range is answered by mapping a page of zeros over the faulting
// page, the interrupted copy runs to its end, and the guard reports the
// fault. The caller then throws away what it copied and restores the view
// (MappedFile::Refresh) so that the patched pages never serve a later read.
//
// The handler is installed for the whole process by the first guard. A
// SIGBUS that is not ours (no guard on this thread, or an address outside its
// range) goes to the handler that was in place before, or to the default
// action. A program that installs its own SIGBUS handler after the first
// guard takes these faults over; it must pass them on to keep the protection.
//
// Guards are per thread and may nest (the innermost range is the one
// guarded; a fault is reported to the enclosing guards too). Pointers that
// leave the library (GetValuePtr) are not covered: a caller that reads
// through them reads the mapping directly.
#pragma once

#include <csignal>
#include <cstddef>

namespace kestron4 {

class ViewFaultGuard {
 public:
  // Guards [begin, begin + length) on the calling thread until destruction.
  ViewFaultGuard(const void* begin, std::size_t length);
  ~ViewFaultGuard();
  ViewFaultGuard(const ViewFaultGuard&) = delete;
  ViewFaultGuard& operator=(const ViewFaultGuard&) = delete;

  // Whether a page of the range faulted since construction; the bytes read
  // from the range since then are not the file's.
  bool Faulted() const;

 private:
  const char* savedBegin_;
  const char* savedEnd_;
  sig_atomic_t savedFaulted_;
};

}  // namespace kestron4
