// The logger configuration export. The writer sets the last error itself
// (only a failure changes it), so the call is reported as given.
#include "api/export_frame.h"
#include "export/qf73/qf73_export.h"

using namespace kestron4;

bool KSTRN_ExportQF73v3(const KSTRN_WChar* path, KSTRN_SessionHandle s) {
  return Reported([&] { return ExportQF73v3(SessionOf(s), U16(path)); });
}
