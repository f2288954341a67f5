#include "storage/streams/atomic_file_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "storage/platform/platform.h"
#include "storage/streams/stream_writer.h"
#include "support/faulty_platform.h"
#include "support/scratch_dir.h"
#include "text/text_codec.h"

namespace kestron4 {
namespace {

mode_t ModeOf(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

void Save(const std::string& target, const std::string& bytes) {
  AtomicFileWriter file(target);
  StreamWriter out(file.Stream());
  out.Write(bytes.data(), bytes.size());
  out.Flush();
  file.Commit();
}

TEST(AtomicFileWriter, CreatesAndReplacesKeepingPermissions) {
  ScratchDir dir;
  const std::string target = dir.File("saved");
  Save(target, "first");
  EXPECT_EQ(ReadWholeFile(target), "first");
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(ModeOf(target), 0666 & ~mask);

  ASSERT_EQ(chmod(target.c_str(), 0640), 0);
  {
    AtomicFileWriter file(Utf8ToUtf16(target));
    EXPECT_EQ(file.TargetPath(), target);
    file.Stream().Write("second", 6);
    // Until the commit the old bytes are what everyone sees.
    EXPECT_EQ(ReadWholeFile(target), "first");
    EXPECT_EQ(dir.List().size(), 2u);
    file.Commit();
    EXPECT_THROW(file.Commit(), EWriteError);
  }
  EXPECT_EQ(ReadWholeFile(target), "second");
  EXPECT_EQ(ModeOf(target), 0640u);
  EXPECT_EQ(dir.List(), std::vector<std::string>{"saved"});
}

TEST(AtomicFileWriter, AbandonedWriteLeavesTargetAndNoScratch) {
  ScratchDir dir;
  WriteWholeFile(dir.File("saved"), "old");
  {
    AtomicFileWriter file(dir.File("saved"));
    file.Stream().Write("partial", 7);
  }
  EXPECT_EQ(ReadWholeFile(dir.File("saved")), "old");
  EXPECT_EQ(dir.List(), std::vector<std::string>{"saved"});
}

TEST(AtomicFileWriter, SymbolicLinkStaysAndItsTargetIsReplaced) {
  ScratchDir dir;
  ASSERT_EQ(mkdir(dir.File("real").c_str(), 0700), 0);
  WriteWholeFile(dir.File("real/data"), "old");
  ASSERT_EQ(symlink("real/data", dir.File("link").c_str()), 0);
  Save(dir.File("link"), "new");
  struct stat info;
  ASSERT_EQ(lstat(dir.File("link").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_EQ(ReadWholeFile(dir.File("real/data")), "new");
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"link", "real"}));
}

TEST(AtomicFileWriter, RefusesWhatOpeningForWritingWouldRefuse) {
  ScratchDir dir;
  EXPECT_THROW((AtomicFileWriter{dir.File("no/such/dir/file")}), EOpenError);
  EXPECT_THROW((AtomicFileWriter{dir.Path()}), EOpenError);  // a directory
  EXPECT_THROW((AtomicFileWriter{std::string()}), EOpenError);
  if (geteuid() != 0) {
    WriteWholeFile(dir.File("locked"), "old");
    ASSERT_EQ(chmod(dir.File("locked").c_str(), 0444), 0);
    EXPECT_THROW((AtomicFileWriter{dir.File("locked")}), EOpenError);
    EXPECT_EQ(ReadWholeFile(dir.File("locked")), "old");
  }
  EXPECT_EQ(dir.List().size(), geteuid() != 0 ? 1u : 0u);
}

TEST(AtomicFileWriter, DevicesAreWrittenInPlace) {
  AtomicFileWriter file(std::string("/dev/null"));
  EXPECT_TRUE(file.ScratchPath().empty());
  file.Stream().Write("ignored", 7);
  file.Commit();
  struct stat info;
  ASSERT_EQ(stat("/dev/null", &info), 0);
  EXPECT_TRUE(S_ISCHR(info.st_mode));
}

// Every call a save makes is failed in turn. Whatever fails, the target
// holds either all of the old bytes or all of the new ones, and no scratch
// file is left behind.
TEST(AtomicFileWriter, FailureAtAnyStepKeepsTheOldFile) {
  ScratchDir dir;
  const std::string target = dir.File("saved");
  const std::string old_bytes(150000, 'o');
  std::string new_bytes(300000, '\0');
  for (size_t i = 0; i < new_bytes.size(); ++i) new_bytes[i] = static_cast<char>(i % 251);
  for (FaultOp op :
       {FaultOp::kStat, FaultOp::kLstat, FaultOp::kAccess, FaultOp::kGetRandom, FaultOp::kOpen,
        FaultOp::kFchmod, FaultOp::kWrite, FaultOp::kFsync, FaultOp::kClose, FaultOp::kRename}) {
    int failures = 0;
    const int descriptors = OpenDescriptorCount();
    for (int n = 1;; ++n) {
      WriteWholeFile(target, old_bytes);
      FaultyPlatform faulty;
      faulty.FailNth(op, n);
      bool saved = true;
      {
        ScopedPlatform use(faulty);
        try {
          Save(target, new_bytes);
        } catch (const std::ios_base::failure&) {
          saved = false;
        }
      }
      const std::string now = ReadWholeFile(target);
      EXPECT_EQ(now, saved ? new_bytes : old_bytes) << static_cast<int>(op) << " #" << n;
      EXPECT_EQ(dir.List(), std::vector<std::string>{"saved"}) << static_cast<int>(op) << " #" << n;
      EXPECT_EQ(OpenDescriptorCount(), descriptors) << static_cast<int>(op) << " #" << n;
      if (!faulty.Injected()) break;
      failures += saved ? 0 : 1;
    }
    EXPECT_GT(failures, 0) << "failing call kind " << static_cast<int>(op) << " never hurt";
  }
}

}  // namespace
}  // namespace kestron4
