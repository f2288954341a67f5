// Reading a file mapping without dying when the file shrinks.
//
// A session's view is a shared mapping of a file that other programs may
// cut short. Touching a page of the view that lies past the file's new end
// raises SIGBUS on POSIX and EXCEPTION_IN_PAGE_ERROR on Windows, and either
// kills the process. So every read of a view runs inside a ViewFaultGuard
// (CopyFromView). On POSIX a fault on a page of the guarded range is
// answered by putting zeros where the file's pages were, the interrupted
// copy runs to its end, and the guard reports the fault; the caller then
// throws away what it copied and restores the view with RestoreView() so
// that the patched pages never serve a later read. On Windows the copy is
// abandoned at the fault instead, and the view stays as it was.
//
// The handler (a SIGBUS handler on POSIX, a vectored exception handler on
// Windows) is installed for the whole process by the first guard. A fault
// that is not ours (no guard on this thread, or an address outside its
// range) goes to whatever handled it before, or to the default action. On
// POSIX, a program that installs its own SIGBUS handler after the first
// guard takes these faults over; it must pass them on to keep the protection.
//
// Guards are per thread and may nest (the innermost range is the one
// guarded; a fault is reported to the enclosing guards too). Pointers that
// leave the library (GetValuePtr) are not covered: a caller that reads
// through them reads the mapping directly.
#pragma once

#include <cstddef>
#include <cstdint>

#include "storage/platform/platform.h"

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
  int savedFaulted_;
};

// Copies count bytes from offset of a view of size bytes, guarded. False
// when a page of the view faulted; destination then holds a part of them
// at most. On POSIX the faulted pages read as zeros until RestoreView(); on
// Windows the view is left untouched (the read is abandoned at the fault),
// so other threads reading it meanwhile are not disturbed.
bool CopyFromView(const void* view, std::size_t size, std::size_t offset, void* destination,
                  std::size_t count);

// Maps file (size bytes from its start) read-only over the addresses of
// view again, so that pointers handed out before stay pointers into the
// view. False when that fails; the caller must then drop the view.
bool RestoreView(NativeFile file, const void* view, uint64_t size);

}  // namespace kestron4
