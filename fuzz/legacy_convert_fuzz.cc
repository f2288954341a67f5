// Converts each input as a setup or data file of the older loggers. Inputs
// whose first bytes name no such file are skipped, so the time goes into the
// conversion. The conversion must end with a code and a consistent tree
// whose every value can be read, and the saved result must load back equal.
#include <cstddef>
#include <cstdint>

#include "format/file_type.h"
#include "fuzz_checks.h"
#include "kestron4/kestron4.h"
#include "session/session_core.h"

using namespace kestron4::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kestron4::kFileTypeProbeSize || size > (1u << 22)) return 0;
  uint8_t probe[kestron4::kFileTypeProbeSize];
  for (size_t i = 0; i < sizeof probe; ++i) probe[i] = data[i];
  const uint16_t type = kestron4::ClassifyFileHeader(probe);
  if (!kestron4::IsConvertedFileType(type)) return 0;

  KSTRN_SessionHandle s = nullptr;
  const bool opened = KSTRN_OpenSessionBuffer(data, static_cast<uint32_t>(size), &s);
  Check(s != nullptr, "a conversion leaves no session");
  Check(opened || KSTRN_GetLastEE() == KSTRN_ErrFileAccess,
        "a failed conversion reports a code other than 1");
  uint16_t reported = 0;
  Check(KSTRN_GetFileType(&reported, s) && reported == type,
        "the session does not keep the detected file type");

  kestron4::SessionCore& core = Core(s);
  CheckTree(core, TreeRules{});
  WalkSession(s);
  const std::vector<uint8_t> saved = SaveChecked(s);
  Check(!saved.empty(), "a converted tree cannot be saved");
  CheckReload(saved, core, core.root());
  KSTRN_CloseSession(s);
  return 0;
}
