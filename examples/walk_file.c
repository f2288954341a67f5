/* Opens a container or older logger file and walks every item block, depth
 * first, printing each block's place and its values' TIDs and sizes.
 *
 *   walk_file FILE
 *
 * The walk keeps its own stack of positions instead of recursing, so even a
 * tree thousands of levels deep costs no call stack. */
#include <kestron4/kestron4.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

/* One level of the walk: the items of a block and where we are in them. */
typedef struct {
  uint16_t* tids;
  uint16_t count;
  uint16_t item;  /* index into tids */
  uint16_t block; /* next block of tids[item] */
} Level;

static void PrintBlock(KSTRN_SessionHandle s, size_t depth, uint16_t tid, uint16_t index) {
  uint16_t n = 0;
  KSTRN_GetValueCount(&n, s);
  uint16_t* values = malloc(sizeof *values * (n ? n : 1));
  KSTRN_GetValueList(values, s);
  printf("%*s", (int)(2 * (depth < 30 ? depth : 30)), "");
  if (depth == 0) {
    printf("/");
  } else {
    printf("%u[%u]", tid, index);
  }
  for (uint16_t i = 0; i < n; ++i) {
    uint32_t size = 0;
    KSTRN_GetValSize(values[i], &size, s);
    printf(" %u:%u", values[i], size);
  }
  printf("\n");
  free(values);
}

static Level Enter(KSTRN_SessionHandle s) {
  Level level = {NULL, 0, 0, 0};
  KSTRN_GetTypeCount(&level.count, s);
  level.tids = malloc(sizeof *level.tids * (level.count ? level.count : 1));
  KSTRN_GetTypeList(level.tids, s);
  return level;
}

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s FILE\n", argv[0]);
    return 2;
  }
  KSTRN_SessionHandle s = NULL;
  if (!KSTRN_OpenSession(argv[1], &s)) {
    fprintf(stderr, "%s: %s\n", argv[1], KSTRN_GetLastEEStr());
    if (s != NULL) KSTRN_CloseSession(s); /* a failed load leaves its session */
    return 1;
  }

  /* An older logger file opens with the cursor on its logger block. */
  KSTRN_GotoRoot(s);
  size_t depth = 0, capacity = 16, blocks = 1;
  Level* stack = malloc(sizeof *stack * capacity);
  PrintBlock(s, 0, 0, 0);
  stack[0] = Enter(s);
  while (1) {
    Level* top = &stack[depth];
    if (top->item == top->count) { /* every item of this block done */
      free(top->tids);
      if (depth == 0) break;
      --depth;
      KSTRN_CloseItem(s);
      continue;
    }
    uint16_t tid = top->tids[top->item], blockCount = 0;
    KSTRN_GetItemCount(tid, &blockCount, s);
    if (top->block >= blockCount) {
      ++top->item;
      top->block = 0;
      continue;
    }
    const uint16_t index = top->block++;
    KSTRN_OpenItem(tid, index, s);
    ++blocks;
    PrintBlock(s, depth + 1, tid, index);
    if (++depth == capacity) {
      capacity *= 2;
      stack = realloc(stack, sizeof *stack * capacity);
    }
    stack[depth] = Enter(s);
  }
  free(stack);
  printf("%zu item blocks\n", blocks);
  KSTRN_CloseSession(s);
  return 0;
}
