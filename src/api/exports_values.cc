// Reading the values of the current item block. The size, copy and pointer
// queries report through the cell; handles, ranged reads and the text
// readers return their own result and leave the cell as it was.
#include "api/export_frame.h"
#include "session/session_core.h"

using namespace kestron4;

namespace {

// Every session behind a handle is a TSession (session/tsession.h), which
// keeps SessionCore's value readers: the two reads a program makes per
// value call them without dispatch, their common case inline.
SessionCore& CoreOf(KSTRN_SessionHandle s) { return static_cast<SessionCore&>(SessionOf(s)); }

}  // namespace

bool KSTRN_GetValueCount(uint16_t* count, KSTRN_SessionHandle s) {
  return Reported([&] {
    *count = SessionOf(s).GetValueCount();
    return ReportOk();
  });
}

bool KSTRN_GetValueList(uint16_t* tids, KSTRN_SessionHandle s) {
  return Reported([&] {
    SessionOf(s).GetValueList(tids);
    return ReportOk();
  });
}

bool KSTRN_GetValSize(uint16_t tid, uint32_t* size, KSTRN_SessionHandle s) {
  return Reported([&] { return ReportCode(CoreOf(s).SessionCore::GetValSize(tid, size)); });
}

bool KSTRN_GetValue(uint16_t tid, void* destination, KSTRN_SessionHandle s) {
  return Reported([&] { return ReportCode(CoreOf(s).SessionCore::GetValue(tid, destination)); });
}

bool KSTRN_GetValuePtr(uint16_t tid, const void** pointer, KSTRN_SessionHandle s) {
  return Reported([&] { return ReportCode(SessionOf(s).GetValuePtr(tid, pointer)); });
}

KSTRN_ValueHandle KSTRN_GetValueHandle(uint16_t tid, KSTRN_SessionHandle s) {
  return Direct(KSTRN_ValueHandle{}, [&] { return ToHandle(SessionOf(s).GetValueHandle(tid)); });
}

bool KSTRN_ReadValue(KSTRN_ValueHandle value, uint32_t offset, void* destination, uint32_t count,
                     KSTRN_SessionHandle s) {
  return Direct(false,
                [&] { return SessionOf(s).ReadValue(ToValue(value), offset, destination, count); });
}

uint32_t KSTRN_GetBufferLenUTF8(uint16_t tid, KSTRN_SessionHandle s) {
  return Direct(uint32_t{0}, [&] { return SessionOf(s).GetBufferLenUTF8(tid); });
}

uint32_t KSTRN_GetBufferLenUTF16(uint16_t tid, KSTRN_SessionHandle s) {
  return Direct(uint32_t{0}, [&] { return SessionOf(s).GetBufferLenUTF16(tid); });
}

uint32_t KSTRN_ReadStringUTF8(uint16_t tid, char* buffer, uint32_t size, KSTRN_SessionHandle s) {
  return Direct(uint32_t{0}, [&] { return SessionOf(s).ReadStringUTF8(tid, buffer, size); });
}

uint32_t KSTRN_ReadStringUTF16(uint16_t tid, KSTRN_WChar* buffer, uint32_t size,
                               KSTRN_SessionHandle s) {
  return Direct(uint32_t{0}, [&] { return SessionOf(s).ReadStringUTF16(tid, U16(buffer), size); });
}
