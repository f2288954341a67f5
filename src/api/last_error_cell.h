// The per-thread last-error cell behind KSTRN_GetLastEE and KSTRN_GetLastEEStr.
// A thread gets its cell on first use; the cell is released when the thread
// ends (and freed soon after), and every cell still listed is freed when the
// library is unloaded from a process that goes on.
#pragma once

#include <atomic>
#include <cstddef>

#include "session/error_codes.h"

namespace kestron4 {

struct LastErrorCell {
  static constexpr std::size_t kTextSize = 255;  // 254 characters and a NUL

  ErrorCode code = ErrNone;
  char text[kTextSize] = {};
  LastErrorCell* prev = nullptr;  // links of the process-wide list
  LastErrorCell* next = nullptr;
  std::atomic<bool> released{false};  // its thread has ended; freed by the next sweep
};

// The calling thread's cell once it has one, else null: the fast way to it
// for the functions that report through it (api/export_frame.h).
extern constinit thread_local LastErrorCell* t_lastErrorCell;

// The calling thread's cell, created on first use. Never fails: if no memory
// is left for a new cell, a shared emergency cell stands in for it.
LastErrorCell& ThisThreadCell() noexcept;

// Number of cells of threads that have not ended; lets tests see cells go.
std::size_t LiveErrorCellCount();

}  // namespace kestron4
