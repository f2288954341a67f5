#include "storage/policies/positional_file_stream.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "support/faulty_platform.h"
#include "support/scratch_dir.h"

namespace kestron4 {
namespace {

std::string ReadAt(TStream& stream, int64_t position, int64_t count) {
  std::string out(static_cast<std::size_t>(count), '\0');
  if (!stream.Seek(position, kSeekBegin)) return "refused";
  stream.Read(out.data(), count);
  return out;
}

TEST(PositionalFileStream, ClonesShareTheFileButNotThePosition) {
  ScratchDir dir;
  const std::string path = dir.File("f");
  WriteWholeFile(path, "0123456789");
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(lseek(fd, 3, SEEK_SET), 3);
  const int descriptors = OpenDescriptorCount();
  auto stream = PositionalFileStream::Duplicate(fd);
  close(fd);  // the duplicate lives on
  EXPECT_EQ(stream->GetSize(), 10);
  EXPECT_EQ(ReadAt(*stream, 8, 2), "89");
  auto clone = stream->Clone();
  EXPECT_EQ(clone->GetPosition(), 10);
  EXPECT_EQ(ReadAt(*clone, 0, 3), "012");
  EXPECT_EQ(stream->GetPosition(), 10);
  EXPECT_EQ(OpenDescriptorCount(), descriptors);  // clones open nothing

  // Past the end: reading fails and keeps the position.
  EXPECT_TRUE(stream->Seek(2, kSeekEnd));
  EXPECT_EQ(stream->GetPosition(), 12);
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
}

TEST(PositionalFileStream, BorrowedDescriptorsStayTheCallersAndFailuresThrow) {
  ScratchDir dir;
  const std::string path = dir.File("f");
  WriteWholeFile(path, "abc");
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  { EXPECT_EQ(ReadAt(*PositionalFileStream::Borrow(fd), 1, 2), "bc"); }
  EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 0);  // neither moved nor closed
  close(fd);
  EXPECT_THROW(PositionalFileStream::Open(dir.File("missing")), EOpenError);
  EXPECT_THROW(PositionalFileStream::Duplicate(-1), EOpenError);
  auto stream = PositionalFileStream::Open(path);
  FaultyPlatform faulty;
  faulty.FailNth(FaultOp::kRead, 1);
  ScopedPlatform use(faulty);
  EXPECT_THROW(ReadAt(*stream, 0, 1), EReadError);
  EXPECT_EQ(ReadAt(*stream, 0, 1), "a");
}

}  // namespace
}  // namespace kestron4
