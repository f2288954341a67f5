// Every system call of a save fails once, in turn. Each run ends with code 0
// and the complete result, or code 1 and the previous file; no descriptor or
// scratch file is left behind, and the session works afterwards.
#include <gtest/gtest.h>

#include <memory>

#include "export/qf73/qf73_export.h"
#include "robustness/fault_sweep.h"
#include "support/caller_file.h"
#include "session/abstract_session.h"
#include "session/last_error.h"

namespace kestron4::robustness {
namespace {

class SaveFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    s_ = SampleSession(dir_.File("outside.bin"));
    reference_ = SavedBytes(s_);
    ASSERT_FALSE(reference_.empty());
  }
  void TearDown() override { KSTRN_CloseSession(s_); }
  // A failure reported after the rename (the folder would not flush) leaves
  // the new file in place; any other leaves the old one.
  void ExpectOldOrNew(const std::string& old, const std::string& fresh) {
    const std::string now = ReadWholeFile(target_);
    EXPECT_TRUE(now == fresh || (!ok_ && now == old)) << "ok " << ok_ << ", " << now.size()
                                                      << " bytes: not the expected file";
  }
  // Only the outside file and the target may be in the directory.
  void ExpectOnlyTarget() {
    EXPECT_EQ(dir_.List(), (std::vector<std::string>{"outside.bin", "target.kst"}));
  }

  ScratchDir dir_;
  const std::string target_ = dir_.File("target.kst");
  KSTRN_SessionHandle s_ = nullptr;
  std::vector<uint8_t> reference_;
  bool ok_ = false;
  uint32_t code_ = 0;
};

TEST_F(SaveFaults, SaveToAPathKeepsTheOldFileOrWritesTheNewOne) {
  const std::u16string wide = Wide(target_);
  const auto reached =
      SweepFaults([&] { WriteWholeFile(target_, "previous"); },
                  [&] {
                    ok_ = KSTRN_SaveSessionW(W(wide.c_str()), s_);
                    code_ = KSTRN_GetLastEE();
                  },
                  [&](bool injected) {
                    ExpectHonest(ok_, code_, injected);
                    ExpectOldOrNew("previous", Str(reference_));
                    ExpectOnlyTarget();
                    ExpectUsable(s_);
                  },
                  64 * 1024);
  ExpectReached(reached, {FaultOp::kOpen, FaultOp::kWrite, FaultOp::kSync, FaultOp::kReplace});
}

TEST_F(SaveFaults, SaveToADescriptorReportsEveryFailureAndKeepsTheDescriptor) {
  std::unique_ptr<CallerFile> file;
  const auto reached = SweepFaults(
      [&] {
        WriteWholeFile(target_, "");
        file = std::make_unique<CallerFile>(target_, kOpenWrite);
      },
      [&] {
        ok_ = KSTRN_SaveSessionH(file->get(), s_);
        code_ = KSTRN_GetLastEE();
      },
      [&](bool injected) {
        ExpectHonest(ok_, code_, injected);
        if (ok_) {
          EXPECT_EQ(ReadWholeFile(target_), Str(reference_));
        }
        EXPECT_TRUE(file->WriteAt("x", 1, 0)) << "the caller's descriptor was closed";
        file.reset();
        ExpectOnlyTarget();
        ExpectUsable(s_);
      },
      64 * 1024);
  // The blob standing for the outside file is read during the save.
  ExpectReached(reached, {FaultOp::kWrite, FaultOp::kOpen, FaultOp::kRead});
}

// A buffer save or a serialised block touches no file but the outside one.
TEST_F(SaveFaults, BufferSavesReportOutsideFileFailures) {
  std::vector<uint8_t> buffer(reference_.size());
  auto reached = SweepFaults([] {},
                             [&] {
                               ok_ = KSTRN_SaveSessionBuffer(
                                   buffer.data(), static_cast<uint32_t>(buffer.size()), s_);
                               code_ = KSTRN_GetLastEE();
                             },
                             [&](bool injected) {
                               ExpectHonest(ok_, code_, injected);
                               if (ok_) {
                                 EXPECT_EQ(buffer, reference_);
                               }
                               ExpectUsable(s_);
                             });
  ExpectReached(reached, {FaultOp::kOpen, FaultOp::kRead});

  ASSERT_TRUE(KSTRN_OpenItem(150, 1, s_));
  std::vector<uint8_t> expected(KSTRN_SerializeItemSize(s_));
  ASSERT_TRUE(KSTRN_SerializeItem(expected.data(), static_cast<uint32_t>(expected.size()), s_));
  buffer.assign(expected.size(), 0);
  reached = SweepFaults(
      [] {},
      [&] {
        ok_ = KSTRN_SerializeItem(buffer.data(), static_cast<uint32_t>(buffer.size()), s_);
        code_ = KSTRN_GetLastEE();
      },
      [&](bool injected) {
        ExpectHonest(ok_, code_, injected);
        if (ok_) {
          EXPECT_EQ(buffer, expected);
        }
        uint16_t tid = 0;
        uint32_t index = 0;
        EXPECT_TRUE(KSTRN_GetParentTID(&tid, &index, s_) && tid == 150 && index == 1)
            << "the cursor moved";
      });
  ExpectReached(reached, {FaultOp::kRead});
}

