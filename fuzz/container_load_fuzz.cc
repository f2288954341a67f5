// Opens each input as a file under one storage policy (chosen at build time
// by KESTRON4_FUZZ_POLICY: 0 in memory from a buffer, 1 memory-mapped, 2
// streamed, both from a descriptor of an in-memory file), then walks every
// block, reads every value and text, and saves to a buffer. Whatever the
// input, the load must end with a code, leave a consistent tree, and the
// saved bytes must load back to the same tree.
//
// An input that starts with "BIG" is a recipe for a container with a large
// root block (large_block.h), which mutation alone would never grow to:
//   "BIG" flags (u8: bit 0 values, else items) count (u24, modulo 70001 for
//   items, 2049 for values) first (u16) step (u16) tail (bytes after the
//   generated entries)
// A block holds at most 13,000 distinct value TIDs, and every check reads
// each value several ways, so value recipes stay small enough to keep the
// executions quick; a repeated TID is met within them all the same.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_checks.h"
#include "large_block.h"
#include "kestron4/kestron4.h"
#include "session/session_core.h"

#ifndef KESTRON4_FUZZ_POLICY
#define KESTRON4_FUZZ_POLICY 0
#endif

namespace {

using namespace kestron4::fuzz;

bool Open(const uint8_t* data, size_t size, int fd, KSTRN_SessionHandle* s) {
  switch (KESTRON4_FUZZ_POLICY) {
    case 1:
      return KSTRN_OpenMemMappedSessionH(fd, s);
    case 2:
      return KSTRN_OpenStreamedSessionH(fd, s);
    default:
      return KSTRN_OpenSessionBuffer(data, static_cast<uint32_t>(size), s);
  }
}

constexpr std::size_t kRecipeBytes = 11;
constexpr uint32_t kMostRecipeItems = 70000;
constexpr uint32_t kMostRecipeValues = 2048;

bool IsRecipe(const uint8_t* data, size_t size) {
  return size >= kRecipeBytes && data[0] == 'B' && data[1] == 'I' && data[2] == 'G';
}

std::vector<uint8_t> FromRecipe(const uint8_t* data, size_t size) {
  LargeBlock b;
  b.items = (data[3] & 1) == 0;
  b.count = (data[4] | data[5] << 8 | data[6] << 16) %
            ((b.items ? kMostRecipeItems : kMostRecipeValues) + 1);
  b.first = data[7] | data[8] << 8;
  b.step = data[9] | data[10] << 8;
  return LargeBlockContainer(b, data + kRecipeBytes, size - kRecipeBytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 24)) return 0;
  std::vector<uint8_t> expanded;
  if (IsRecipe(data, size)) {
    expanded = FromRecipe(data, size);
    data = expanded.data();
    size = expanded.size();
  }
  const int fd = KESTRON4_FUZZ_POLICY == 0 ? -1 : MemoryFile(data, size);
  if (KESTRON4_FUZZ_POLICY != 0 && fd < 0) return 0;

  KSTRN_SessionHandle s = nullptr;
  const bool opened = Open(data, size, fd, &s);
  const uint32_t code = KSTRN_GetLastEE();
  if (fd >= 0) close(fd);  // a file-backed session reads through a descriptor of its own
  Check(opened == (code == KSTRN_ErrNone), "an open's result and code disagree");
  Check(opened || code == KSTRN_ErrFileAccess || code == KSTRN_ErrFileType,
        "a failed open reports an unexpected code");
  Check(s != nullptr, "an open from a buffer or descriptor leaves no session");

  kestron4::SessionCore& core = Core(s);
  CheckTree(core, TreeRules{});
  WalkSession(s);
  const std::vector<uint8_t> saved = SaveChecked(s);
  Check(!saved.empty(), "a loaded tree cannot be saved");
  CheckReload(saved, core, core.root());
  if (KESTRON4_FUZZ_POLICY != 0) {
    // Every value brought into memory must read as it did from the file.
    KSTRN_MoveToRAM(s);
    CheckTree(core, TreeRules{});
    Check(SaveChecked(s) == saved, "MoveToRAM changes what a save writes");
  }

  KSTRN_CloseSession(s);
  return 0;
}
