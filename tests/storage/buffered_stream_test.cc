// The buffered reader and writer over files: one system call per buffer,
// jumps that do not refill whole buffers, and failures that surface once
// and stick.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <string>

#include "storage/platform/platform.h"
#include "storage/streams/file_stream.h"
#include "storage/streams/mem_ref_stream.h"
#include "storage/streams/stream_reader.h"
#include "storage/streams/stream_writer.h"
#include "support/faulty_platform.h"
#include "support/scratch_dir.h"

namespace kestron4 {
namespace {

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131) ^ (i >> 9));
  return bytes;
}

TEST(BufferedStream, ByteByByteCostsOneSystemCallPerBuffer) {
  ScratchDir dir;
  FaultyPlatform faulty;
  ScopedPlatform use(faulty);
  std::string expected;
  {
    TFileStream stream(dir.File("f"), ModeCreate);
    StreamWriter out(stream);
    for (uint32_t i = 0; i < 50000; ++i) {
      out.WriteU8(static_cast<uint8_t>(i));
      out.WriteU16(static_cast<uint16_t>(i * 3));
      out.WriteU32(i * 0x01010101u);
      expected.push_back(static_cast<char>(i));
      for (int b = 0; b < 2; ++b) expected.push_back(static_cast<char>((i * 3) >> (8 * b)));
      for (int b = 0; b < 4; ++b) expected.push_back(static_cast<char>((i * 0x01010101u) >> (8 * b)));
    }
    out.WriteU64(0x0102030405060708ull);
    expected += std::string("\x08\x07\x06\x05\x04\x03\x02\x01", 8);
    const std::string big(150001, 'b');  // larger than the buffer, not aligned to it
    out.Write(big.data(), big.size());
    expected += big;
    out.Flush();
    EXPECT_EQ(out.BytesWritten(), expected.size());
  }
  // 350008 small bytes: 5 whole buffers and part of a sixth; then the big piece.
  EXPECT_EQ(faulty.Calls(FaultOp::kWrite), 7);
  ASSERT_TRUE(ReadWholeFile(dir.File("f")) == expected);

  TFileStream stream(dir.File("f"), kDefaultFileMode);
  StreamReader reader(stream);
  EXPECT_EQ(reader.Remaining(), static_cast<int64_t>(expected.size()));
  for (size_t i = 0; i < 300000; ++i) ASSERT_EQ(reader.ReadU8(), static_cast<uint8_t>(expected[i])) << i;
  EXPECT_EQ(faulty.Calls(FaultOp::kRead), 5);  // ceil(300000 / 65536)
  reader.Skip(static_cast<uint64_t>(reader.Remaining()));
  const int reads = faulty.Calls(FaultOp::kRead);
  EXPECT_THROW(reader.ReadU8(), EReadError);
  EXPECT_EQ(faulty.Calls(FaultOp::kRead), reads);  // refused without asking the file
}

