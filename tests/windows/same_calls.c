/* One fixed sequence of calls through the C interface, ending in a save to
 * the path given as the only argument. Built for Linux against the shared
 * library and for Windows against the DLL, the two files must be equal byte
 * for byte. Exit status 0 when every call succeeded. */
#include <stdio.h>
#include <string.h>

#include "kestron4/kestron4.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: same_calls OUT\n");
    return 2;
  }
  KSTRN_SessionHandle s = NULL;
  int ok = KSTRN_NewSession(&s);
  const uint32_t number = 0x01020304u;
  const uint64_t wide = 0x1122334455667788ull;
  unsigned char blob[5000];
  uint32_t mark = 0;
  for (unsigned i = 0; i < sizeof blob; ++i) blob[i] = (unsigned char)(i * 31 + i / 7);
  ok = ok && KSTRN_InsertValue(10000, &number, s);
  ok = ok && KSTRN_InsertValue(1002, "caf\xe9", s); /* Windows-1252 text */
  ok = ok && KSTRN_InsertStringUTF8(4000, "\xce\xb1\xce\xb2 UTF-8", s);
  ok = ok && KSTRN_InsertItemBlocks(100, 3, s);
  for (int i = 0; ok && i < 3; ++i) {
    const uint32_t key = 100u + (uint32_t)i;
    ok = KSTRN_OpenItem(100, (uint32_t)i, s) && KSTRN_InsertValue(10001, &key, s) &&
         KSTRN_InsertValue(12000, &wide, s);
    if (ok && i == 0) ok = KSTRN_AddBookMark(&mark, s);
    if (ok && i == 2) ok = KSTRN_CreateReference(mark, 1, 10001, s);
    ok = ok && KSTRN_CloseItem(s);
  }
  ok = ok && KSTRN_InsertItemBlocks(150, 1, s) && KSTRN_OpenItem(150, 0, s) &&
       KSTRN_InsertData((uint32_t)sizeof blob, blob, s) && KSTRN_GotoRoot(s);
  ok = ok && KSTRN_SaveSession(argv[1], s);
  if (!ok) fprintf(stderr, "%s\n", KSTRN_GetLastEEStr());
  KSTRN_CloseSession(s);
  return ok ? 0 : 1;
}
