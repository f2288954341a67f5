// Writes the logger configuration held in a session (the first item 23 under
// the root) to a "QF73 v3.00 file".
#pragma once

#include "session/abstract_session.h"

namespace kestron4 {

// Returns true when the file was written completely.
//
// - No item 23 under the root, or no item 105 in it: false, no file is
//   created and the last-error cell is left as it was.
// - The file cannot be written, or the configuration holds a value the
//   format cannot carry: false and last error 1 (ErrFileAccess). The file is
//   replaced atomically, so a failure never leaves a partial file; an
//   existing file of that name stays as it was.
// - Success: true, the last-error cell is left as it was.
//
// The session is only read. Its cursor is moved while the export works and
// put back where it was; every bookmark the export takes is removed again.
// `path` is a NUL-terminated UTF-16 file name (may be null: fails with 1).
// Never throws.
bool ExportQF73v3(AbstractSession& session, const char16_t* path);

}  // namespace kestron4
