#include "storage/platform/file_services.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "storage/platform/platform.h"
#include "support/faulty_platform.h"
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

TEST(FileServices, SameFileComparesIdentityNotContent) {
  ScratchDir dir;
  WriteWholeFile(dir.File("a"), "same bytes");
  WriteWholeFile(dir.File("copy"), "same bytes");
  ASSERT_EQ(link(dir.File("a").c_str(), dir.File("hard").c_str()), 0);
  ASSERT_EQ(symlink("a", dir.File("soft").c_str()), 0);
  EXPECT_TRUE(SameFile(dir.File("a"), dir.File("hard")));
  EXPECT_TRUE(SameFile(dir.File("a"), dir.File("soft")));
  EXPECT_TRUE(SameFile(dir.File("a"), dir.Path() + "/./a"));
  EXPECT_TRUE(SameFile(Utf8ToUtf16(dir.File("a")), Utf8ToUtf16(dir.File("hard"))));
  EXPECT_FALSE(SameFile(dir.File("a"), dir.File("copy")));
  EXPECT_FALSE(SameFile(dir.File("a"), dir.File("missing")));
  EXPECT_FALSE(SameFile(dir.File("missing"), dir.File("missing")));
}

TEST(FileServices, FileExistsIgnoresOneTrailingSlash) {
  ScratchDir dir;
  WriteWholeFile(dir.File("f"), "12345");
  struct stat info;
  ASSERT_TRUE(FileExists(dir.File("f"), &info));
  EXPECT_EQ(info.st_size, 5);
  EXPECT_TRUE(FileExists(dir.File("f/")));
  EXPECT_FALSE(FileExists(dir.File("f//")));
  EXPECT_TRUE(FileExists(dir.Path() + "/"));
  EXPECT_TRUE(FileExists(std::string("/")));
  EXPECT_TRUE(FileExists(Utf8ToUtf16(dir.Path())));
  EXPECT_FALSE(FileExists(dir.File("g")));
  EXPECT_FALSE(FileExists(std::string()));
  EXPECT_FALSE(FileExists(dir.File("f") + std::string(1, '\0')));
}

