// Saving through a scratch file renamed over the target: until the commit
// the old bytes are what everyone sees, and an abandoned save leaves no
// scratch file. (Failing system calls are swept through the path saves.)
#include "storage/streams/atomic_file_writer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "storage/platform/platform.h"
#include "storage/streams/stream_writer.h"
#include "support/scratch_dir.h"
#include "text/text_codec.h"

namespace kestron4 {
namespace {

mode_t ModeOf(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

bool Save(const std::string& target, const std::string& bytes) try {
  AtomicFileWriter file(target);
  StreamWriter out(file.Stream());
  out.Write(bytes.data(), bytes.size());
  out.Flush();
  file.Commit();
  return true;
} catch (const std::ios_base::failure&) {
  return false;
}

TEST(AtomicFileWriter, ReplacesOnCommitOnlyKeepingPermissionsAndLinks) {
  ScratchDir dir;
  const std::string target = dir.File("saved");
  ASSERT_TRUE(Save(target, "first"));
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(ModeOf(target), 0666 & ~mask);
  ASSERT_EQ(chmod(target.c_str(), 0640), 0);
  {
    AtomicFileWriter file(Utf8ToUtf16(target));
    file.Stream().Write("second", 6);
    EXPECT_EQ(ReadWholeFile(target), "first");
    EXPECT_EQ(dir.List().size(), 2u);
    file.Commit();
    EXPECT_THROW(file.Commit(), EWriteError);
  }
  EXPECT_EQ(ReadWholeFile(target), "second");
  EXPECT_EQ(ModeOf(target), 0640u);
  {
    AtomicFileWriter abandoned(target);
    abandoned.Stream().Write("partial", 7);
  }
  EXPECT_EQ(ReadWholeFile(target), "second");
  EXPECT_EQ(dir.List(), std::vector<std::string>{"saved"});

  // A link stays a link; the file it names is replaced.
  ASSERT_EQ(mkdir(dir.File("real").c_str(), 0700), 0);
  ASSERT_EQ(symlink("real/data", dir.File("link").c_str()), 0);
  ASSERT_TRUE(Save(dir.File("link"), "new"));
  struct stat info;
  ASSERT_EQ(lstat(dir.File("link").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_EQ(ReadWholeFile(dir.File("real/data")), "new");
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"link", "real", "saved"}));

  // Devices cannot be replaced; they are written in place.
  AtomicFileWriter device(std::string("/dev/null"));
  EXPECT_TRUE(device.ScratchPath().empty());
  device.Stream().Write("ignored", 7);
  device.Commit();
  ASSERT_EQ(stat("/dev/null", &info), 0);
  EXPECT_TRUE(S_ISCHR(info.st_mode));
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

}  // namespace
}  // namespace kestron4
