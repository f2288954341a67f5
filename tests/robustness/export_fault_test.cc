// The configuration export under failing calls, with a blob that stands for
// an outside file, so that reading as well as writing can fail. The export
// either writes the whole file, byte for byte as without faults, or reports
// code 1 and leaves the previous file; no scratch file stays behind and the
// session is unchanged. (Writing failures alone are covered in
// tests/export/qf73_test.cc.)
#include <gtest/gtest.h>

#include "export/qf73/qf73_export.h"
#include "robustness/fault_sweep.h"
#include "session/abstract_session.h"
#include "session/last_error.h"

namespace kestron4::robustness {
namespace {

AbstractSession& SessionOf(KSTRN_SessionHandle s) { return *reinterpret_cast<AbstractSession*>(s); }

TEST(ExportFaults, AnExportWritesTheWholeFileOrKeepsTheOldOne) {
  ScratchDir dir;
  const std::string outside = dir.File("outside.bin");
  const std::string target = dir.File("config.qf73");
  const std::u16string wide = Wide(target);
  WriteWholeFile(outside, std::string(3000, 'q'));

  KSTRN_SessionHandle s = nullptr;
  ASSERT_TRUE(KSTRN_NewSession(&s));
  KSTRN_InsertItemBlocks(23, 1, s);
  KSTRN_OpenItem(23, 0, s);
  KSTRN_InsertItemBlocks(105, 1, s);
  KSTRN_InsertItemBlocks(199, 2, s);
  KSTRN_OpenItem(199, 0, s);
  const uint64_t offset = 10, length = 2500;
  KSTRN_InsertDataFile(outside.c_str(), &offset, &length, s);
  KSTRN_CloseItem(s);
  KSTRN_OpenItem(199, 1, s);
  KSTRN_InsertData(5, "bytes", s);
  KSTRN_GotoRoot(s);

  ASSERT_TRUE(ExportQF73v3(SessionOf(s), wide.c_str()));
  const std::string image = ReadWholeFile(target);
  ASSERT_GT(image.size(), 2500u);
  const std::vector<uint8_t> session = SavedBytes(s);

  bool written = false;
  ErrorCode code = ErrNone;
  SweepOptions options;
  options.transfer_limit = 1000;
  const std::vector<int> injected =
      SweepFaults([&] { WriteWholeFile(target, "older"); },
                  [&] {
                    SetLastError(ErrBadCount);
                    written = ExportQF73v3(SessionOf(s), wide.c_str());
                    code = GetLastError();
                  },
                  [&](const FaultRun& run) {
                    EXPECT_TRUE(written || run.injected);
                    EXPECT_EQ(code, written ? ErrBadCount : ErrFileAccess);
                    EXPECT_EQ(ReadWholeFile(target), written ? image : "older");
                    EXPECT_EQ(dir.List(), (std::vector<std::string>{"config.qf73", "outside.bin"}));
                    EXPECT_EQ(SavedBytes(s), session);
                    uint16_t tid = 0;
                    uint32_t index = 0;
                    EXPECT_FALSE(KSTRN_GetParentTID(&tid, &index, s)) << "the cursor left the root";
                  },
                  options);
  for (const FaultOp op : {FaultOp::kOpen, FaultOp::kRead, FaultOp::kWrite, FaultOp::kRename})
    EXPECT_GT(injected[static_cast<std::size_t>(op)], 0) << FaultOpName(op);
  KSTRN_CloseSession(s);
}

}  // namespace
}  // namespace kestron4::robustness
