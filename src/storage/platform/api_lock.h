// The one process-wide lock. It guards only small shared tables: the session
// registry, the list of last-error cells and the global temporary directory.
// Hold it for a copy or an insertion, never across a session operation or any
// file I/O, and never from a thread-end or unload hook (those run under the
// Windows loader lock, which a holder of this lock may be waiting for).
//
// The lock is constant-initialised and never destroyed: it works from any
// static initialiser, and a process that ends while other threads are inside
// the library (killed where they stand, perhaps holding it) finds it intact.
#pragma once

#include <mutex>

namespace kestron4 {

#ifdef _WIN32
// An SRWLOCK (SRWLOCK_INIT is all zeros), kept as its one pointer so that
// this header needs no <windows.h>. std::mutex would not do: the runtime's
// mutex behind it is made on first use and destroyed by an exit handler.
class ApiMutex {
 public:
  constexpr ApiMutex() = default;
  ApiMutex(const ApiMutex&) = delete;
  ApiMutex& operator=(const ApiMutex&) = delete;
  void lock();
  void unlock();

 private:
  void* srw_ = nullptr;
};
#else
// glibc's mutex is a constant and needs no destruction.
using ApiMutex = std::mutex;
#endif

ApiMutex& ApiLock();

}  // namespace kestron4
