#include "storage/policies/mapped_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "storage/policies/view_fault_guard.h"
#include "support/scratch_dir.h"

namespace kestron4 {
namespace {

// Three pages and a bit, each byte telling its position.
std::string ThreePages() {
  std::string bytes(3 * 4096 + 100, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 13 + i / 4096);
  return bytes;
}

class MappedFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("mapped");
    bytes_ = ThreePages();
    WriteWholeFile(path_, bytes_);
    fd_ = open(path_.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd_, 0);
  }
  void TearDown() override { close(fd_); }

  std::string Read(MappedFile& file, uint64_t offset, uint64_t count) {
    std::string out(count, '\0');
    return file.Copy(offset, out.data(), count) ? out : std::string("failed");
  }

  ScratchDir dir_;
  std::string path_;
  std::string bytes_;
  int fd_ = -1;
};

// The file shrinks under the mapping and grows back: reads past the new end
// fail instead of faulting, and the view, restored in place, serves the
// file again afterwards.
TEST_F(MappedFileTest, ShrinkingFileFailsReadsUntilItGrowsBack) {
  MappedFile file;
  ASSERT_TRUE(file.Attach(fd_));
  EXPECT_NE(file.Descriptor(), fd_);
  const uint8_t* base = file.Base();
  ASSERT_EQ(ftruncate(fd_, 100), 0);
  EXPECT_EQ(Read(file, 0, 100), bytes_.substr(0, 100));
  EXPECT_EQ(Read(file, 50, 5000), "failed");
  EXPECT_EQ(Read(file, 3 * 4096, 10), "failed");
  EXPECT_EQ(Read(file, bytes_.size(), 1), "failed");
  EXPECT_EQ(file.Base(), base);
  ASSERT_EQ(pwrite(fd_, bytes_.data(), bytes_.size(), 0), static_cast<ssize_t>(bytes_.size()));
  EXPECT_EQ(Read(file, 0, bytes_.size()), bytes_);
}

TEST_F(MappedFileTest, GuardTellsEveryEnclosingGuardOfAFault) {
  MappedFile file;
  ASSERT_TRUE(file.Attach(fd_));
  ASSERT_EQ(ftruncate(fd_, 4096), 0);
  std::vector<char> out(bytes_.size());
  {
    ViewFaultGuard outer(file.Base(), file.Size());
    {
      ViewFaultGuard inner(file.Base(), file.Size());
      std::memcpy(out.data(), file.Base(), 4096);
      EXPECT_FALSE(inner.Faulted());
      std::memcpy(out.data(), file.Base() + 4096, 10);
      EXPECT_TRUE(inner.Faulted());
    }
    EXPECT_TRUE(outer.Faulted());  // told of the inner fault
  }
  ViewFaultGuard fresh(file.Base(), file.Size());
  EXPECT_FALSE(fresh.Faulted());
  // Bytes read under a fault are zeros, never someone else's memory.
  EXPECT_EQ(out[0], 0);
}

using MappedFileDeathTest = MappedFileTest;

// A fault outside any guard is not swallowed: it ends the process as it
// would without the library.
TEST_F(MappedFileDeathTest, UnguardedFaultStillEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  MappedFile file;
  ASSERT_TRUE(file.Attach(fd_));
  { ViewFaultGuard installs(file.Base(), file.Size()); }
  ASSERT_EQ(ftruncate(fd_, 0), 0);
  const volatile uint8_t* base = file.Base();
  EXPECT_DEATH({ (void)base[5000]; }, "");
}

}  // namespace
}  // namespace kestron4
