// An item block's blob is a pair of values: 1066 holds its length as an
// unsigned 32-bit number, 1063 its bytes. Replacing the blob always deletes
// both and appends them again, 1066 first, so that a reader of the container
// meets the length before the bytes.
#pragma once

#include <cstdint>

#include "session/abstract_session.h"

namespace kestron4 {

// Replaces the blob of the current item block with size bytes copied from
// data.
void InsertBlob(AbstractSession& session, uint32_t size, const void* data);

// Replaces the blob of the current item block with size bytes left unfilled.
void AllocBlob(AbstractSession& session, uint32_t size);

}  // namespace kestron4
