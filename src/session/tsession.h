// TSession<Policy>: the session under one storage policy. The session logic
// is SessionCore's, the same text for every policy; the policy decides only
// where value bytes live and provides the operations that depend on it.
#pragma once

#include "session/session_core.h"

namespace kestron4 {

// Gathers the policy's types; no data, no operations.
template <class Policy>
struct PolicyTypedefs {
  using PolicyType = Policy;
};

template <class Policy>
class TSession final : public SessionCore, public PolicyTypedefs<Policy> {};

}  // namespace kestron4
