// Memory-mapped and streamed sessions under failing system calls: opening,
// reading values from the file on demand, and replacing the session's own
// file. Each run ends with code 0 and the right bytes or code 1; the file is
// either the old one or the new one; nothing is left open or behind, and the
// session goes on working. (Streamed sessions saved over their own file are
// also covered in tests/storage/streamed_session_test.cc.)
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "robustness/fault_sweep.h"

namespace kestron4::robustness {
namespace {

class PolicyFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("source.kst");
    KSTRN_SessionHandle s = SampleSession(dir_.File("outside.bin"));
    ASSERT_TRUE(KSTRN_SaveSession(path_.c_str(), s));
    reference_ = SavedBytes(s);
    KSTRN_CloseSession(s);
    ASSERT_EQ(ReadWholeFile(path_), std::string(reference_.begin(), reference_.end()));
  }

  std::vector<std::string> Listing() const { return {"outside.bin", "source.kst"}; }

  ScratchDir dir_;
  std::string path_;
  std::vector<uint8_t> reference_;
};

enum class Open { kMappedDescriptor, kStreamedDescriptor, kStreamedPath };

TEST_F(PolicyFaults, OpensReportEveryFailureAndLeaveAUsableSession) {
  const std::u16string wide = Wide(path_);
  for (const Open how : {Open::kMappedDescriptor, Open::kStreamedDescriptor, Open::kStreamedPath}) {
    SCOPED_TRACE(static_cast<int>(how));
    KSTRN_SessionHandle t = nullptr;
    int fd = -1;
    bool ok = false;
    uint32_t code = 0;
    const std::vector<int> injected = SweepFaults(
        [&] {
          t = nullptr;
          if (how != Open::kStreamedPath) fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        },
        [&] {
          switch (how) {
            case Open::kMappedDescriptor:
              ok = KSTRN_OpenMemMappedSessionH(fd, &t);
              break;
            case Open::kStreamedDescriptor:
              ok = KSTRN_OpenStreamedSessionH(fd, &t);
              break;
            case Open::kStreamedPath:
              ok = KSTRN_OpenStreamedSessionW(wide.c_str(), &t);
              break;
          }
          code = KSTRN_GetLastEE();
        },
        [&](const FaultRun& run) {
          if (fd >= 0) {
            EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), 0) << "the caller's position moved";
            ::close(fd);  // the session reads through a descriptor of its own
            fd = -1;
          }
          EXPECT_EQ(ok, code == KSTRN_ErrNone);
          const bool missing = code == KSTRN_ErrFileNotFound && how == Open::kStreamedPath;
          if (!ok) {
            EXPECT_TRUE(run.injected && (code == KSTRN_ErrFileAccess || missing)) << code;
          }
          EXPECT_EQ(t == nullptr, missing);
          if (t == nullptr) return;
          if (ok) {
            EXPECT_EQ(SavedBytes(t), reference_);
          }
          ExpectUsable(t);
          KSTRN_CloseSession(t);
        });
    EXPECT_GT(injected[static_cast<std::size_t>(FaultOp::kRead)], 0);
    if (how == Open::kMappedDescriptor) {
      EXPECT_GT(injected[static_cast<std::size_t>(FaultOp::kMmap)], 0);
    }
  }
}

