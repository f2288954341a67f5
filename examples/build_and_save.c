/* Builds a small logger setup in a new session and saves it as a container.
 *
 *   build_and_save OUT.kst
 *
 * The tree: item 105 with one block per channel (name, sample rate), and a
 * recording block (item 135) holding 4 KiB of samples as its blob. */
#include <kestron4/kestron4.h>
#include <stdint.h>
#include <stdio.h>

static int Fail(const char* what) {
  fprintf(stderr, "%s failed: %s\n", what, KSTRN_GetLastEEStr());
  return 1;
}

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s OUT.kst\n", argv[0]);
    return 2;
  }
  static const char* const kNames[] = {"Engine speed", "Oil temperature", "Throttle"};
  static const uint32_t kRates[] = {100, 10, 50};

  KSTRN_SessionHandle s;
  if (!KSTRN_NewSession(&s)) return Fail("KSTRN_NewSession");
  KSTRN_InsertStringUTF8(2001, "Bench car \xE2\x80\x93 run 7", s); /* U+2013 en dash */
  if (!KSTRN_InsertItemBlocks(105, 3, s)) return Fail("KSTRN_InsertItemBlocks");
  for (int i = 0; i < 3; ++i) {
    KSTRN_OpenItem(105, i, s);
    KSTRN_InsertStringUTF8(2001, kNames[i], s);
    KSTRN_InsertValue(10010, &kRates[i], s);
    KSTRN_CloseItem(s);
  }

  /* A blob is allocated first and filled in pieces, as a recorder would. */
  KSTRN_InsertItemBlocks(135, 1, s);
  KSTRN_OpenItem(135, 0, s);
  KSTRN_AllocData(4096, s);
  uint8_t piece[256];
  for (uint32_t offset = 0; offset < 4096; offset += sizeof piece) {
    for (uint32_t i = 0; i < sizeof piece; ++i) piece[i] = (uint8_t)((offset + i) * 31);
    KSTRN_WriteData(sizeof piece, piece, offset, s);
  }
  KSTRN_CloseItem(s);

  const int ok = KSTRN_SaveSession(argv[1], s);
  if (ok) {
    printf("saved %s: %llu bytes\n", argv[1], (unsigned long long)KSTRN_SaveSessionSize(s));
  } else {
    Fail("KSTRN_SaveSession");
  }
  KSTRN_CloseSession(s);
  return ok ? 0 : 1;
}
