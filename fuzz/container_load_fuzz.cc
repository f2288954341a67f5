// Opens each input as a file under one storage policy (chosen at build time
// by KESTRON4_FUZZ_POLICY: 0 in memory from a buffer, 1 memory-mapped, 2
// streamed, both from a descriptor of an in-memory file), then walks every
// block, reads every value and text, and saves to a buffer. Whatever the
// input, the load must end with a code, leave a consistent tree, and the
// saved bytes must load back to the same tree.
#include <unistd.h>

#include <cstddef>
#include <cstdint>

#include "fuzz_checks.h"
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 24)) return 0;
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
