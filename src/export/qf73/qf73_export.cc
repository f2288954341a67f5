#include "export/qf73/qf73_export.h"

#include <string>

#include "export/qf73/qf73_cursor_return.h"
#include "export/qf73/qf73_file.h"
#include "export/qf73/qf73_writer.h"
#include "session/last_error.h"
#include "storage/streams/stream.h"
#include "text/text_codec.h"

namespace kestron4 {

bool ExportQF73v3(AbstractSession& session, const char16_t* path) {
  // Moving the cursor must not disturb the caller's last error; only a
  // failed write reports one.
  const ErrorCode caller_error = GetLastError();
  bool written = false;
  bool failed = false;
  try {
    const qf73::CursorReturn home(session);
    // Destroyed before `home`, so the referenced items' bookmarks go first.
    qf73::Qf73Writer writer(session);
    if (writer.Prepare()) {
      writer.Build();
      if (path == nullptr) throw EOpenError();
      qf73::WriteImageFile(std::u16string(path, U16Length(path)), writer.Image());
      written = true;
    }
  } catch (...) {
    failed = true;
  }
  SetLastError(failed ? ErrFileAccess : caller_error);
  return written;
}

}  // namespace kestron4
