// Questions about TIDs and value equality; no session involved.
#include "api/export_frame.h"

using namespace kestron4;

bool KSTRN_IsValueID(uint16_t tid) { return IsValueID(tid); }

bool KSTRN_IsVariableSize(uint16_t tid) { return IsVariableSize(tid); }

bool KSTRN_IsLongVariableSize(uint16_t tid) { return IsLongVariableSize(tid); }

bool KSTRN_IsQuickFind(uint16_t tid) { return IsQuickFind(tid); }

bool KSTRN_IsLogger(uint16_t code) { return IsLogger(code); }

uint32_t KSTRN_ValSize(uint16_t tid, uint32_t n) { return ValSize(tid, n); }

uint32_t KSTRN_ValType(uint16_t tid) { return ValType(tid); }

bool KSTRN_ValCompare(uint16_t tid, const void* a, const void* b) { return ValCompare(tid, a, b); }

// Unlike the other TID functions this one sets the cell.
bool KSTRN_CompareValues(uint16_t tid, const void* a, const void* b) {
  const bool equal = CompareValues(tid, a, b);
  SetLastError(ErrNone);
  return equal;
}
