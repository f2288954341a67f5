// The save routine that every storage policy shares.
#pragma once

#include "format/container_writer.h"
#include "session/error_codes.h"

namespace kestron4 {

class SessionCore;
class TStream;
struct ItemBlock;

// Writes the container of top to stream from the stream's current position
// through a buffer, and flushes it, with every block size exact: the cached
// sizes under top are checked as they are written and recomputed if one is
// out of date (the output is then written again from the same position).
// Throws the stream layer's failures (see WriteContainer).
// check: when a tree that would not read back is refused (WriteContainer).
// newFile: the stream is a new, empty file, so runs of zeros copied from
// holes of outside files may stay holes (StreamWriter::AllowHoles).
void WriteContainerToStream(SessionCore& session, ItemBlock* top, TStream& stream,
                            ReadBackCheck check = ReadBackCheck::kBeforeWriting,
                            bool newFile = false);

// A whole-session save to stream: sets the file type to 0, writes the root.
// Returns ErrNone or ErrFileAccess; never throws.
ErrorCode SaveSessionToStream(SessionCore& session, TStream& stream);

}  // namespace kestron4