// A mapped session saved over the file it maps: the new file is complete
// before it takes the old one's place, and the session keeps reading the old
// bytes from its view either way.
TEST_F(SaveFaults, AMappedSessionSavedOverItsOwnFile) {
  const std::u16string wide = Wide(target_);
  KSTRN_SessionHandle t = nullptr;
  std::vector<uint8_t> edited;
  const auto reached = SweepFaults(
      [&] {
        WriteWholeFile(target_, Str(reference_));
        ASSERT_TRUE(KSTRN_OpenMemMappedSessionH(CallerFile(target_).get(), &t));
        const uint32_t mark = 0xC0FFEE;
        KSTRN_InsertValue(10002, &mark, t);
        edited = SavedBytes(t);
      },
      [&] {
        ok_ = KSTRN_SaveSessionW(W(wide.c_str()), t);
        code_ = KSTRN_GetLastEE();
      },
      [&](bool injected) {
        ExpectHonest(ok_, code_, injected);
        ExpectOldOrNew(Str(reference_), Str(edited));
        EXPECT_EQ(SavedBytes(t), edited) << "the session no longer reads its values";
        ExpectUsable(t);
        KSTRN_CloseSession(t);
        // Windows keeps the replaced file's name while the view holds it.
        ExpectOnlyTarget();
      },
      16 * 1024);
  ExpectReached(reached, {FaultOp::kOpen, FaultOp::kWrite, FaultOp::kSync, FaultOp::kReplace});
}

// The configuration export, with a blob read from the outside file: the
// whole file as without faults, or code 1 and the previous file; the session,
// its cursor and the caller's last error are untouched.
TEST_F(SaveFaults, AnExportWritesTheWholeFileOrKeepsTheOldOne) {
  const std::u16string wide = Wide(target_);
  KSTRN_InsertItemBlocks(23, 1, s_);
  KSTRN_OpenItem(23, 0, s_);
  KSTRN_InsertItemBlocks(105, 1, s_);
  KSTRN_InsertItemBlocks(199, 2, s_);
  KSTRN_OpenItem(199, 0, s_);
  const uint64_t offset = 10, length = 2500;
  KSTRN_InsertDataFile(dir_.File("outside.bin").c_str(), &offset, &length, s_);
  KSTRN_GotoRoot(s_);
  AbstractSession& session = *reinterpret_cast<AbstractSession*>(s_);
  ASSERT_TRUE(ExportQF73v3(session, wide.c_str()));
  const std::string image = ReadWholeFile(target_);
  ASSERT_GT(image.size(), 2500u);
  const std::vector<uint8_t> saved = SavedBytes(s_);
  ErrorCode code = ErrNone;
  const auto reached = SweepFaults([&] { WriteWholeFile(target_, "older"); },
                                   [&] {
                                     SetLastError(ErrBadCount);
                                     ok_ = ExportQF73v3(session, wide.c_str());
                                     code = GetLastError();
                                   },
                                   [&](bool injected) {
                                     EXPECT_TRUE(ok_ || injected);
                                     EXPECT_EQ(code, ok_ ? ErrBadCount : ErrFileAccess);
                                     ExpectOldOrNew("older", image);
                                     ExpectOnlyTarget();
                                     EXPECT_EQ(SavedBytes(s_), saved);
                                     uint16_t tid = 0;
                                     uint32_t index = 0;
                                     EXPECT_FALSE(KSTRN_GetParentTID(&tid, &index, s_))
                                         << "the cursor left the root";
                                   },
                                   1000);
  ExpectReached(reached, {FaultOp::kOpen, FaultOp::kRead, FaultOp::kWrite, FaultOp::kReplace});
}

}  // namespace
}  // namespace kestron4::robustness
