// The logger configuration export. Its writer is not part of this build yet:
// until it is, the export refuses every session as a file type it cannot
// write, without creating a file.
#include "api/export_frame.h"

using namespace kestron4;

bool KSTRN_ExportQF73v3(const char16_t*, KSTRN_SessionHandle) { return ReportCode(ErrExportType); }
