// Streams over files: open modes, path flavours, descriptors that stay the
// caller's, clones with their own position, and transfers that survive
// short counts and interruptions.
#include "storage/streams/file_stream.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "storage/platform/platform.h"
#include "policies/positional_file_stream.h"
#include "storage/streams/temp_file_stream.h"
#include "support/faulty_platform.h"
#include "support/scratch_dir.h"
#include "text/text_codec.h"

namespace kestron4 {
namespace {

std::string ReadAll(TStream& stream) {
  std::string bytes(static_cast<size_t>(stream.GetSize() - stream.GetPosition()), '\0');
  stream.Read(bytes.data(), static_cast<int64_t>(bytes.size()));
  return bytes;
}

std::string ReadAt(TStream& stream, int64_t position, int64_t count) {
  std::string out(static_cast<std::size_t>(count), '\0');
  if (!stream.Seek(position, kSeekBegin)) return "refused";
  stream.Read(out.data(), count);
  return out;
}

TEST(FileStream, ModesCreateTruncateAndRefuse) {
  ScratchDir dir;
  const std::string path = dir.File("f");
  EXPECT_THROW((TFileStream{path, kDefaultFileMode}), EOpenError);
  EXPECT_THROW((TFileStream{path, 0}), EOpenError);  // read-write never creates
  { TFileStream(path, ModeCreate).Write("hello", 5); }
  {
    TFileStream reader(path, kDefaultFileMode);
    EXPECT_EQ(ReadAll(reader), "hello");
    EXPECT_THROW(reader.Write("x", 1), EWriteError);
    EXPECT_TRUE(fcntl(reader.Handle(), F_GETFD) & FD_CLOEXEC);  // not inherited by children
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
  EXPECT_THROW(TFileStream(path + std::string(1, '\0') + "x", kDefaultFileMode), EOpenError);
}

TEST(FileStream, PathFlavoursChooseTheRightFile) {
  ScratchDir dir;
  WriteWholeFile(dir.File("caf\xC3\xA9"), "utf-16 path");
  WriteWholeFile(dir.File("plain"), "8-bit path");
  const std::u16string wide = Utf8ToUtf16(dir.File("caf\xC3\xA9"));
  TFileStream by_wide(wide, kDefaultFileMode);
  EXPECT_EQ(ReadAll(by_wide), "utf-16 path");
  EXPECT_EQ(by_wide.Path16(), wide);
  TFileStream pair_prefers_8bit(dir.File("plain"), wide);
  EXPECT_EQ(ReadAll(pair_prefers_8bit), "8-bit path");
  TFileStream pair_falls_back(std::string(), wide);
  EXPECT_EQ(ReadAll(pair_falls_back), "utf-16 path");
  EXPECT_THROW((TFileStream{std::string(), std::u16string()}), EOpenError);
}

TEST(FileStream, SeeksAndReadsNeverGoPastTheEnd) {
  ScratchDir dir;
  TFileStream stream(dir.File("f"), ModeCreate);
  stream.Write("0123456789", 10);
  EXPECT_TRUE(stream.Seek(-4, kSeekEnd));
  EXPECT_EQ(ReadAll(stream), "6789");
  char buffer[11];
  EXPECT_THROW(stream.Read(buffer, 1), EReadError);
  EXPECT_FALSE(stream.Seek(-1, kSeekBegin));
  EXPECT_FALSE(stream.Seek(0, 3));
  EXPECT_EQ(stream.GetPosition(), 10);
  EXPECT_THROW(stream.Read(buffer, -1), EReadError);
  stream.Seek(0, kSeekBegin);
  EXPECT_THROW(stream.Read(buffer, 11), EReadError);  // even though ten were there
}

TEST(FileStream, DescriptorsStayTheCallersAndClonesAreIndependent) {
  ScratchDir dir;
  WriteWholeFile(dir.File("f"), "abcdef");
  const int fd = open(dir.File("f").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(lseek(fd, 2, SEEK_SET), 2);
  {
    TFileStream stream(fd);
    EXPECT_FALSE(stream.OwnsHandle());
    EXPECT_EQ(stream.GetPosition(), 2);  // the descriptor's own offset
    auto clone = stream.Clone();
    EXPECT_EQ(ReadAll(*clone), "abcdef");
    EXPECT_EQ(ReadAll(stream), "cdef");
    EXPECT_TRUE(stream.Close());
  }
  EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 6);  // still open
  close(fd);
  // A read-write stream without ModeCreate empties its file on opening; its
  // clone must not empty it again.
  {
    TFileStream writer(dir.File("f"), 0);
    writer.Write("xyz", 3);
    auto clone = writer.Clone();
    EXPECT_EQ(ReadAll(*clone), "xyz");
    clone->Write("!", 1);
  }
  EXPECT_EQ(ReadWholeFile(dir.File("f")), "xyz!");
  int pipe_fds[2];
  ASSERT_EQ(pipe2(pipe_fds, O_CLOEXEC), 0);
  char c;
  TFileStream over_pipe(pipe_fds[0]), nothing;
  EXPECT_THROW(over_pipe.Clone()->Read(&c, 1), EReadError);  // no file to reopen
  EXPECT_THROW(nothing.Clone()->Read(&c, 1), EReadError);
  close(pipe_fds[0]);
  close(pipe_fds[1]);
}

TEST(FileStream, TransfersLoopOverShortCounts) {
  ScratchDir dir;
  std::string data(100000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
  FaultyPlatform faulty;
  faulty.LimitTransfers(4099);
  ScopedPlatform use(faulty);
  {
    TFileStream out(dir.File("f"), ModeCreate);
    out.Write(data.data(), static_cast<int64_t>(data.size()));
    EXPECT_TRUE(ReadAt(out, 0, static_cast<int64_t>(data.size())) == data);
    EXPECT_GE(faulty.Calls(FaultOp::kRead), 25);
    faulty.FailNth(FaultOp::kRead, 2);
    EXPECT_THROW(ReadAt(out, 0, 10000), EReadError);
    EXPECT_THROW(ReadAt(out, static_cast<int64_t>(data.size()) - 10, 11), EReadError);
    faulty.FailNth(FaultOp::kWrite, 1, ENOSPC);
    EXPECT_THROW(out.Write("x", 1), EWriteError);
  }
  faulty.FailNth(FaultOp::kOpen, 1, EMFILE);
  EXPECT_THROW((TFileStream{dir.File("f"), kDefaultFileMode}), EOpenError);
  EXPECT_TRUE(ReadWholeFile(dir.File("f")) == data);
}

// Reads at a position without moving any shared file offset.
TEST(FileStream, PositionalStreamsShareOneDescriptor) {
  ScratchDir dir;
  const std::string path = dir.File("f");
  WriteWholeFile(path, "0123456789");
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(lseek(fd, 3, SEEK_SET), 3);
  EXPECT_EQ(ReadAt(*PositionalFileStream::Borrow(fd), 1, 2), "12");
  EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 3);  // neither moved nor closed
  const int descriptors = OpenDescriptorCount();
  auto stream = PositionalFileStream::Duplicate(fd);
  close(fd);  // the duplicate lives on
  EXPECT_EQ(ReadAt(*stream, 8, 2), "89");
  auto clone = stream->Clone();
  EXPECT_EQ(clone->GetPosition(), 10);
  EXPECT_EQ(ReadAt(*clone, 0, 3), "012");
  EXPECT_EQ(stream->GetPosition(), 10);
  EXPECT_EQ(OpenDescriptorCount(), descriptors);  // clones open nothing
  EXPECT_TRUE(stream->Seek(2, kSeekEnd));
  char byte;
  EXPECT_THROW(stream->Read(&byte, 1), EReadError);
  EXPECT_EQ(stream->GetPosition(), 12);
  EXPECT_TRUE(stream->Seek(-12, kSeekCurrent));
  EXPECT_FALSE(stream->Seek(-1, kSeekCurrent));
  EXPECT_FALSE(stream->Seek(1, 7));
  EXPECT_FALSE(stream->Seek(INT64_MAX, kSeekEnd));
  EXPECT_THROW(stream->Write("x", 1), EWriteError);
  stream.reset();
  EXPECT_EQ(ReadAt(*clone, 5, 1), "5");  // the last holder keeps it open
  clone.reset();
  EXPECT_EQ(OpenDescriptorCount(), descriptors - 1);
  EXPECT_THROW(PositionalFileStream::Open(dir.File("missing")), EOpenError);
  EXPECT_THROW(PositionalFileStream::Duplicate(-1), EOpenError);
  auto opened = PositionalFileStream::Open(path);
  FaultyPlatform faulty;
  faulty.FailNth(FaultOp::kRead, 1);
  ScopedPlatform use(faulty);
  EXPECT_THROW(ReadAt(*opened, 0, 1), EReadError);
  EXPECT_EQ(ReadAt(*opened, 0, 1), "0");
}

TEST(FileStream, TempFileIsRemovedUnlessMovedAway) {
  ScratchDir dir;
  const std::u16string scratch = Utf8ToUtf16(dir.File("scratch"));
  {
    TempFileStream stream(scratch);
    stream.Write("data", 4);
    EXPECT_EQ(ReadWholeFile(dir.File("scratch")), "data");
  }
  EXPECT_TRUE(dir.List().empty());
  {
    TempFileStream stream(scratch);
    stream.Write("kept", 4);
    ASSERT_EQ(rename(dir.File("scratch").c_str(), dir.File("final").c_str()), 0);
  }
  EXPECT_EQ(dir.List(), std::vector<std::string>{"final"});
  EXPECT_THROW((TempFileStream{Utf8ToUtf16(dir.File("no/such/dir")), ModeCreate}), EOpenError);
}

}  // namespace
}  // namespace kestron4
