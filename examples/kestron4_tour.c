/* A tour of kestron4 through its C interface: build a session, save it,
 * open it again and print its tree; then open every file named on the command
 * line (container files or older logger files) and print theirs. */
#include <kestron4/kestron4.h>

#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>
#include <string.h>

static int Check(bool ok, const char* what) {
  if (!ok) fprintf(stderr, "%s failed: %s\n", what, KSTRN_GetLastEEStr());
  return ok;
}

static void PrintValue(uint16_t tid, KSTRN_SessionHandle s, int depth) {
  uint32_t size = 0;
  printf("%*s%u", depth * 2 + 2, "", tid);
  if (!KSTRN_GetValSize(tid, &size, s)) {
    printf(" (unreadable: %s)\n", KSTRN_GetLastEEStr());
    return;
  }
  if (KSTRN_IsVariableSize(tid) || KSTRN_IsLongVariableSize(tid)) {
    uint32_t n = KSTRN_GetBufferLenUTF8(tid, s);
    char* text = malloc(n ? n : 1);
    if (text != NULL && n != 0 && KSTRN_ReadStringUTF8(tid, text, n, s) != 0) {
      printf(" text \"%s\"\n", text);
    } else {
      printf(" text (%u bytes)\n", size);
    }
    free(text);
    return;
  }
  unsigned char* bytes = malloc(size ? size : 1);
  if (bytes == NULL || !KSTRN_GetValue(tid, bytes, s)) {
    printf(" (%u bytes)\n", size);
    free(bytes);
    return;
  }
  if (size == 1 || size == 2 || size == 4 || size == 8) {
    uint64_t v = 0;
    for (uint32_t i = size; i-- > 0;) v = (v << 8) | bytes[i];
    printf(" = %llu\n", (unsigned long long)v);
  } else {
    printf(" blob %u bytes:", size);
    for (uint32_t i = 0; i < size && i < 16; ++i) printf(" %02x", bytes[i]);
    printf(size > 16 ? " ...\n" : "\n");
  }
  free(bytes);
}

/* Prints the current item block and everything below it. */
static void PrintBlock(KSTRN_SessionHandle s, int depth) {
  uint16_t nv = 0, nt = 0;
  KSTRN_GetValueCount(&nv, s);
  uint16_t* vt = malloc(sizeof(uint16_t) * (nv ? nv : 1));
  KSTRN_GetValueList(vt, s);
  for (uint16_t i = 0; i < nv; ++i) PrintValue(vt[i], s, depth);
  free(vt);

  KSTRN_GetTypeCount(&nt, s);
  uint16_t* it = malloc(sizeof(uint16_t) * (nt ? nt : 1));
  KSTRN_GetTypeList(it, s);
  for (uint16_t i = 0; i < nt; ++i) {
    uint16_t blocks = 0;
    KSTRN_GetItemCount(it[i], &blocks, s);
    for (uint16_t b = 0; b < blocks; ++b) {
      if (depth >= 16 || (b >= 8 && b + 1 < blocks)) {
        if (b == 8) printf("%*s... %u more blocks of %u\n", depth * 2 + 2, "", blocks - 9, it[i]);
        continue;
      }
      printf("%*s%u[%u]\n", depth * 2, "", it[i], b);
      KSTRN_OpenItem(it[i], b, s);
      PrintBlock(s, depth + 1);
      KSTRN_CloseItem(s);
    }
  }
  free(it);
}

static int BuildAndSave(const char* path) {
  KSTRN_SessionHandle s;
  KSTRN_NewSession(&s);
  KSTRN_InsertStringUTF8(2001, "Demo logger \xE2\x80\x93 bench car", s);
  KSTRN_InsertItemBlocks(105, 3, s);
  const char* names[] = {"Engine speed", "Oil temperature", "Throttle"};
  for (int i = 0; i < 3; ++i) {
    uint32_t rate = 10u << i;
    KSTRN_OpenItem(105, i, s);
    KSTRN_InsertStringUTF8(2001, names[i], s);
    KSTRN_InsertValue(10010, &rate, s);
    KSTRN_CloseItem(s);
  }
  unsigned char samples[64];
  for (int i = 0; i < 64; ++i) samples[i] = (unsigned char)(i * 7);
  KSTRN_InsertData(sizeof samples, samples, s);
  printf("built a session of %llu bytes\n", (unsigned long long)KSTRN_SaveSessionSize(s));
  int ok = Check(KSTRN_SaveSession(path, s), "KSTRN_SaveSession");
  KSTRN_CloseSession(s);
  return ok;
}

static int Show(const char* path) {
  KSTRN_SessionHandle s;
  if (!Check(KSTRN_OpenSession(path, &s), path)) return 0;
  uint16_t type = 0;
  KSTRN_GetFileType(&type, s);
  printf("%s (file type %u, %llu bytes as a container)\n", path, type,
         (unsigned long long)KSTRN_SaveSessionSize(s));
  PrintBlock(s, 0);
  KSTRN_CloseSession(s);
  return 1;
}

int main(int argc, char** argv) {
  printf("kestron4 %s\n", KSTRN_GetEVersion());
  /* A fresh name of our own, so that runs side by side, or a file someone
   * else placed in the shared folder, are never written over. */
  const char* dir = getenv("TMPDIR");
  char path[4096];
  snprintf(path, sizeof path, "%s/kestron4_tour.XXXXXX", dir && *dir ? dir : "/tmp");
  const int fd = mkstemp(path);
  if (fd < 0) {
    perror(path);
    return 1;
  }
  close(fd);
  int ok = BuildAndSave(path) && Show(path);
  remove(path);
  for (int i = 1; i < argc; ++i) ok = Show(argv[i]) && ok;
  return ok ? 0 : 1;
}
