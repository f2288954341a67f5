// A mapping whose file shrinks under it: reads past the new end fail instead
// of faulting, and only faults under a guard are caught.
#include "storage/policies/mapped_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "storage/policies/view_fault_guard.h"
#include "support/scratch_dir.h"

namespace kestron4 {
namespace {

class MappedFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bytes_.resize(3 * 4096 + 100);  // three pages and a bit
    for (std::size_t i = 0; i < bytes_.size(); ++i) bytes_[i] = static_cast<char>(i * 13 + i / 4096);
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
