// What only the memory-mapped policy does: it never writes its file, saves
// over it safely, and survives the file shrinking under it; below it, a
// mapping whose reads past a new end fail instead of faulting.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "session/session_core.h"
#include "policies/mapped_file.h"
#include "storage/platform/view_fault_guard.h"
#include "storage/policy_test_util.h"
#include "support/faulty_platform.h"

namespace kestron4 {
namespace {

using namespace kestron4::testing;

class MappedSession : public SampleFileTest, public ::testing::Test {};

TEST_F(MappedSession, OpensOnlyWhatItCanMap) {
  auto session = MakeSession(PolicyKind::kMapped);
  EXPECT_EQ(session->LoadBuffer(bytes_.data(), static_cast<uint32_t>(bytes_.size())),
            ErrInvalidSession);
  EXPECT_EQ(session->LoadPath(dir_.File("missing").c_str()), ErrFileAccess);
  const int descriptors = OpenDescriptorCount();
  ASSERT_EQ(session->LoadPath(path_.c_str()), ErrNone);  // lets go of the path's descriptor
  EXPECT_EQ(OpenDescriptorCount(), descriptors + 1);
  ASSERT_EQ(session->LoadPathW(Utf8ToUtf16(path_).c_str()), ErrNone);
  EXPECT_EQ(OpenDescriptorCount(), descriptors + 1);
  session.reset();
  EXPECT_EQ(OpenDescriptorCount(), descriptors);
  for (const FaultOp op : {FaultOp::kOpen, FaultOp::kDuplicate, FaultOp::kSize, FaultOp::kMap}) {
    auto failing = MakeSession(PolicyKind::kMapped);
    FaultyPlatform faulty;
    faulty.FailNth(op, 1);
    {
      ScopedPlatform use(faulty);
      EXPECT_EQ(failing->LoadPath(path_.c_str()), ErrFileAccess) << static_cast<int>(op);
    }
    failing.reset();
    EXPECT_EQ(OpenDescriptorCount(), descriptors);  // a failed mapping leaks nothing
  }
}

// Edits never reach the file. Saving onto it replaces it with a new file;
// the session goes on reading its mapping of the old one.
TEST_F(MappedSession, EditsAndSavesNeverWriteTheMappedBytes) {
  ScopedOpen s(PolicyKind::kMapped, path_);
  ASSERT_NE(s.get(), nullptr);
  const std::vector<uint8_t> patch = Pattern(600, 77);
  ASSERT_TRUE(KSTRN_WriteData(static_cast<uint32_t>(patch.size()), patch.data(), 9000, s));
  KSTRN_InsertValue(kTitle, "another title, also long", s);
  ASSERT_TRUE(KSTRN_OpenItem(kRecord, 1, s));
  ASSERT_TRUE(KSTRN_AllocData(20000, s));
  ASSERT_TRUE(KSTRN_DeleteValue(kNote, s));
  KSTRN_CloseItem(s);
  KSTRN_Unmap(s);
  KSTRN_Remap(s);
  EXPECT_TRUE(ReadWholeFile(path_) == bytes_);
  std::vector<uint8_t> blob(10000), want = Pattern(10000, 1);
  ASSERT_TRUE(KSTRN_GetValue(kData, blob.data(), s));
  std::copy(patch.begin(), patch.end(), want.begin() + 9000);
  EXPECT_EQ(blob, want);

  const std::string before = Dump(s);
  ASSERT_TRUE(KSTRN_SaveSession(path_.c_str(), s));
  const std::string saved = ReadWholeFile(path_);
  EXPECT_TRUE(saved == SavedBuffer(s));
  EXPECT_FALSE(saved == bytes_);
  EXPECT_EQ(dir_.List(), std::vector<std::string>{"sample.kst"});
  ASSERT_EQ(truncate(path_.c_str(), 0), 0);  // the new file goes; the session does not notice
  EXPECT_TRUE(Dump(s) == before);
}

TEST_F(MappedSession, ShrunkFileGivesAccessErrorsNotACrash) {
  ScopedOpen s(PolicyKind::kMapped, path_);
  ASSERT_NE(s.get(), nullptr);
  ASSERT_EQ(truncate(path_.c_str(), 100), 0);
  std::vector<uint8_t> blob(10000);
  EXPECT_FALSE(KSTRN_GetValue(kData, blob.data(), s));
  EXPECT_EQ(KSTRN_GetLastEE(), KSTRN_ErrFileAccess);
  // Pages past the new end fail; the system zero-fills the rest of the last
  // page without telling anyone, so the bytes there read as zeros.
  EXPECT_FALSE(KSTRN_ReadValue(KSTRN_GetValueHandle(kData, s), 5000, blob.data(), 10, s));
  EXPECT_TRUE(SavedBuffer(s).empty());
  EXPECT_EQ(KSTRN_GetLastEE(), KSTRN_ErrFileAccess);
  EXPECT_FALSE(KSTRN_SaveSession(dir_.File("copy.kst").c_str(), s));
  EXPECT_EQ(dir_.List(), std::vector<std::string>{"sample.kst"});
  KSTRN_MoveToRAM(s);  // cannot finish, so the session keeps its file ...
  uint32_t number = 0;
  EXPECT_TRUE(KSTRN_GetValue(kNumber, &number, s));  // copied at load
  WriteWholeFile(path_, bytes_);  // ... and reads again once the file holds its bytes
  EXPECT_TRUE(Dump(s) == expected_);
}


class MappedFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bytes_.resize(3 * 4096 + 100);  // three pages and a bit
    for (std::size_t i = 0; i < bytes_.size(); ++i)
      bytes_[i] = static_cast<char>(i * 13 + i / 4096);
    WriteWholeFile(dir_.File("mapped"), bytes_);
    fd_ = open(dir_.File("mapped").c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd_, 0);
    ASSERT_TRUE(file_.Attach(fd_));
  }
  void TearDown() override { close(fd_); }

