// Older logger files are converted by the legacy import, which is not part
// of this build yet; until it is connected here they are refused as
// unreadable.
#include "format/session_load.h"

namespace kestron4 {

ErrorCode ConvertOlderFile(SessionCore&, TStream&, uint16_t) { return ErrFileAccess; }

}  // namespace kestron4
