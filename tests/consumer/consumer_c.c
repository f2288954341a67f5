/* Builds a session in memory, saves it to a buffer, opens the buffer again
 * and reads the values back. Exit status 0 when everything matches. */
#include <kestron4/kestron4.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define EXPECT(cond)                                                        \
  do {                                                                      \
    if (!(cond)) {                                                          \
      fprintf(stderr, "consumer_c: %s failed: %s\n", #cond, KSTRN_GetLastEEStr()); \
      return 1;                                                             \
    }                                                                       \
  } while (0)

int main(void) {
  KSTRN_SessionHandle s = NULL;
  EXPECT(KSTRN_NewSession(&s));
  EXPECT(KSTRN_InsertItemBlocks(105, 1, s));
  EXPECT(KSTRN_OpenItem(105, 0, s));
  uint32_t rate = 250;
  EXPECT(KSTRN_InsertValue(10010, &rate, s));
  EXPECT(KSTRN_InsertStringUTF8(2001, "consumer", s));
  KSTRN_CloseItem(s);

  const uint64_t size = KSTRN_SaveSessionSize(s);
  unsigned char* buffer = malloc(size);
  EXPECT(buffer != NULL && KSTRN_SaveSessionBuffer(buffer, (uint32_t)size, s));
  KSTRN_CloseSession(s);

  KSTRN_SessionHandle again = NULL;
  EXPECT(KSTRN_OpenSessionBuffer(buffer, (uint32_t)size, &again));
  free(buffer);
  uint32_t found = 0;
  EXPECT(KSTRN_OpenItem(105, 0, again));
  EXPECT(KSTRN_GetValue(10010, &found, again) && found == 250);
  char name[16];
  EXPECT(KSTRN_ReadStringUTF8(2001, name, sizeof name, again) == 9 && strcmp(name, "consumer") == 0);
  KSTRN_CloseSession(again);
  printf("consumer_c: kestron4 %s, %llu-byte container read back\n", KSTRN_GetEVersion(),
         (unsigned long long)size);
  return 0;
}
