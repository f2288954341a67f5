// Following one reference: from the block that holds it to the block it
// names, and on into an inner block for a nested reference.
#pragma once

#include <cstdint>

#include "session/edit/target_finder.h"
#include "session/error_codes.h"

namespace kestron4 {

struct Resolution {
  // 0; 11 when the holder has no entry with the number, or the entry has no
  // key or a malformed inner part; 10 when the target (or the inner block)
  // cannot be found.
  ErrorCode code = ErrNone;
  // Where the cursor goes: the block reached on success; the outer target
  // when only the inner search of a nested reference failed; otherwise null
  // (the cursor stays).
  ItemBlock* landing = nullptr;
};

// Resolves reference refNo of holder. Moves no cursor itself (the finder
// restores it); the caller applies landing.
Resolution ResolveReference(SessionCore& session, ItemBlock* holder, uint16_t refNo,
                            TargetFinder& finder);

}  // namespace kestron4
