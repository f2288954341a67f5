#include "storage/policies/mapped_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "storage/policies/view_fault_guard.h"
#include "support/faulty_platform.h"
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

TEST_F(MappedFileTest, HoldsItsOwnDescriptorAndRemapsTheSameBytes) {
  MappedFile file;
  ASSERT_TRUE(file.Attach(fd_));
  EXPECT_NE(file.Descriptor(), fd_);
  EXPECT_EQ(file.Size(), bytes_.size());
  EXPECT_EQ(Read(file, 4000, 200), bytes_.substr(4000, 200));
  EXPECT_EQ(Read(file, bytes_.size() - 1, 1), bytes_.substr(bytes_.size() - 1));
  EXPECT_EQ(Read(file, bytes_.size(), 1), "failed");
  EXPECT_EQ(Read(file, UINT64_MAX, 2), "failed");
  file.Unmap();
  EXPECT_EQ(file.Base(), nullptr);
  EXPECT_EQ(Read(file, 0, 1), "failed");
  ASSERT_TRUE(file.Remap());
  EXPECT_EQ(Read(file, 0, bytes_.size()), bytes_);
  file.Release();
  EXPECT_FALSE(file.Attached());
  EXPECT_FALSE(file.Remap());
}

TEST_F(MappedFileTest, RefusesWhatCannotBeMapped) {
  MappedFile file;
  const std::string empty = dir_.File("empty");
  WriteWholeFile(empty, "");
  const int emptyFd = open(empty.c_str(), O_RDONLY | O_CLOEXEC);
  EXPECT_FALSE(file.Attach(emptyFd));
  close(emptyFd);
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  EXPECT_FALSE(file.Attach(pipeFds[0]));
  close(pipeFds[0]);
  close(pipeFds[1]);
  EXPECT_FALSE(file.Attach(-1));

  // 4 GiB is one byte too many; the file is sparse, so it costs no space.
  const std::string huge = dir_.File("huge");
  const int hugeFd = open(huge.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_EQ(ftruncate(hugeFd, static_cast<off_t>(MappedFile::kSizeLimit - 1)), 0);
  EXPECT_TRUE(file.Attach(hugeFd));
  ASSERT_EQ(ftruncate(hugeFd, static_cast<off_t>(MappedFile::kSizeLimit)), 0);
  EXPECT_FALSE(file.Attach(hugeFd));
  EXPECT_FALSE(file.Attached());
  close(hugeFd);

  const int descriptors = OpenDescriptorCount();
  for (const FaultOp op : {FaultOp::kDup, FaultOp::kFstat, FaultOp::kMmap}) {
    FaultyPlatform faulty;
    faulty.FailNth(op, 1);
    ScopedPlatform use(faulty);
    EXPECT_FALSE(file.Attach(fd_)) << static_cast<int>(op);
    EXPECT_TRUE(faulty.Injected());
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
  }
}

// The file shrinks under the mapping and grows back: reads past the new end
// fail instead of faulting, and the view serves the file again afterwards.
TEST_F(MappedFileTest, ShrinkingFileFailsReadsUntilItGrowsBack) {
  MappedFile file;
  ASSERT_TRUE(file.Attach(fd_));
  const uint8_t* base = file.Base();
  ASSERT_EQ(ftruncate(fd_, 100), 0);
  EXPECT_EQ(Read(file, 0, 100), bytes_.substr(0, 100));
  EXPECT_EQ(Read(file, 50, 5000), "failed");
  EXPECT_EQ(Read(file, 3 * 4096, 10), "failed");
  EXPECT_EQ(file.Base(), base);  // restored in place
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
