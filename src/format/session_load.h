// The load routine that every storage policy shares. The policies differ
// only in the stream they hand it and in where the bytes of large values
// stay (LargeValueHome).
#pragma once

#include <cstdint>

#include "format/container_reader.h"
#include "session/error_codes.h"

namespace kestron4 {

class SessionCore;
class TStream;

// Classifies the stream by its first bytes (read from offset 0 whatever the
// stream's position) and stores the code in the session even when the load
// then fails. A container replaces the session's tree and leaves the cursor
// on the new root; an older logger file goes to ConvertOlderFile; any other
// type is refused with ErrFileType.
//
// The stream is read through a buffer; a TMemRefStream is read straight
// from its block. Values of more than Value::kInline bytes are placed as
// `large` says; with kView or kStream their fileOffset is the stream offset
// of their first byte, so the stream (or the mapping it reads) must outlive
// the session's use of them.
//
// Returns ErrNone, ErrFileAccess (the stream failed, the input is shorter
// than the header, or the container is truncated or lies about its sizes),
// or ErrFileType. After ErrFileAccess the tree holds what was read, in a
// state that can be used and closed. Never throws.
ErrorCode LoadFromStream(SessionCore& session, TStream& stream, LargeValueHome large);

// The one place where older logger files (IsConvertedFileType) are turned
// into a session tree. Reads from the stream's start.
ErrorCode ConvertOlderFile(SessionCore& session, TStream& stream, uint16_t fileType);

}  // namespace kestron4
