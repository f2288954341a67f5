// Compression of callers' byte buffers; independent of sessions.
#include "api/export_frame.h"
#include "format/lzrw1kh.h"

using namespace kestron4;

// A negative length describes no buffer: nothing is read or written.
int32_t KSTRN_Compress(const void* src, void* dst, int32_t length) {
  if (length < 0) return 0;
  return Direct(int32_t{0}, [&] { return Lzrw1khCompress(src, dst, length); });
}

int32_t KSTRN_DeCompress(const void* src, void* dst, int32_t length) {
  if (length < 0) return 0;
  return Direct(int32_t{0}, [&] { return Lzrw1khDecompress(src, dst, length); });
}
