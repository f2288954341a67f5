// Creating, closing, cancelling and the generic export of sessions.
#include "api/export_frame.h"
#include "api/session_registry.h"

using namespace kestron4;

bool KSTRN_NewSession(KSTRN_SessionHandle* session) {
  return Reported([&] {
    AbstractSession* created = CreateSession(PolicyKind::kMemory);
    if (created == nullptr) return ReportCode(ErrFileAccess);
    *session = ToHandle(created);
    return ReportOk();
  });
}

bool KSTRN_CloseSession(KSTRN_SessionHandle s) {
  return Reported([&] {
    std::unique_ptr<AbstractSession> closing = UnregisterSession(s);
    ReportOk();
    closing.reset();  // destroyed outside ApiLock: a big tree takes a while
    return true;
  });
}

bool KSTRN_CancelSession(KSTRN_SessionHandle) { return false; }

bool KSTRN_ExportSession(uint16_t, const char*, KSTRN_SessionHandle) {
  return ReportCode(ErrExportType);
}

bool KSTRN_ExportSessionW(uint16_t, const KSTRN_WChar*, KSTRN_SessionHandle) {
  return ReportCode(ErrExportType);
}
