// Every system call of a save or a load fails once, in turn, while the
// operation runs through the C interface. Each run must end with code 0 and
// the complete result, or with code 1 (a path open that cannot even see its
// file: 9) and the previous state; no descriptor or scratch file is left
// behind, and the session works afterwards. (Path saves and loads at the
// session level, with their files checked byte for byte, are in
// tests/format/save_load_fault_test.cc.)
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "robustness/fault_sweep.h"
#include "support/legacy_file_builder.h"

namespace kestron4::robustness {
namespace {

class InterfaceFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    outside_ = dir_.File("outside.bin");
    s_ = SampleSession(outside_);
    reference_ = SavedBytes(s_);
    ASSERT_FALSE(reference_.empty());
  }
  void TearDown() override { KSTRN_CloseSession(s_); }

  std::string Bytes() const { return std::string(reference_.begin(), reference_.end()); }

  ScratchDir dir_;
  std::string outside_;
  KSTRN_SessionHandle s_ = nullptr;
  std::vector<uint8_t> reference_;
};

TEST_F(InterfaceFaults, SaveToAPathKeepsTheOldFileOrWritesTheNewOne) {
  const std::string target = dir_.File("target.kst");
  const std::u16string wide = Wide(target);
  bool ok = false;
  uint32_t code = 0;
  SweepOptions options;
  options.transfer_limit = 64 * 1024;
  const std::vector<int> injected =
      SweepFaults([&] { WriteWholeFile(target, "the previous contents"); },
                  [&] {
                    ok = KSTRN_SaveSessionW(wide.c_str(), s_);
                    code = KSTRN_GetLastEE();
                  },
                  [&](const FaultRun& run) {
                    EXPECT_EQ(ok, code == KSTRN_ErrNone);
                    EXPECT_TRUE(ok || (run.injected && code == KSTRN_ErrFileAccess)) << code;
                    EXPECT_EQ(ReadWholeFile(target), ok ? Bytes() : "the previous contents");
                    EXPECT_EQ(dir_.List(), (std::vector<std::string>{"outside.bin", "target.kst"}));
                    ExpectUsable(s_);
                  },
                  options);
  // A save opens, writes, syncs and renames; each of those must have failed.
  for (const FaultOp op : {FaultOp::kOpen, FaultOp::kWrite, FaultOp::kFsync, FaultOp::kRename})
    EXPECT_GT(injected[static_cast<std::size_t>(op)], 0) << FaultOpName(op);
}

TEST_F(InterfaceFaults, SaveToADescriptorReportsEveryFailure) {
  const std::string target = dir_.File("target.kst");
  int fd = -1;
  bool ok = false;
  uint32_t code = 0;
  SweepOptions options;
  options.transfer_limit = 64 * 1024;
  const std::vector<int> injected = SweepFaults(
      [&] {
        WriteWholeFile(target, "");
        fd = ::open(target.c_str(), O_RDWR | O_CLOEXEC);
        ASSERT_GE(fd, 0);
      },
      [&] {
        ok = KSTRN_SaveSessionH(fd, s_);
        code = KSTRN_GetLastEE();
      },
      [&](const FaultRun& run) {
        EXPECT_EQ(ok, code == KSTRN_ErrNone);
        EXPECT_TRUE(ok || (run.injected && code == KSTRN_ErrFileAccess)) << code;
        if (ok) {
          EXPECT_EQ(ReadWholeFile(target), Bytes());
        }
        // The caller's descriptor stays the caller's: open and usable.
        EXPECT_EQ(::pwrite(fd, "x", 1, 0), 1);
        ::close(fd);
        EXPECT_EQ(dir_.List(), (std::vector<std::string>{"outside.bin", "target.kst"}));
        ExpectUsable(s_);
      },
      options);
  EXPECT_GT(injected[static_cast<std::size_t>(FaultOp::kWrite)], 0);
  // The blob that stands for the outside file is read during the save.
  EXPECT_GT(injected[static_cast<std::size_t>(FaultOp::kOpen)], 0);
  EXPECT_GT(injected[static_cast<std::size_t>(FaultOp::kRead)], 0);
}

