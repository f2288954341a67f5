// The last-error queries. They never fail and never change the code.
#include "api/error_text.h"
#include "api/last_error_cell.h"
#include "kestron4/kestron4.h"

using namespace kestron4;

uint32_t KSTRN_GetLastEE(void) { return ThisThreadCell().code; }

const char* KSTRN_GetLastEEStr(void) {
  LastErrorCell& cell = ThisThreadCell();
  return FormatErrorText(cell.code, cell.text, sizeof cell.text);
}
