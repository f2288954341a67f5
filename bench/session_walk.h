// The walk a program makes to read a whole session through the C interface:
// depth first, per block GetValueList, then GetValSize and GetValue per value,
// and GetTypeList / GetItemCount / OpenItem for the blocks below.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "kestron4/kestron4.h"

namespace kestron4::bench {

[[noreturn]] inline void WalkFailed(const char* call) {
  std::fprintf(stderr, "session walk: %s failed: %s\n", call, KSTRN_GetLastEEStr());
  std::exit(2);
}

// Reads every value of the current block and of every block below it; counts
// them in *values and returns the payload bytes read.
inline uint64_t WalkSession(KSTRN_SessionHandle s, std::vector<uint8_t>& buffer,
                            uint64_t* values) {
  uint64_t bytes = 0;
  uint16_t count = 0;
  KSTRN_GetValueCount(&count, s);
  uint16_t tids[512];  // the benches' blocks hold at most a few dozen values
  if (count > 512) WalkFailed("GetValueCount (more values than the walk takes)");
  KSTRN_GetValueList(tids, s);
  for (uint16_t i = 0; i < count; ++i) {
    const uint16_t tid = tids[i];
    uint32_t size = 0;
    if (!KSTRN_GetValSize(tid, &size, s)) WalkFailed("GetValSize");
    if (size > buffer.size()) buffer.resize(size);
    if (!KSTRN_GetValue(tid, buffer.data(), s)) WalkFailed("GetValue");
    bytes += size;
    ++*values;
  }
  uint16_t types = 0;
  KSTRN_GetTypeCount(&types, s);
  std::vector<uint16_t> items(types);
  KSTRN_GetTypeList(items.data(), s);
  for (const uint16_t tid : items) {
    uint16_t blocks = 0;
    KSTRN_GetItemCount(tid, &blocks, s);
    for (uint16_t b = 0; b < blocks; ++b) {
      if (!KSTRN_OpenItem(tid, b, s)) WalkFailed("OpenItem");
      bytes += WalkSession(s, buffer, values);
      KSTRN_CloseItem(s);
    }
  }
  return bytes;
}

}  // namespace kestron4::bench