  std::string Read(uint64_t offset, uint64_t count) {
    std::string out(count, '\0');
    return file_.Copy(offset, out.data(), count) ? out : std::string("failed");
  }

  ScratchDir dir_;
  std::string bytes_;
  int fd_ = -1;
  MappedFile file_;
};

TEST_F(MappedFileTest, ShrinkingFileFailsReadsUntilItGrowsBack) {
  EXPECT_NE(file_.Descriptor(), fd_);
  const uint8_t* base = file_.Base();
  ASSERT_EQ(ftruncate(fd_, 100), 0);
  EXPECT_EQ(Read(0, 100), bytes_.substr(0, 100));
  const uint64_t past[][2] = {{50, 5000}, {3 * 4096, 10}, {bytes_.size(), 1}};
  for (const auto& p : past) EXPECT_EQ(Read(p[0], p[1]), "failed") << p[0];
  EXPECT_EQ(file_.Base(), base);  // the view is restored in place
  ASSERT_EQ(pwrite(fd_, bytes_.data(), bytes_.size(), 0), static_cast<ssize_t>(bytes_.size()));
  EXPECT_TRUE(Read(0, bytes_.size()) == bytes_);
}

TEST_F(MappedFileTest, GuardTellsEveryEnclosingGuardOfAFault) {
  ASSERT_EQ(ftruncate(fd_, 4096), 0);
  std::vector<char> out(bytes_.size());
  {
    ViewFaultGuard outer(file_.Base(), file_.Size());
    {
      ViewFaultGuard inner(file_.Base(), file_.Size());
      std::memcpy(out.data(), file_.Base(), 4096);
      EXPECT_FALSE(inner.Faulted());
      std::memcpy(out.data(), file_.Base() + 4096, 10);
      EXPECT_TRUE(inner.Faulted());
    }
    EXPECT_TRUE(outer.Faulted());
  }
  ViewFaultGuard fresh(file_.Base(), file_.Size());
  EXPECT_FALSE(fresh.Faulted());
  EXPECT_EQ(out[0], 0);  // bytes read under a fault are zeros, never other memory
}

using MappedFileDeathTest = MappedFileTest;

// A fault outside any guard ends the process as it would without the library.
TEST_F(MappedFileDeathTest, UnguardedFaultStillEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  { ViewFaultGuard installs(file_.Base(), file_.Size()); }
  ASSERT_EQ(ftruncate(fd_, 0), 0);
  const volatile uint8_t* base = file_.Base();
  EXPECT_DEATH({ (void)base[5000]; }, "");
}

}  // namespace
}  // namespace kestron4
