// The logger configuration export. The writer reports its own result: it
// leaves the cell alone when there is nothing to export and sets code 1 when
// writing fails.
#include "api/export_frame.h"
#include "export/qf73/qf73_export.h"

using namespace kestron4;

bool KSTRN_ExportQF73v3(const char16_t* path, KSTRN_SessionHandle s) {
  return Direct(false, [&] { return ExportQF73v3(SessionOf(s), path); });
}
