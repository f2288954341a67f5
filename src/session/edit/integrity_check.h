// The integrity check: resolve every reference of a session, in tree order,
// and stop at the first that does not resolve.
#pragma once

#include <cstdint>

#include "session/session_core.h"

namespace kestron4 {

// Walks the whole session and resolves each reference entry (a block of an
// item 112 with a number 1052) from the block that holds it. Returns 0, or 11
// at the first entry that does not resolve; *count (when given) is the number
// resolved before it. The cursor ends where it started. indexed chooses
// between the index of reference targets and the plain scans; both give the
// same code, count and cursor.
ErrorCode RunIntegrityCheck(SessionCore& session, uint32_t* count, bool indexed);

}  // namespace kestron4