// A buffer save touches no file but the outside one its blob stands for.
TEST_F(InterfaceFaults, SaveAndSerializeToABufferReportOutsideFileFailures) {
  std::vector<uint8_t> buffer(reference_.size());
  bool ok = false;
  uint32_t code = 0;
  const std::vector<int> injected = SweepFaults(
      [] {},
      [&] {
        ok = KSTRN_SaveSessionBuffer(buffer.data(), static_cast<uint32_t>(buffer.size()), s_);
        code = KSTRN_GetLastEE();
      },
      [&](const FaultRun& run) {
        EXPECT_EQ(ok, code == KSTRN_ErrNone);
        EXPECT_TRUE(ok || (run.injected && code == KSTRN_ErrFileAccess)) << code;
        if (ok) {
          EXPECT_EQ(buffer, reference_);
        }
        ExpectUsable(s_);
      });
  EXPECT_GT(injected[static_cast<std::size_t>(FaultOp::kOpen)], 0);
  EXPECT_GT(injected[static_cast<std::size_t>(FaultOp::kRead)], 0);

  // The block whose blob is the outside file, serialised alone.
  ASSERT_TRUE(KSTRN_OpenItem(150, 1, s_));
  std::vector<uint8_t> expected(KSTRN_SerializeItemSize(s_));
  ASSERT_TRUE(KSTRN_SerializeItem(expected.data(), static_cast<uint32_t>(expected.size()), s_));
  buffer.assign(expected.size(), 0);
  SweepFaults([] {},
              [&] {
                ok = KSTRN_SerializeItem(buffer.data(), static_cast<uint32_t>(buffer.size()), s_);
                code = KSTRN_GetLastEE();
              },
              [&](const FaultRun& run) {
                EXPECT_TRUE(ok || (run.injected && code == KSTRN_ErrFileAccess)) << code;
                if (ok) {
                  EXPECT_EQ(buffer, expected);
                }
                uint16_t tid = 0;
                uint32_t index = 0;
                EXPECT_TRUE(KSTRN_GetParentTID(&tid, &index, s_) && tid == 150 && index == 1)
                    << "the cursor moved";
              });
}

// Opens a file by path (8-bit or UTF-16) or by descriptor.
enum class OpenBy { kPath, kWidePath, kDescriptor };

void SweepOpens(const std::string& path, const std::vector<uint8_t>& expected) {
  const std::u16string wide = Wide(path);
  for (const OpenBy by : {OpenBy::kPath, OpenBy::kWidePath, OpenBy::kDescriptor}) {
    SCOPED_TRACE(static_cast<int>(by));
    KSTRN_SessionHandle t = nullptr;
    int fd = -1;
    bool ok = false;
    uint32_t code = 0;
    const std::vector<int> injected = SweepFaults(
        [&] {
          t = nullptr;
          if (by == OpenBy::kDescriptor) fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        },
        [&] {
          switch (by) {
            case OpenBy::kPath:
              ok = KSTRN_OpenSession(path.c_str(), &t);
              break;
            case OpenBy::kWidePath:
              ok = KSTRN_OpenSessionW(wide.c_str(), &t);
              break;
            case OpenBy::kDescriptor:
              ok = KSTRN_OpenSessionH(fd, &t);
              break;
          }
          code = KSTRN_GetLastEE();
        },
        [&](const FaultRun& run) {
          if (fd >= 0) ::close(fd);
          fd = -1;
          EXPECT_EQ(ok, code == KSTRN_ErrNone);
          if (!ok) {
            // A path whose existence cannot be checked is reported missing.
            const bool missing = code == KSTRN_ErrFileNotFound && by != OpenBy::kDescriptor;
            EXPECT_TRUE(run.injected && (code == KSTRN_ErrFileAccess || missing)) << code;
            EXPECT_EQ(t == nullptr, missing) << "a failed load keeps its session, no other";
          }
          if (t == nullptr) return;
          if (ok) {
            EXPECT_EQ(SavedBytes(t), expected);
          }
          ExpectUsable(t);
          KSTRN_CloseSession(t);
        });
    EXPECT_GT(injected[static_cast<std::size_t>(FaultOp::kRead)], 0);
  }
}

TEST_F(InterfaceFaults, OpensReportEveryFailureAndLeaveAUsableSession) {
  const std::string path = dir_.File("source.kst");
  ASSERT_TRUE(KSTRN_SaveSession(path.c_str(), s_));
  SweepOpens(path, SavedBytes(s_));
}

TEST_F(InterfaceFaults, OlderLoggerFilesConvertWholeOrReportTheFailure) {
  test::LegacyFileBuilder file(test::LegacyKind::kSecondDataV2);
  file.Channel(1, "Oil Press", 1)
      .Sensor(1, "Oil 10 bar", 0, {0.01f, 0.0f, 0.0f, 10.0f})
      .Module(1, 6, std::vector<uint8_t>(4000, 0x21))
      .RecordingLength(0, 9000)
      .Event({0x50, 0x30, 0x15, 0x14, 0x05, 0x06, 0x98, 0x01, 0x00, 0x00, 0x01, 0xF4});
  const std::vector<uint8_t> bytes = file.Build();
  const std::string path = dir_.File("logger.dat");
  WriteWholeFile(path, std::string(bytes.begin(), bytes.end()));
  KSTRN_SessionHandle converted = nullptr;
  ASSERT_TRUE(KSTRN_OpenSession(path.c_str(), &converted));
  const std::vector<uint8_t> expected = SavedBytes(converted);
  KSTRN_CloseSession(converted);
  SweepOpens(path, expected);
}

}  // namespace
}  // namespace kestron4::robustness
