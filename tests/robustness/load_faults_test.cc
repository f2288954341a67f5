// Every system call of a load fails once, in turn, for each way to open a
// file. A run ends with code 0 and the whole tree, or code 1 (a path whose
// existence cannot be checked: 9, and no session); a failed load keeps its
// session, which works afterwards; nothing is left open.
#include <gtest/gtest.h>

#include <memory>

#include <algorithm>

#include "robustness/fault_sweep.h"
#include "support/caller_file.h"
#include "support/legacy_file_builder.h"

namespace kestron4::robustness {
namespace {

enum class OpenBy { kPath, kWidePath, kDescriptor, kMapped, kStreamed, kStreamedPath };

void SweepOpens(const std::string& path, const std::vector<uint8_t>& expected,
                std::initializer_list<OpenBy> ways) {
  const std::u16string wide = Wide(path);
  for (const OpenBy by : ways) {
    SCOPED_TRACE(static_cast<int>(by));
    const bool byPath =
        by == OpenBy::kPath || by == OpenBy::kWidePath || by == OpenBy::kStreamedPath;
    KSTRN_SessionHandle t = nullptr;
    std::unique_ptr<CallerFile> file;
    bool ok = false;
    uint32_t code = 0;
    const auto reached = SweepFaults(
        [&] {
          t = nullptr;
          if (!byPath) file = std::make_unique<CallerFile>(path);
        },
        [&] {
          // clang-format off
          switch (by) {
            case OpenBy::kPath: ok = KSTRN_OpenSession(path.c_str(), &t); break;
            case OpenBy::kWidePath: ok = KSTRN_OpenSessionW(W(wide.c_str()), &t); break;
            case OpenBy::kDescriptor: ok = KSTRN_OpenSessionH(file->get(), &t); break;
            case OpenBy::kMapped: ok = KSTRN_OpenMemMappedSessionH(file->get(), &t); break;
            case OpenBy::kStreamed: ok = KSTRN_OpenStreamedSessionH(file->get(), &t); break;
            case OpenBy::kStreamedPath: ok = KSTRN_OpenStreamedSessionW(W(wide.c_str()), &t); break;
          }
          // clang-format on
          code = KSTRN_GetLastEE();
        },
        [&](bool injected) {
          if (file) {
            if (by == OpenBy::kMapped || by == OpenBy::kStreamed) {
              EXPECT_EQ(SystemPlatform().Seek(file->native(), 0, kFromCurrent), 0)
                  << "the caller's position moved";
            }
            file.reset();  // a session reads through a descriptor of its own
          }
          const bool missing = byPath && code == KSTRN_ErrFileNotFound;
          EXPECT_EQ(ok, code == KSTRN_ErrNone);
          EXPECT_TRUE(ok || (injected && (code == KSTRN_ErrFileAccess || missing))) << code;
          EXPECT_EQ(t == nullptr, missing);
          if (t == nullptr) return;
          if (ok) {
            EXPECT_EQ(SavedBytes(t), expected);
          }
          ExpectUsable(t);
          KSTRN_CloseSession(t);
        });
    ExpectReached(reached, {FaultOp::kRead});
    if (by == OpenBy::kMapped) ExpectReached(reached, {FaultOp::kMap});
  }
}

class LoadFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    KSTRN_SessionHandle s = SampleSession(dir_.File("outside.bin"));
    ASSERT_TRUE(KSTRN_SaveSession(path_.c_str(), s));
    reference_ = SavedBytes(s);
    KSTRN_CloseSession(s);
  }
  ScratchDir dir_;
  const std::string path_ = dir_.File("source.kst");
  std::vector<uint8_t> reference_;
};

TEST_F(LoadFaults, ContainerOpensOfEveryKind) {
  SweepOpens(path_, reference_,
             {OpenBy::kPath, OpenBy::kWidePath, OpenBy::kDescriptor, OpenBy::kMapped,
              OpenBy::kStreamed, OpenBy::kStreamedPath});
}

TEST_F(LoadFaults, OlderLoggerFilesConvertWholeOrReportTheFailure) {
  test::LegacyFileBuilder file(test::LegacyKind::kSecondDataV2);
  file.Channel(1, "Oil Press", 1)
      .Sensor(1, "Oil 10 bar", 0, {0.01f, 0.0f, 0.0f, 10.0f})
      .Module(1, 6, std::vector<uint8_t>(4000, 0x21))
      .RecordingLength(0, 9000)
      .Event({0x50, 0x30, 0x15, 0x14, 0x05, 0x06, 0x98, 0x01, 0x00, 0x00, 0x01, 0xF4});
  const std::vector<uint8_t> bytes = file.Build();
  const std::string path = dir_.File("logger.dat");
  WriteWholeFile(path, Str(bytes));
  KSTRN_SessionHandle converted = nullptr;
  ASSERT_TRUE(KSTRN_OpenSession(path.c_str(), &converted));
  const std::vector<uint8_t> expected = SavedBytes(converted);
  KSTRN_CloseSession(converted);
  SweepOpens(path, expected, {OpenBy::kPath, OpenBy::kWidePath, OpenBy::kDescriptor});
}

// A streamed session reads large values from its file when asked: through
// the session, through a stream handle, and for a save. Whatever failed, it
// reads everything again afterwards.
TEST_F(LoadFaults, AStreamedSessionReportsFailedReadsOfItsFile) {
  const std::u16string wide = Wide(path_);
  const std::vector<uint8_t>& reference = reference_;
  KSTRN_SessionHandle t = nullptr;
  KSTRN_StreamHandle stream = nullptr;
  std::vector<uint8_t> blob, expected, sliced(5000), saved(reference.size());
  bool got = false, wrote = false;
  uint32_t getCode = 0, sliceCode = 0, saveCode = 0;
  const auto reached = SweepFaults(
      [&] {
        ASSERT_TRUE(KSTRN_OpenStreamedSessionW(W(wide.c_str()), &t));
        ASSERT_TRUE(KSTRN_OpenItem(150, 0, t));
        uint32_t size = 0;
        ASSERT_TRUE(KSTRN_GetValSize(1063, &size, t));
        expected.assign(size, 0);
        ASSERT_TRUE(KSTRN_GetValue(1063, expected.data(), t));
        blob.assign(size, 0);
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
      [&](bool injected) {
        ExpectHonest(got, getCode, injected);
        if (got) {
          EXPECT_EQ(blob, expected);
        }
        ExpectHonest(sliceCode == KSTRN_ErrNone, sliceCode, injected);
        if (sliceCode == KSTRN_ErrNone) {
          EXPECT_TRUE(std::equal(sliced.begin(), sliced.end(), expected.begin() + 1000));
        }
        ExpectHonest(wrote, saveCode, injected);
        if (wrote) {
          EXPECT_EQ(saved, reference);
        }
        EXPECT_EQ(SavedBytes(t), reference);
        ExpectUsable(t);
        KSTRN_DestroyStream(stream, t);
        KSTRN_CloseSession(t);
      });
  ExpectReached(reached, {FaultOp::kRead});
}

}  // namespace
}  // namespace kestron4::robustness
