// The integrity check of references, and the checksum that containers lack.
#include "api/export_frame.h"

using namespace kestron4;

bool KSTRN_CheckIntegrity(uint32_t* count, KSTRN_SessionHandle s) {
  return Reported([&] { return ReportCode(SessionOf(s).CheckIntegrity(count)); });
}

// The container format has no checksum field; callers that ask get 0.
bool KSTRN_GetCheckSum(uint8_t* checksum) {
  *checksum = 0;
  return true;
}
