// Loads each input as a container into memory and exports the logger
// configuration it may hold as a "QF73 v3.00 file". The export reads the
// tree as the file gives it (references that lead nowhere, values of the
// wrong size, blobs whose size value lies), so it must end with a whole file
// or a refusal, never a crash, and leave the session as it found it.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "export/qf73/qf73_export.h"
#include "fuzz_checks.h"
#include "kestron4/kestron4.h"
#include "session/last_error.h"
#include "session/session_core.h"

namespace {

using namespace kestron4::fuzz;

// The file the export writes, in memory-backed storage when there is some;
// removed at exit.
struct Target {
  std::string path;
  std::u16string wide;
  Target() {
    const std::string dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    path = dir + "/kestron4-qf73-fuzz-" + std::to_string(getpid()) + ".qf73";
    wide.assign(path.begin(), path.end());
  }
  ~Target() { unlink(path.c_str()); }
};

const std::u16string& TargetPath() {
  static const Target target;
  return target.wide;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  KSTRN_SessionHandle s = nullptr;
  KSTRN_OpenSessionBuffer(data, static_cast<uint32_t>(size), &s);
  Check(s != nullptr, "an open from a buffer leaves no session");
  kestron4::SessionCore& core = Core(s);
  const std::vector<uint8_t> before = SaveChecked(s);
  Check(!before.empty(), "a loaded tree cannot be saved");
  const kestron4::ItemBlock* cursor = core.current();

  kestron4::SetLastError(kestron4::ErrBadCount);
  const bool written = kestron4::ExportQF73v3(core, TargetPath().c_str());
  const kestron4::ErrorCode code = kestron4::GetLastError();
  Check(written ? code == kestron4::ErrBadCount
                : code == kestron4::ErrBadCount || code == kestron4::ErrFileAccess,
        "an export leaves an unexpected code");
  Check(core.current() == cursor, "an export moves the cursor");
  CheckTree(core, TreeRules{});
  Check(SaveChecked(s) == before, "an export changes the session");
  KSTRN_CloseSession(s);
  return 0;
}
