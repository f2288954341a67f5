#include "storage/streams/stream_reader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <random>
#include <string>

#include "storage/platform/platform.h"
#include "storage/streams/file_stream.h"
#include "storage/streams/mem_ref_stream.h"
#include "support/faulty_platform.h"
#include "support/scratch_dir.h"

namespace kestron4 {
namespace {

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131) ^ (i >> 9));
  return bytes;
}

TEST(StreamReader, ReadsValueByValueWithOneSystemCallPerBuffer) {
  ScratchDir dir;
  const std::string data = Pattern(300000);
  WriteWholeFile(dir.File("f"), data);
  FaultyPlatform faulty;
  ScopedPlatform use(faulty);
  TFileStream stream(dir.File("f"), kDefaultFileMode);
  StreamReader reader(stream);
  EXPECT_EQ(reader.Remaining(), 300000);
  for (size_t i = 0; i < data.size(); ++i) {
    ASSERT_EQ(reader.ReadU8(), static_cast<uint8_t>(data[i])) << i;
  }
  EXPECT_EQ(reader.Remaining(), 0);
  EXPECT_EQ(faulty.Calls(FaultOp::kRead), 5);  // ceil(300000 / 65536)
  EXPECT_THROW(reader.ReadU8(), EReadError);
  EXPECT_EQ(faulty.Calls(FaultOp::kRead), 5);
}

TEST(StreamReader, RefusesMoreThanRemainsBeforeReading) {
  const std::string data = Pattern(100);
  TMemRefStream stream(data.data(), static_cast<int64_t>(data.size()));
  stream.Seek(10, kSeekBegin);
  StreamReader reader(stream);
  EXPECT_EQ(reader.Position(), 10);
  EXPECT_EQ(reader.Remaining(), 90);
  std::string out(91, '\0');
  EXPECT_THROW(reader.Read(out.data(), 91), EReadError);
  EXPECT_THROW(reader.Read(out.data(), SIZE_MAX), EReadError);
  EXPECT_THROW(reader.Skip(UINT64_MAX), EReadError);
  EXPECT_THROW(reader.Seek(101), EReadError);
  EXPECT_THROW(reader.Seek(-1), EReadError);
  EXPECT_EQ(reader.Position(), 10);
  reader.Read(out.data(), 90);
  EXPECT_EQ(out.substr(0, 90), data.substr(10));
  // The memory stream itself is moved only on request.
  EXPECT_EQ(stream.GetPosition(), 10);
  EXPECT_TRUE(reader.SyncPosition());
  EXPECT_EQ(stream.GetPosition(), 100);
}

// Random reads, skips and seeks over a file must give the same bytes as
// direct indexing, across every buffer boundary and the direct-read path.
TEST(StreamReader, RandomWalkMatchesTheFile) {
  ScratchDir dir;
  const std::string data = Pattern(700001);
  WriteWholeFile(dir.File("f"), data);
  const int fd = open(dir.File("f").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(lseek(fd, 7, SEEK_SET), 7);
  TFileStream stream(fd);
  StreamReader reader(stream);
  ASSERT_EQ(reader.Position(), 7);
  std::mt19937 random(12345);
  std::string out;
  for (int step = 0; step < 3000; ++step) {
    const int64_t at = reader.Position();
    switch (random() % 6) {
      case 0:
        reader.Seek(static_cast<int64_t>(random() % data.size()));
        break;
      case 1: {
        const uint64_t skip = std::min<uint64_t>(random() % 70000, reader.Remaining());
        reader.Skip(skip);
        ASSERT_EQ(reader.Position(), at + static_cast<int64_t>(skip));
        break;
      }
      default: {
        const size_t limit = random() % 4 == 0 ? 200000 : 300;
        const size_t count =
            std::min<size_t>(random() % limit, static_cast<size_t>(reader.Remaining()));
        out.assign(count, '\0');
        reader.Read(out.data(), count);
        ASSERT_EQ(out, data.substr(static_cast<size_t>(at), count)) << step;
      }
    }
  }
  ASSERT_TRUE(reader.SyncPosition());
  EXPECT_EQ(lseek(fd, 0, SEEK_CUR), reader.Position());
  close(fd);
}

TEST(StreamReader, FailuresSurfaceAsReadErrors) {
  ScratchDir dir;
  WriteWholeFile(dir.File("f"), Pattern(200000));
  FaultyPlatform faulty;
  ScopedPlatform use(faulty);
  {
    TFileStream stream(dir.File("f"), kDefaultFileMode);
    StreamReader reader(stream);
    std::string out(100000, '\0');
    reader.Read(out.data(), 100);
    faulty.FailNth(FaultOp::kRead, 1);
    EXPECT_THROW(reader.Read(out.data(), 70000), EReadError);
    EXPECT_TRUE(faulty.Injected());
  }
  {
    // The file shrinks after the reader took its size.
    TFileStream stream(dir.File("f"), kDefaultFileMode);
    StreamReader reader(stream);
    ASSERT_EQ(truncate(dir.File("f").c_str(), 1000), 0);
    std::string out(5000, '\0');
    EXPECT_THROW(reader.Read(out.data(), out.size()), EReadError);
  }
}

}  // namespace
}  // namespace kestron4
