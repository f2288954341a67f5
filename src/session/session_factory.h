// Creation of sessions under a storage policy.
#pragma once

#include <memory>

#include "session/abstract_session.h"

namespace kestron4 {

enum class PolicyKind { kMemory, kMapped, kStreamed };

// A new, empty session (root without items or values, cursor on the root).
// Null for a policy that this build does not provide.
std::unique_ptr<AbstractSession> MakeSession(PolicyKind kind);

}  // namespace kestron4
