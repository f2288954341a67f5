// The in-memory storage policy: every value's bytes live in memory.
#pragma once

namespace kestron4 {

struct MemPolicy {};

}  // namespace kestron4
