// The in-memory storage policy: every value's bytes live in memory.
#pragma once

#include "policies/policy_base.h"

namespace kestron4 {

struct MemPolicy : PolicyBase {};

}  // namespace kestron4