// The safe replacement: a mapped session saved over the file it maps. The
// new file is complete before it takes the old one's place, and the session
// keeps reading the old bytes from its view either way.
TEST_F(PolicyFaults, AMappedSessionSavedOverItsOwnFile) {
  const std::u16string wide = Wide(path_);
  KSTRN_SessionHandle t = nullptr;
  std::vector<uint8_t> edited;
  bool ok = false;
  uint32_t code = 0;
  SweepOptions options;
  options.transfer_limit = 16 * 1024;
  const std::vector<int> injected = SweepFaults(
      [&] {
        WriteWholeFile(path_, std::string(reference_.begin(), reference_.end()));
        const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_TRUE(KSTRN_OpenMemMappedSessionH(fd, &t));
        ::close(fd);
        const uint32_t mark = 0xC0FFEE;
        KSTRN_InsertValue(10002, &mark, t);
        edited = SavedBytes(t);
      },
      [&] {
        ok = KSTRN_SaveSessionW(wide.c_str(), t);
        code = KSTRN_GetLastEE();
      },
      [&](const FaultRun& run) {
        EXPECT_TRUE(ok || (run.injected && code == KSTRN_ErrFileAccess)) << code;
        const std::vector<uint8_t>& now = ok ? edited : reference_;
        EXPECT_EQ(ReadWholeFile(path_), std::string(now.begin(), now.end()));
        EXPECT_EQ(dir_.List(), Listing());
        EXPECT_EQ(SavedBytes(t), edited) << "the session no longer reads its values";
        ExpectUsable(t);
        KSTRN_CloseSession(t);
      },
      options);
  for (const FaultOp op : {FaultOp::kOpen, FaultOp::kWrite, FaultOp::kFsync, FaultOp::kRename})
    EXPECT_GT(injected[static_cast<std::size_t>(op)], 0) << FaultOpName(op);
}

// A streamed session reads large values from its file when asked: through
// the session, through a stream handle, and for a save.
TEST_F(PolicyFaults, AStreamedSessionReportsFailedReadsOfItsFile) {
  const std::u16string wide = Wide(path_);
  KSTRN_SessionHandle t = nullptr;
  KSTRN_StreamHandle stream = nullptr;
  std::vector<uint8_t> blob, expected, sliced, saved;
  bool got = false, wrote = false;
  uint32_t getCode = 0, sliceCode = 0, saveCode = 0;
  const std::vector<int> injected = SweepFaults(
      [&] {
        ASSERT_TRUE(KSTRN_OpenStreamedSessionW(wide.c_str(), &t));
        ASSERT_TRUE(KSTRN_OpenItem(150, 0, t));
        uint32_t size = 0;
        ASSERT_TRUE(KSTRN_GetValSize(1063, &size, t));
        expected.assign(size, 0);
        ASSERT_TRUE(KSTRN_GetValue(1063, expected.data(), t));
        blob.assign(size, 0);
        sliced.assign(5000, 0);
        saved.assign(reference_.size(), 0);
        stream = KSTRN_CreateStream(t);
        ASSERT_NE(stream, nullptr);
      },
      [&] {
        got = KSTRN_GetValue(1063, blob.data(), t);
        getCode = KSTRN_GetLastEE();
        sliceCode = KSTRN_ReadValueStream(stream, KSTRN_GetValueHandle(1063, t), 1000,
                                          sliced.data(), static_cast<uint32_t>(sliced.size()), t);
        KSTRN_GotoRoot(t);
        wrote = KSTRN_SaveSessionBuffer(saved.data(), static_cast<uint32_t>(saved.size()), t);
        saveCode = KSTRN_GetLastEE();
      },
      [&](const FaultRun& run) {
        EXPECT_TRUE(got || (run.injected && getCode == KSTRN_ErrFileAccess)) << getCode;
        if (got) {
          EXPECT_EQ(blob, expected);
        }
        EXPECT_TRUE(sliceCode == KSTRN_ErrNone ||
                    (run.injected && sliceCode == KSTRN_ErrFileAccess))
            << sliceCode;
        if (sliceCode == KSTRN_ErrNone) {
          EXPECT_TRUE(std::equal(sliced.begin(), sliced.end(), expected.begin() + 1000));
        }
        EXPECT_TRUE(wrote || (run.injected && saveCode == KSTRN_ErrFileAccess)) << saveCode;
        if (wrote) {
          EXPECT_EQ(saved, reference_);
        }
        // Whatever failed, the session reads everything again afterwards.
        EXPECT_EQ(SavedBytes(t), reference_);
        ExpectUsable(t);
        KSTRN_DestroyStream(stream, t);
        KSTRN_CloseSession(t);
      });
  EXPECT_GT(injected[static_cast<std::size_t>(FaultOp::kRead)], 0);
}

}  // namespace
}  // namespace kestron4::robustness
