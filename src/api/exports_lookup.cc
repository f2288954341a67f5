// Finding item blocks by item TID and key. A search either moves the cursor
// to its match or reports 5 and leaves the cursor alone.
#include "api/export_frame.h"

using namespace kestron4;

bool KSTRN_FindLocalType(uint16_t tid, uint16_t vtid, const void* key, KSTRN_SessionHandle s) {
  return Reported(
      [&] { return ReportMapped(SessionOf(s).FindLocalType(tid, vtid, key), ErrTypeNotFound); });
}

bool KSTRN_FindLocalTypeUTF8(uint16_t tid, uint16_t vtid, const char* key, KSTRN_SessionHandle s) {
  return Reported([&] {
    return ReportMapped(SessionOf(s).FindLocalTypeUTF8(tid, vtid, key), ErrTypeNotFound);
  });
}

bool KSTRN_FindLocalTypeUTF16(uint16_t tid, uint16_t vtid, const KSTRN_WChar* key,
                              KSTRN_SessionHandle s) {
  return Reported([&] {
    return ReportMapped(SessionOf(s).FindLocalTypeUTF16(tid, vtid, U16(key)), ErrTypeNotFound);
  });
}

bool KSTRN_FindType(uint16_t tid, uint16_t vtid, const void* key, KSTRN_SessionHandle s) {
  return Reported(
      [&] { return ReportMapped(SessionOf(s).FindType(tid, vtid, key), ErrTypeNotFound); });
}

bool KSTRN_FindTypeUTF8(uint16_t tid, uint16_t vtid, const char* key, KSTRN_SessionHandle s) {
  return Reported(
      [&] { return ReportMapped(SessionOf(s).FindTypeUTF8(tid, vtid, key), ErrTypeNotFound); });
}

bool KSTRN_FindTypeUTF16(uint16_t tid, uint16_t vtid, const KSTRN_WChar* key, KSTRN_SessionHandle s) {
  return Reported(
      [&] { return ReportMapped(SessionOf(s).FindTypeUTF16(tid, vtid, U16(key)), ErrTypeNotFound); });
}
