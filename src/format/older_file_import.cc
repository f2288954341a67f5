// Older logger setup and data files are converted into a fresh tree by the
// legacy import; the loader hands it the stream after the type is known.
#include "format/legacy/legacy_convert.h"
#include "format/session_load.h"
#include "session/session_core.h"

namespace kestron4 {

ErrorCode ConvertOlderFile(SessionCore& session, TStream& stream, uint16_t type) {
  session.ResetTree();
  return ConvertLegacyFile(session, stream, type);
}

}  // namespace kestron4
