// References between item blocks, by item TID and key value.
#include "api/export_frame.h"

using namespace kestron4;

bool KSTRN_CreateReference(uint32_t bookmark, uint16_t refNo, uint16_t keyTid,
                           KSTRN_SessionHandle s) {
  return Reported(
      [&] { return ReportCode(SessionOf(s).CreateReference(bookmark, refNo, keyTid)); });
}

bool KSTRN_GotoReference(uint16_t refNo, KSTRN_SessionHandle s) {
  return Reported([&] { return ReportCode(SessionOf(s).GotoReference(refNo)); });
}

bool KSTRN_GetRefdValue(uint16_t keyTid, uint32_t* bookmarks, uint32_t capacity, uint32_t* count,
                        KSTRN_SessionHandle s) {
  return Reported(
      [&] { return ReportCode(SessionOf(s).GetRefdValue(keyTid, bookmarks, capacity, count)); });
}

bool KSTRN_CheckRefdValue(uint16_t keyTid, uint16_t* count, const void* newValue,
                          KSTRN_SessionHandle s) {
  return Reported([&] { return ReportCode(SessionOf(s).CheckRefdValue(keyTid, count, newValue)); });
}

bool KSTRN_CheckRefdValueUTF8(uint16_t keyTid, uint16_t* count, const char* newValue,
                              KSTRN_SessionHandle s) {
  return Reported(
      [&] { return ReportCode(SessionOf(s).CheckRefdValueUTF8(keyTid, count, newValue)); });
}

bool KSTRN_CheckRefdValueUTF16(uint16_t keyTid, uint16_t* count, const KSTRN_WChar* newValue,
                               KSTRN_SessionHandle s) {
  return Reported(
      [&] { return ReportCode(SessionOf(s).CheckRefdValueUTF16(keyTid, count, U16(newValue))); });
}
