/* The public header used from plain C99: a short session built, searched,
 * measured and closed through the exported functions. Exits non-zero at the
 * first failed check. */
#include <stdio.h>
#include <string.h>

#include "kestron4/kestron4.h"

#define CHECK(condition)                                                   \
  do {                                                                     \
    if (!(condition)) {                                                    \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      return 1;                                                            \
    }                                                                      \
  } while (0)

int main(void) {
  KSTRN_SessionHandle s = NULL;
  uint16_t tid = 0;
  uint32_t index = 99;
  const char16_t key[] = {'p', 'r', 'o', 'b', 'e', 0};

  CHECK(KSTRN_GetLastEE() == KSTRN_ErrNone);
  CHECK(KSTRN_NewSession(&s));
  CHECK(s != NULL);
  CHECK(KSTRN_InsertItemBlocks(7, 2, s));
  CHECK(KSTRN_OpenItem(7, 1, s));
  CHECK(KSTRN_InsertValue(2001, "probe", s));
  CHECK(KSTRN_GotoRoot(s));

  CHECK(KSTRN_FindType(7, 2001, "probe", s));
  CHECK(KSTRN_GetParentTID(&tid, &index, s));
  CHECK(tid == 7 && index == 1);
  CHECK(KSTRN_GotoRoot(s));
  CHECK(KSTRN_FindTypeUTF16(7, 2001, key, s));
  CHECK(KSTRN_GotoRoot(s));

  CHECK(!KSTRN_FindType(7, 2001, "absent", s));
  CHECK(KSTRN_GetLastEE() == KSTRN_ErrTypeNotFound);
  CHECK(strcmp(KSTRN_GetLastEEStr(),
               "Kestron Error 5: The specified type could not been found") == 0);

  /* Header 19, root size field 4, root content: end marker 2, item entry 4,
   * an empty block 4 + 2, a block 4 + (2 + value 2001: 2 + 1 + 6). */
  CHECK(KSTRN_SaveSessionSize(s) == 19 + 4 + 2 + 4 + 6 + 4 + 11);
  CHECK(KSTRN_CloseSession(s));
  CHECK(KSTRN_GetLastEE() == KSTRN_ErrNone);
  return 0;
}
