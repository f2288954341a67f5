#include "storage/streams/file_stream.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "storage/platform/platform.h"
#include "support/faulty_platform.h"
#include "support/scratch_dir.h"

namespace kestron4 {
namespace {

std::string ReadAll(TStream& stream) {
  std::string bytes(static_cast<size_t>(stream.GetSize() - stream.GetPosition()), '\0');
  stream.Read(bytes.data(), static_cast<int64_t>(bytes.size()));
  return bytes;
}

TEST(FileStream, ModesOpenCreateAndTruncateAsDocumented) {
  ScratchDir dir;
  const std::string path = dir.File("f");
  try {
    TFileStream missing(path, kDefaultFileMode);
    FAIL() << "opened a missing file";
  } catch (const EOpenError& e) {
    EXPECT_NE(std::string(e.what()).find("Failed to open file"), std::string::npos);
  }
  EXPECT_THROW((TFileStream{path, 0}), EOpenError);  // read-write never creates
  {
    TFileStream created(path, ModeCreate);
    created.Write("hello", 5);
    EXPECT_EQ(created.GetSize(), 5);
    EXPECT_EQ(created.Mode(), uint32_t{ModeCreate});
  }
  {
    TFileStream reader(path, kDefaultFileMode);
    EXPECT_EQ(ReadAll(reader), "hello");
    EXPECT_THROW(reader.Write("x", 1), EWriteError);
    // The descriptor does not leak into programs the host starts.
    EXPECT_TRUE(fcntl(reader.Handle(), F_GETFD) & FD_CLOEXEC);
  }
  {
    TFileStream emptied(path, 0);
    EXPECT_EQ(emptied.GetSize(), 0);
    emptied.Write("ab", 2);
  }
  EXPECT_EQ(ReadWholeFile(path), "ab");
  { TFileStream replaced(path, ModeCreate | ModeShareRead); }
  EXPECT_EQ(ReadWholeFile(path), "");

  const mode_t mask = umask(0);
  umask(mask);
  struct stat info;
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0666 & ~mask);
}

TEST(FileStream, PathFlavoursChooseTheRightFile) {
  ScratchDir dir;
  WriteWholeFile(dir.File("caf\xC3\xA9"), "utf-16 path");
  WriteWholeFile(dir.File("plain"), "8-bit path");
  const std::u16string wide = u"caf\u00E9";
  const std::u16string wide_path =
      std::u16string(dir.Path().begin(), dir.Path().end()) + u"/" + wide;

  TFileStream by_wide(wide_path, kDefaultFileMode);
  EXPECT_EQ(ReadAll(by_wide), "utf-16 path");
  EXPECT_EQ(by_wide.Path16(), wide_path);
  EXPECT_TRUE(by_wide.Path8().empty());

  TFileStream pair_prefers_8bit(dir.File("plain"), wide_path);
  EXPECT_EQ(ReadAll(pair_prefers_8bit), "8-bit path");
  EXPECT_EQ(pair_prefers_8bit.Mode(), kDefaultFileMode);
  TFileStream pair_falls_back(std::string(), wide_path);
  EXPECT_EQ(ReadAll(pair_falls_back), "utf-16 path");
  EXPECT_THROW((TFileStream{std::string(), std::u16string()}), EOpenError);
  // A NUL inside a path must not silently open the shorter name.
  EXPECT_THROW(TFileStream(dir.File("plain") + std::string(1, '\0') + "x", kDefaultFileMode),
               EOpenError);
}

TEST(FileStream, SeekReadWriteAndSizes) {
  ScratchDir dir;
  TFileStream stream(dir.File("f"), ModeCreate);
  stream.Write("0123456789", 10);
  EXPECT_EQ(stream.GetPosition(), 10);
  EXPECT_TRUE(stream.Seek(-4, kSeekEnd));
  char buffer[4];
  stream.Read(buffer, 4);
  EXPECT_EQ(std::string(buffer, 4), "6789");
  EXPECT_THROW(stream.Read(buffer, 1), EReadError);
  EXPECT_FALSE(stream.Seek(-1, kSeekBegin));
  EXPECT_FALSE(stream.Seek(0, 3));
  EXPECT_EQ(stream.GetPosition(), 10);
  EXPECT_THROW(stream.Read(buffer, -1), EReadError);
  stream.Seek(0, kSeekBegin);
  // Reading past the end fails even if part of the bytes were there.
  char big[11];
  EXPECT_THROW(stream.Read(big, 11), EReadError);
}

TEST(FileStream, DescriptorStreamLeavesTheDescriptorOpen) {
  ScratchDir dir;
  WriteWholeFile(dir.File("f"), "abcdef");
  const int fd = open(dir.File("f").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(lseek(fd, 2, SEEK_SET), 2);
  {
    TFileStream stream(fd);
    EXPECT_FALSE(stream.OwnsHandle());
    EXPECT_EQ(stream.Mode(), kDefaultFileMode);
    EXPECT_TRUE(stream.Path8().empty() && stream.Path16().empty());
    EXPECT_EQ(stream.GetPosition(), 2);  // the descriptor's own offset
    EXPECT_EQ(ReadAll(stream), "cdef");
    EXPECT_TRUE(stream.Close());
    EXPECT_EQ(stream.Handle(), -1);
  }
  EXPECT_NE(fcntl(fd, F_GETFD), -1);
  EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 6);
  close(fd);
}

TEST(FileStream, ClonesAreIndependentAndNeverTruncate) {
  ScratchDir dir;
  WriteWholeFile(dir.File("f"), "abcdef");
  TFileStream by_path(dir.File("f"), kDefaultFileMode);
  by_path.Seek(3, kSeekBegin);
  auto clone = by_path.Clone();
  EXPECT_EQ(clone->GetPosition(), 0);
  EXPECT_EQ(ReadAll(*clone), "abcdef");
  EXPECT_EQ(by_path.GetPosition(), 3);

  // A read-write stream opened without ModeCreate empties its file on
  // opening; its clone must not empty it again.
  {
    TFileStream writer(dir.File("f"), 0);
    writer.Write("xyz", 3);
    auto writer_clone = writer.Clone();
    EXPECT_EQ(ReadAll(*writer_clone), "xyz");
    writer_clone->Write("!", 1);
  }
  EXPECT_EQ(ReadWholeFile(dir.File("f")), "xyz!");

  const int fd = open(dir.File("f").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  {
    TFileStream from_fd(fd);
    from_fd.Seek(2, kSeekBegin);
    auto fd_clone = from_fd.Clone();
    EXPECT_EQ(ReadAll(*fd_clone), "xyz!");
    EXPECT_EQ(from_fd.GetPosition(), 2);
  }
  close(fd);

  TFileStream nothing;
  auto empty_clone = nothing.Clone();
  char c;
  EXPECT_THROW(empty_clone->Read(&c, 1), EReadError);
}

TEST(FileStream, CloneOfAPathlessDescriptorHasNoFile) {
  int pipe_fds[2];
  ASSERT_EQ(pipe2(pipe_fds, O_CLOEXEC), 0);
  {
    TFileStream pipe_stream(pipe_fds[0]);
    auto clone = pipe_stream.Clone();
    char c;
    EXPECT_THROW(clone->Read(&c, 1), EReadError);
  }
  close(pipe_fds[0]);
  close(pipe_fds[1]);
}

TEST(FileStream, TransfersLoopOverShortCountsAndInterruptions) {
  ScratchDir dir;
  std::string data(100000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
  FaultyPlatform faulty;
  faulty.LimitTransfers(4099);
  ScopedPlatform use(faulty);
  {
    TFileStream out(dir.File("f"), ModeCreate);
    faulty.FailNth(FaultOp::kWrite, 3, EINTR);
    out.Write(data.data(), static_cast<int64_t>(data.size()));
    EXPECT_TRUE(faulty.Injected());
    out.Seek(0, kSeekBegin);
    faulty.FailNth(FaultOp::kRead, 5, EINTR);
    std::string back(data.size(), '\0');
    out.Read(back.data(), static_cast<int64_t>(back.size()));
    EXPECT_TRUE(faulty.Injected());
    EXPECT_EQ(back, data);
    EXPECT_GE(faulty.Calls(FaultOp::kRead), 25);

    out.Seek(0, kSeekBegin);
    faulty.FailNth(FaultOp::kRead, 2, EIO);
    EXPECT_THROW(out.Read(back.data(), 10000), EReadError);
    faulty.FailNth(FaultOp::kWrite, 1, ENOSPC);
    EXPECT_THROW(out.Write("x", 1), EWriteError);
  }
  faulty.FailNth(FaultOp::kOpen, 1, EMFILE);
  EXPECT_THROW((TFileStream{dir.File("f"), kDefaultFileMode}), EOpenError);
  EXPECT_EQ(ReadWholeFile(dir.File("f")), data);
}

}  // namespace
}  // namespace kestron4
