#include "storage/platform/file_services.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "storage/fault_loop.h"
#include "storage/platform/platform.h"
#include "support/scratch_dir.h"
#include "text/text_codec.h"

namespace kestron4 {
namespace {

std::string RealPath(const std::string& path) {
  char* resolved = realpath(path.c_str(), nullptr);
  std::string result = resolved != nullptr ? resolved : "";
  free(resolved);
  return result;
}

TEST(FileServices, IdentityExistenceAndNamesOfFiles) {
  ScratchDir dir;
  WriteWholeFile(dir.File("a"), "same bytes");
  WriteWholeFile(dir.File("copy"), "same bytes");
  ASSERT_EQ(link(dir.File("a").c_str(), dir.File("hard").c_str()), 0);
  ASSERT_EQ(symlink("a", dir.File("soft").c_str()), 0);
  for (const char* same : {"hard", "soft", "./a"})
    EXPECT_TRUE(SameFile(dir.File("a"), dir.File(same)));
  EXPECT_TRUE(SameFile(Utf8ToUtf16(dir.File("a")), Utf8ToUtf16(dir.File("hard"))));
  EXPECT_FALSE(SameFile(dir.File("a"), dir.File("copy")));  // identity, not content
  EXPECT_FALSE(SameFile(dir.File("a"), dir.File("missing")));
  EXPECT_FALSE(SameFile(dir.File("missing"), dir.File("missing")));

  PathInfo info;
  ASSERT_TRUE(FileExists(dir.File("copy"), &info));
  EXPECT_EQ(info.size, 10u);
  for (const std::string& yes : {dir.File("a/"), dir.Path() + "/", std::string("/")})
    EXPECT_TRUE(FileExists(yes)) << yes;
  EXPECT_TRUE(FileExists(Utf8ToUtf16(dir.Path())));
  for (const std::string& no :
       {dir.File("a//"), dir.File("g"), std::string(), dir.File("a") + '\0'})
    EXPECT_FALSE(FileExists(no)) << no;

  // A descriptor's name follows renames and is gone with the file.
  const int fd = open(dir.File("copy").c_str(), O_RDONLY | O_CLOEXEC);
  std::string path;
  Platform& platform = SystemPlatform();
  EXPECT_TRUE(platform.PathOf(fd, &path));
  EXPECT_EQ(path, RealPath(dir.File("copy")));
  ASSERT_EQ(rename(dir.File("copy").c_str(), dir.File("moved").c_str()), 0);
  EXPECT_TRUE(platform.PathOf(fd, &path));
  EXPECT_EQ(path, RealPath(dir.File("moved")));
  ASSERT_EQ(unlink(dir.File("moved").c_str()), 0);
  EXPECT_FALSE(platform.PathOf(fd, &path));
  close(fd);
  int pipe_fds[2];
  ASSERT_EQ(pipe2(pipe_fds, O_CLOEXEC), 0);
  EXPECT_FALSE(platform.PathOf(pipe_fds[0], &path));
  close(pipe_fds[0]);
  close(pipe_fds[1]);
  EXPECT_FALSE(platform.PathOf(-1, &path));
}

TEST(FileServices, ResolveSymlinksFollowsTheLastComponent) {
  ScratchDir dir;
  ASSERT_EQ(mkdir(dir.File("sub").c_str(), 0700), 0);
  WriteWholeFile(dir.File("sub/real"), "x");
  ASSERT_EQ(symlink("sub/real", dir.File("hop2").c_str()), 0);
  ASSERT_EQ(symlink(dir.File("hop2").c_str(), dir.File("hop1").c_str()), 0);
  ASSERT_EQ(symlink("new-file", dir.File("sub/dangling").c_str()), 0);
  ASSERT_EQ(symlink("loop-b", dir.File("loop-a").c_str()), 0);
  ASSERT_EQ(symlink("loop-a", dir.File("loop-b").c_str()), 0);
  const char* cases[][2] = {
      {"hop1", "sub/real"}, {"sub/dangling", "sub/new-file"}, {"none", "none"}};
  for (const auto& c : cases) {
    std::string resolved;
    ASSERT_TRUE(SystemPlatform().ResolveTarget(dir.File(c[0]), &resolved)) << c[0];
    EXPECT_EQ(resolved, dir.File(c[1]));
  }
  std::string resolved;
  EXPECT_FALSE(SystemPlatform().ResolveTarget(dir.File("loop-a"), &resolved));
  EXPECT_EQ(ParentDirectory("/a/b"), "/a");
  EXPECT_EQ(ParentDirectory("/a"), "/");
  EXPECT_EQ(ParentDirectory("a"), ".");
}

TEST(FileServices, ReplaceAndDelete) {
  ScratchDir dir;
  WriteWholeFile(dir.File("src"), "new");
  WriteWholeFile(dir.File("dst"), "old");
  EXPECT_TRUE(ReplaceFile(Utf8ToUtf16(dir.File("src")), Utf8ToUtf16(dir.File("dst"))));
  EXPECT_EQ(ReadWholeFile(dir.File("dst")), "new");
  EXPECT_FALSE(ReplaceFile(dir.File("src"), dir.File("dst")));
  EXPECT_TRUE(DeleteFile(Utf8ToUtf16(dir.File("dst"))));
  EXPECT_FALSE(DeleteFile(dir.File("dst")));
  EXPECT_TRUE(dir.List().empty());
}

// Rename across file systems fails with EXDEV; the move copies instead,
// durably, and a failure anywhere in the copy leaves both files as they were.
TEST(FileServices, ReplaceAcrossFileSystemsCopiesDurably) {
  ScratchDir dir;
  const std::string big(200000, 'q');
  const auto reset = [&] {
    WriteWholeFile(dir.File("src"), big);
    WriteWholeFile(dir.File("dst"), "old");
  };
  reset();
  ASSERT_EQ(chmod(dir.File("src").c_str(), 0640), 0);
  FaultyPlatform exdev;
  exdev.FailNth(FaultOp::kReplace, 1, EXDEV);
  {
    ScopedPlatform use(exdev);
    EXPECT_TRUE(ReplaceFile(dir.File("src"), dir.File("dst")));
  }
  EXPECT_EQ(exdev.Calls(FaultOp::kSync), 1);
  EXPECT_TRUE(ReadWholeFile(dir.File("dst")) == big);
  EXPECT_EQ(dir.List(), std::vector<std::string>{"dst"});
  struct stat info;
  ASSERT_EQ(stat(dir.File("dst").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);

  reset();
  for (FaultOp op : {FaultOp::kOpen, FaultOp::kRead, FaultOp::kWrite, FaultOp::kSync,
                     FaultOp::kClose, FaultOp::kCopyPermissions}) {
    const int injected = testing::ForEveryFault(
        op,
        [&] {
          exdev.FailNth(FaultOp::kReplace, 1, EXDEV);
          return ReplaceFile(dir.File("src"), dir.File("dst"));
        },
        [&](bool moved, bool fired) {
          ASSERT_TRUE(exdev.Injected());
          if (moved) {
            // Only closing the source may fail once the copy is in place.
            EXPECT_TRUE(!fired || op == FaultOp::kClose);
            EXPECT_TRUE(ReadWholeFile(dir.File("dst")) == big);
            EXPECT_EQ(dir.List(), std::vector<std::string>{"dst"});
          } else {
            EXPECT_TRUE(fired);
            EXPECT_EQ(ReadWholeFile(dir.File("dst")), "old");
            EXPECT_TRUE(ReadWholeFile(dir.File("src")) == big);
            EXPECT_EQ(dir.List(), (std::vector<std::string>{"dst", "src"}));
          }
          reset();
        },
        exdev);
    EXPECT_GT(injected, 0) << "no call of kind " << static_cast<int>(op) << " was made";
  }
}

}  // namespace
}  // namespace kestron4
