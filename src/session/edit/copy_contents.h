// Copying the contents of one session's current item block into another
// session's current item block, through the session operations of both.
//
// The walk keeps its own stack, so a tree of any depth copies without
// exhausting the thread's stack. A value or block that cannot be read or
// inserted is skipped; its error code goes to the calling thread's last-error
// cell at once and the copy carries on.
#pragma once

#include "session/abstract_session.h"

namespace kestron4 {

// Copies the values and the items (with their whole subtrees) of the
// source's current item block into the destination's current item block.
// Existing values of the same TID are overwritten; copied item blocks go
// after the blocks an item already holds. Both cursors end where they began.
// Source and destination may be the same session.
void CopyContents(AbstractSession& source, AbstractSession& destination);

// Copies the source's current item block as one new last block of the item
// with the same TID under the destination's current item block. At the
// source's root it copies the root's contents, as CopyContents does.
void CopyBlocks(AbstractSession& source, AbstractSession& destination);

}  // namespace kestron4