TEST(FileServices, PathOfDescriptorReopensTheSameFile) {
  ScratchDir dir;
  WriteWholeFile(dir.File("f"), "x");
  WriteWholeFile(dir.File("empty"), "");
  for (const char* name : {"f", "empty"}) {
    const int fd = open(dir.File(name).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    std::string path;
    EXPECT_TRUE(PathOfDescriptor(fd, &path));
    EXPECT_EQ(path, RealPath(dir.File(name)));
    // A rename is followed: the descriptor's name is the new one.
    ASSERT_EQ(rename(dir.File(name).c_str(), dir.File("moved").c_str()), 0);
    EXPECT_TRUE(PathOfDescriptor(fd, &path));
    EXPECT_EQ(path, RealPath(dir.File("moved")));
    ASSERT_EQ(unlink(dir.File("moved").c_str()), 0);
    EXPECT_FALSE(PathOfDescriptor(fd, &path));
    close(fd);
  }
  int pipe_fds[2];
  ASSERT_EQ(pipe2(pipe_fds, O_CLOEXEC), 0);
  std::string path;
  EXPECT_FALSE(PathOfDescriptor(pipe_fds[0], &path));
  close(pipe_fds[0]);
  close(pipe_fds[1]);
  EXPECT_FALSE(PathOfDescriptor(-1, &path));
}

TEST(FileServices, ReplaceAndDelete) {
  ScratchDir dir;
  WriteWholeFile(dir.File("src"), "new");
  WriteWholeFile(dir.File("dst"), "old");
  EXPECT_TRUE(ReplaceFile(Utf8ToUtf16(dir.File("src")), Utf8ToUtf16(dir.File("dst"))));
  EXPECT_EQ(ReadWholeFile(dir.File("dst")), "new");
  EXPECT_EQ(dir.List(), std::vector<std::string>{"dst"});
  EXPECT_FALSE(ReplaceFile(dir.File("src"), dir.File("dst")));
  EXPECT_TRUE(DeleteFile(Utf8ToUtf16(dir.File("dst"))));
  EXPECT_FALSE(DeleteFile(dir.File("dst")));
  EXPECT_TRUE(dir.List().empty());
}

// Rename across file systems fails with EXDEV; the move copies instead.
TEST(FileServices, ReplaceAcrossFileSystemsCopiesDurably) {
  ScratchDir dir;
  std::string big(200000, 'q');
  WriteWholeFile(dir.File("src"), big);
  ASSERT_EQ(chmod(dir.File("src").c_str(), 0640), 0);
  WriteWholeFile(dir.File("dst"), "old");
  FaultyPlatform faulty;
  {
    ScopedPlatform use(faulty);
    faulty.FailNth(FaultOp::kRename, 1, EXDEV);
    EXPECT_TRUE(ReplaceFile(dir.File("src"), dir.File("dst")));
  }
  EXPECT_EQ(faulty.Calls(FaultOp::kFsync), 1);
  EXPECT_EQ(ReadWholeFile(dir.File("dst")), big);
  EXPECT_EQ(dir.List(), std::vector<std::string>{"dst"});
  struct stat info;
  ASSERT_EQ(stat(dir.File("dst").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);

  // A failure anywhere in the copy leaves both files as they were. Two
  // doubles are stacked: the inner one forces the copy, the outer one fails
  // the Nth call of one kind.
  for (FaultOp op : {FaultOp::kOpen, FaultOp::kRead, FaultOp::kWrite, FaultOp::kFsync,
                     FaultOp::kClose, FaultOp::kFchmod}) {
    const int descriptors = OpenDescriptorCount();
    for (int n = 1;; ++n) {
      WriteWholeFile(dir.File("src"), big);
      WriteWholeFile(dir.File("dst"), "old");
      FaultyPlatform exdev;
      exdev.FailNth(FaultOp::kRename, 1, EXDEV);
      Platform& inner = exdev;  // a FaultyPlatform argument would mean a copy
      FaultyPlatform failing(inner);
      failing.FailNth(op, n);
      bool moved;
      {
        ScopedPlatform use(failing);
        moved = ReplaceFile(dir.File("src"), dir.File("dst"));
      }
      ASSERT_TRUE(exdev.Injected());
      EXPECT_EQ(OpenDescriptorCount(), descriptors);
      if (!failing.Injected()) {
        EXPECT_TRUE(moved);
        EXPECT_GT(n, 1) << "no call of this kind was made";
        break;
      }
      if (moved) {
        // Only closing the source may fail once the copy is in place.
        EXPECT_EQ(op, FaultOp::kClose);
        EXPECT_EQ(ReadWholeFile(dir.File("dst")), big);
        EXPECT_EQ(dir.List(), std::vector<std::string>{"dst"});
      } else {
        EXPECT_EQ(ReadWholeFile(dir.File("dst")), "old") << n;
        EXPECT_EQ(ReadWholeFile(dir.File("src")), big) << n;
        EXPECT_EQ(dir.List(), (std::vector<std::string>{"dst", "src"})) << n;
      }
    }
  }
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
  std::string resolved;
  ASSERT_TRUE(ResolveSymlinks(dir.File("hop1"), &resolved));
  EXPECT_EQ(resolved, dir.File("sub/real"));
  ASSERT_TRUE(ResolveSymlinks(dir.File("sub/dangling"), &resolved));
  EXPECT_EQ(resolved, dir.File("sub/new-file"));
  ASSERT_TRUE(ResolveSymlinks(dir.File("none"), &resolved));
  EXPECT_EQ(resolved, dir.File("none"));
  EXPECT_FALSE(ResolveSymlinks(dir.File("loop-a"), &resolved));
  EXPECT_EQ(errno, ELOOP);

  EXPECT_EQ(ParentDirectory("/a/b"), "/a");
  EXPECT_EQ(ParentDirectory("/a"), "/");
  EXPECT_EQ(ParentDirectory("a"), ".");
}

}  // namespace
}  // namespace kestron4
