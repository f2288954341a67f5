// The integrity check: resolve every reference of a session, in tree order,
// and stop at the first that does not resolve.
#pragma once

#include <cstdint>
#include <functional>

#include "session/edit/reference_resolver.h"
#include "session/session_core.h"

namespace kestron4 {

// Called for each reference entry (a block of an item 112 with a number
// 1052) with how it resolved from the block that holds it; an entry whose
// number cannot be read resolves to 11. Returns false to end the walk.
using ReferenceVisitor = std::function<bool(const ItemBlock* entry, const Resolution&)>;

// Walks the whole session in tree order and resolves every reference entry.
// indexed chooses between the index of reference targets and the plain
// scans; both give the same resolutions. Returns false when the visitor
// ended the walk. The cursor ends where it started.
bool ResolveAllReferences(SessionCore& session, bool indexed, const ReferenceVisitor& visit);

// Returns 0, or 11 at the first entry that does not resolve; *count (when
// given) is the number resolved before it.
ErrorCode RunIntegrityCheck(SessionCore& session, uint32_t* count, bool indexed);

}  // namespace kestron4
