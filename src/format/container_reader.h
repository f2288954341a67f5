// Reading block records of the container layout (container_format.h) into a
// session tree.
#pragma once

#include <cstdint>

#include "session/error_codes.h"

namespace kestron4 {

class StreamReader;
class SessionCore;
struct ItemBlock;

// Where the reader leaves the bytes of a value larger than Value::kInline.
// Smaller values are always copied into the session's arena, so the data
// size value (1066) that decides the length of a blob is always at hand.
enum class LargeValueHome : uint8_t {
  kCopy,    // copied into the session's arena
  kView,    // left in a mapped view: ValueHome::kView at the input offset
  kStream,  // left in the source stream: ValueHome::kStream at the input offset
};

// Reads the entries and the child block records of `block`, whose size
// field has already been consumed from input, appending items and blocks to
// it; each block's values become one packed run in the session's arena;
// every block read gets its content size recomputed (the stored field is not
// trusted). Walks the nesting with an explicit stack.
//
// Returns ErrNone, or ErrFileAccess when the input ends early, when a value
// or the child blocks announced by a block claim more bytes than the input
// still holds (checked before anything is allocated for them), when blocks
// nest deeper than SessionCore::kMaxDepth, or when the stream fails. After a
// failure the partly read tree is consistent: every item's block count is
// the number of blocks read and every cached size is exact, so it can be
// used and closed.
ErrorCode ReadBlockBody(SessionCore& session, ItemBlock* block, StreamReader& input,
                        LargeValueHome large);

}  // namespace kestron4
