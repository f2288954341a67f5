/* Reads a large blob in pieces from a streamed session: the values stay in
 * the file and only the piece asked for is read.
 *
 *   stream_blob FILE TID INDEX [TID INDEX ...]
 *
 * The arguments after FILE name the block that holds the blob, from the
 * root down (for example 135 0 for the block /135[0]). Prints the blob's
 * size and a checksum of its bytes. */
#include <fcntl.h>
#include <kestron4/kestron4.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

enum { kPiece = 1 << 16 };

int main(int argc, char** argv) {
  if (argc < 2 || argc % 2 != 0) {
    fprintf(stderr, "usage: %s FILE [TID INDEX]...\n", argv[0]);
    return 2;
  }
  /* The streamed session reads through this descriptor until it is closed. */
  const int fd = open(argv[1], O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    perror(argv[1]);
    return 1;
  }
  KSTRN_SessionHandle s = NULL;
  int status = 1;
  if (!KSTRN_OpenStreamedSessionH(fd, &s)) {
    fprintf(stderr, "%s: streamed open failed: %s\n", argv[1], KSTRN_GetLastEEStr());
    goto done;
  }
  for (int i = 2; i + 1 < argc; i += 2) {
    const uint16_t tid = (uint16_t)atoi(argv[i]);
    const int32_t index = atoi(argv[i + 1]);
    uint16_t count = 0;
    KSTRN_GetItemCount(tid, &count, s);
    if (index < 0 || index >= count) { /* KSTRN_OpenItem would take the last */
      fprintf(stderr, "no block %s[%s]\n", argv[i], argv[i + 1]);
      goto done;
    }
    KSTRN_OpenItem(tid, index, s);
  }

  uint32_t size = 0;
  const KSTRN_ValueHandle blob = KSTRN_GetValueHandle(1063, s);
  if (blob == NULL || !KSTRN_GetValSize(1063, &size, s)) {
    fprintf(stderr, "this block holds no blob\n");
    goto done;
  }
  const KSTRN_StreamHandle stream = KSTRN_CreateStream(s);
  if (stream == NULL) {
    fprintf(stderr, "no stream: not a streamed session\n");
    goto done;
  }
  uint8_t* piece = malloc(kPiece);
  uint32_t sum = 0;
  uint64_t offset = 0;
  for (; offset < size; offset += kPiece) {
    const uint32_t n = size - offset < kPiece ? (uint32_t)(size - offset) : kPiece;
    const uint32_t code = KSTRN_ReadValueStream(stream, blob, offset, piece, n, s);
    if (code != KSTRN_ErrNone) {
      fprintf(stderr, "read at %llu failed with code %u\n", (unsigned long long)offset, code);
      break;
    }
    for (uint32_t k = 0; k < n; ++k) sum = sum * 31 + piece[k];
  }
  free(piece);
  KSTRN_DestroyStream(stream, s);
  if (offset >= size) {
    printf("blob of %u bytes, checksum %08x\n", size, sum);
    status = 0;
  }
done:
  if (s != NULL) KSTRN_CloseSession(s);
  close(fd);
  return status;
}
