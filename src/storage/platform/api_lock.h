// The one process-wide lock. It guards only small shared tables: the session
// registry, the list of last-error cells and the global temporary directory.
// Hold it for a copy or an insertion, never across a session operation or any
// file I/O.
#pragma once

#include <mutex>

namespace kestron4 {

std::mutex& ApiLock();

}  // namespace kestron4
