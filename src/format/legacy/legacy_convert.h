// Conversion of the setup and data files of the older loggers into a session.
// The file is read at fixed offsets (format/legacy/legacy_layout.h) and the
// tree is built only through the session's own editing operations, so the
// same conversion serves every storage policy and every value it creates
// lives in memory.
#pragma once

#include <cstdint>

#include "session/abstract_session.h"
#include "session/error_codes.h"
#include "storage/streams/stream.h"

namespace kestron4 {

// Builds the converted tree under the session's root and leaves the cursor on
// the logger block. fileType is the code the loader detected (1, 2, 12, 13 or
// 14); only 14 changes the conversion (module data addresses).
//
// REQUIRES: the session's root is the fresh, empty root of this load.
// Returns 0, or 1 when the file is truncated, a stream operation fails, or the
// file names a channel, sensor, table or rate outside the logger's tables.
// Stream exceptions do not escape; on failure the session keeps the part of
// the tree already built and can be closed as usual.
ErrorCode ConvertLegacyFile(AbstractSession& session, TStream& stream, uint16_t fileType);

}  // namespace kestron4