// Random reads, skips and seeks give the bytes direct indexing gives, across
// every buffer boundary and the direct-read path.
TEST(BufferedStream, RandomWalkMatchesTheFile) {
  ScratchDir dir;
  const std::string data = Pattern(700001);
  WriteWholeFile(dir.File("f"), data);
  const int fd = open(dir.File("f").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(lseek(fd, 7, SEEK_SET), 7);
  TFileStream stream(fd);
  StreamReader reader(stream);
  ASSERT_EQ(reader.Position(), 7);
  std::mt19937 random(12345);
  std::string out;
  for (int step = 0; step < 3000; ++step) {
    const int64_t at = reader.Position();
    const uint32_t kind = random() % 6;
    if (kind == 0) {
      reader.Seek(static_cast<int64_t>(random() % data.size()));
    } else if (kind == 1) {
      const uint64_t skip = std::min<uint64_t>(random() % 70000, reader.Remaining());
      reader.Skip(skip);
      ASSERT_EQ(reader.Position(), at + static_cast<int64_t>(skip));
    } else {
      const size_t limit = random() % 4 == 0 ? 200000 : 300;
      out.assign(std::min<size_t>(random() % limit, static_cast<size_t>(reader.Remaining())), '\0');
      reader.Read(out.data(), out.size());
      ASSERT_EQ(out, data.substr(static_cast<size_t>(at), out.size())) << step;
    }
  }
  ASSERT_TRUE(reader.SyncPosition());
  EXPECT_EQ(lseek(fd, 0, SEEK_CUR), reader.Position());
  close(fd);
}

// Counts the bytes asked for. Not a TMemRefStream, so the reader buffers it
// like a file.
class CountingStream : public TStream {
 public:
  explicit CountingStream(const std::string& bytes) : inner_(bytes.data(), bytes.size()) {}
  std::unique_ptr<TStream> Clone() override { return inner_.Clone(); }
  bool Seek(int64_t offset, uint32_t origin) override { return inner_.Seek(offset, origin); }
  void Read(void* destination, int64_t count) override {
    asked += count;
    inner_.Read(destination, count);
  }
  void Write(const void* source, int64_t count) override { inner_.Write(source, count); }
  int64_t GetSize() override { return inner_.GetSize(); }
  int64_t GetPosition() override { return inner_.GetPosition(); }
  int64_t asked = 0;

 private:
  TMemRefStream inner_;
};

// A loader jumping over large values asks for the records after them, not a
// whole buffer behind each one.
TEST(BufferedStream, JumpsFetchOnlyASmallPiece) {
  std::string bytes(4 << 20, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i % 251);
  CountingStream stream(bytes);
  StreamReader reader(stream);
  int records = 0;
  for (; reader.Remaining() > 100; ++records) {
    uint8_t record[100];
    const int64_t at = reader.Position();
    reader.Read(record, sizeof record);
    ASSERT_EQ(record[99], static_cast<uint8_t>((at + 99) % 251));
    reader.Skip(std::min<int64_t>(100 * 1024, reader.Remaining()));
  }
  EXPECT_EQ(records, 41);
  EXPECT_LE(stream.asked, int64_t{StreamReader::kBufferSize} +
                              (records - 1) * int64_t{StreamReader::kJumpFillSize});
  // Reading on in sequence fills whole buffers again.
  reader.Seek(10);
  const int64_t before = stream.asked;
  std::string run(60 * 1024 + 1, '\0');
  reader.Read(run.data(), 1);
  reader.Read(run.data() + 1, run.size() - 1);
  EXPECT_TRUE(run == bytes.substr(10, run.size()));
  EXPECT_LE(stream.asked - before, 2 * int64_t{StreamReader::kBufferSize});
}

TEST(BufferedStream, FailuresSurfaceAndWriteFailuresStick) {
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
    TFileStream stream(dir.File("f"), kDefaultFileMode);
    StreamReader reader(stream);
    ASSERT_EQ(truncate(dir.File("f").c_str(), 1000), 0);  // after the reader took the size
    std::string out(5000, '\0');
    EXPECT_THROW(reader.Read(out.data(), out.size()), EReadError);
  }
  {
    TFileStream stream(dir.File("w"), ModeCreate);
    StreamWriter out(stream);
    out.Write("dropped", 7);  // never flushed
  }
  EXPECT_EQ(ReadWholeFile(dir.File("w")), "");
  TFileStream stream(dir.File("w"), ModeCreate);
  StreamWriter out(stream);
  const std::string piece(40000, 'p');
  out.Write(piece.data(), piece.size());
  faulty.FailNth(FaultOp::kWrite, 1, ENOSPC);
  EXPECT_THROW(out.Write(piece.data(), piece.size()), EWriteError);
  EXPECT_TRUE(out.Failed());
  const int writes = faulty.Calls(FaultOp::kWrite);
  EXPECT_THROW(out.Write("x", 1), EWriteError);
  EXPECT_THROW(out.WriteU8(1), EWriteError);
  EXPECT_THROW(out.Flush(), EWriteError);
  EXPECT_EQ(faulty.Calls(FaultOp::kWrite), writes);
  EXPECT_EQ(stream.GetSize(), 0);
}

}  // namespace
}  // namespace kestron4
