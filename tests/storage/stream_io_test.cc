// Streams over a caller's memory block, which never touch a byte outside
// it, and the buffered reader and writer: one system call per buffer over a
// file, jumps that do not refill whole buffers, failures that stick.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>
#include <string>

#include "storage/platform/platform.h"
#include "storage/streams/file_stream.h"
#include "storage/streams/mem_ref_stream.h"
#include "storage/streams/stream_reader.h"
#include "storage/streams/stream_writer.h"
#include "support/caller_file.h"
#include "support/faulty_platform.h"
#include "support/scratch_dir.h"

namespace kestron4 {
namespace {


constexpr int64_t kHuge = std::numeric_limits<int64_t>::max();

TEST(MemRefStream, SeeksReadsAndWritesStayInsideTheBlock) {
  char block[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  TMemRefStream stream(block, sizeof block);
  // Applied in order; a refused seek keeps the position.
  const struct { int64_t offset; uint32_t origin; bool ok; int64_t at; } seeks[] = {
      {0, kSeekEnd, true, 10},  {1, kSeekEnd, false, 10},   {-11, kSeekEnd, false, 10},
      {-10, kSeekEnd, true, 0}, {4, kSeekCurrent, true, 4}, {-1, kSeekCurrent, true, 3},
      {-4, kSeekCurrent, false, 3}, {kHuge, kSeekCurrent, false, 3}, {11, kSeekBegin, false, 3},
      {5, 7, true, 3}};  // an unknown origin is accepted and moves nothing
  for (const auto& s : seeks) {
    SCOPED_TRACE(std::to_string(s.offset) + "/" + std::to_string(s.origin));
    EXPECT_EQ(stream.Seek(s.offset, s.origin), s.ok);
    EXPECT_EQ(stream.GetPosition(), s.at);
  }
  ASSERT_TRUE(stream.Seek(8, kSeekBegin));
  char out[3] = {};
  EXPECT_THROW(stream.Read(out, 3), EReadError);  // two are there: still nothing read
  EXPECT_EQ(stream.GetPosition(), 8);
  stream.Read(out, 2);
  EXPECT_EQ(std::string(out, 2), std::string("\x08\x09", 2));
  stream.Read(out, 0);
  for (const int64_t n : {int64_t{1}, int64_t{-1}, kHuge})
    EXPECT_THROW(stream.Read(out, n), EReadError);
  stream.Seek(8, kSeekBegin);
  EXPECT_THROW(stream.Write("XYZ", 3), EWriteError);
  EXPECT_THROW(stream.Write("X", -1), EWriteError);
  EXPECT_EQ(block[8], 8);
  stream.Write("XY", 2);
  EXPECT_EQ(std::string(block + 8, 2), "XY");
  EXPECT_EQ(stream.GetSize(), 10);

  const char fixed[4] = {'a', 'b', 'c', 'd'};
  TMemRefStream read_only(static_cast<const void*>(fixed), sizeof fixed);
  EXPECT_THROW(read_only.Write("X", 1), EWriteError);
  EXPECT_THROW(read_only.Clone()->Write("x", 1), EWriteError);
  EXPECT_EQ(read_only.GetPosition(), 0);
}

TEST(MemRefStream, CloneSharesTheBlockButNotThePosition) {
  char block[6] = {'0', '1', '2', '3', '4', '5'};
  TMemRefStream stream(block, sizeof block);
  stream.Seek(2, kSeekBegin);
  const auto clone = stream.Clone();
  EXPECT_EQ(clone->GetPosition(), 2);
  char c;
  clone->Read(&c, 1);
  EXPECT_EQ(c, '2');
  EXPECT_EQ(stream.GetPosition(), 2);
  clone->Write("!", 1);
  EXPECT_EQ(block[3], '!');
}

TEST(MemRefStream, ReaderAndWriterWorkInPlaceLittleEndian) {
  uint8_t block[15] = {};
  TMemRefStream stream(block, sizeof block);
  StreamWriter out(stream);
  out.WriteU8(0x01);
  out.WriteU16(0x1234);
  EXPECT_EQ(block[1], 0x34);  // no buffering in between
  out.WriteU32(0x12345678);
  out.WriteU64(0x0123456789ABCDEFull);
  EXPECT_EQ(block[7], 0xEF);
  EXPECT_THROW(out.Write("1", 1), EWriteError);  // full: never an overrun
  stream.Seek(0, kSeekBegin);
  StreamReader in(stream);
  EXPECT_EQ(in.ReadU8(), 0x01);
  EXPECT_EQ(in.ReadU16(), 0x1234);
  EXPECT_EQ(in.ReadU32(), 0x12345678u);
  EXPECT_EQ(in.ReadU64(), 0x0123456789ABCDEFull);

  char small[8] = {};
  TMemRefStream tight(small, sizeof small);
  StreamWriter partial(tight);
  partial.WriteU32(0x64636261);
  EXPECT_THROW(partial.Write("12345", 5), EWriteError);
  EXPECT_EQ(std::string(small, 8), std::string("abcd\0\0\0\0", 8));
  EXPECT_EQ(tight.GetPosition(), 4);
}

TEST(MemRefStream, ReaderRefusesMoreThanRemainsBeforeReading) {
  std::string data(100, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 3);
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
  EXPECT_EQ(stream.GetPosition(), 10);  // moved only on request
  EXPECT_TRUE(reader.SyncPosition());
  EXPECT_EQ(stream.GetPosition(), 100);
}

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131) ^ (i >> 9));
  return bytes;
}

TEST(BufferedStream, ValueByValueCostsOneSystemCallPerBuffer) {
  ScratchDir dir;
  FaultyPlatform faulty;
  ScopedPlatform use(faulty);
  const std::string big(150001, 'b');  // larger than the buffer, not aligned to it
  {
    TFileStream stream(dir.File("f"), ModeCreate);
    StreamWriter out(stream);
    for (uint32_t i = 0; i < 50000; ++i) {
      out.WriteU8(static_cast<uint8_t>(i));
      out.WriteU16(static_cast<uint16_t>(i * 3));
      out.WriteU32(i * 0x01010101u);
    }
    out.WriteU64(0x0102030405060708ull);
    out.Write(big.data(), big.size());
    out.Flush();
    EXPECT_EQ(out.BytesWritten(), 350008u + big.size());
  }
  // 350008 small bytes: 5 whole buffers and part of a sixth; then the big piece.
  EXPECT_EQ(faulty.Calls(FaultOp::kWrite), 7);
  TFileStream stream(dir.File("f"), kDefaultFileMode);
  StreamReader reader(stream);
  EXPECT_EQ(reader.Remaining(), static_cast<int64_t>(350008 + big.size()));
  for (uint32_t i = 0; i < 50000; ++i) {
    ASSERT_EQ(reader.ReadU8(), static_cast<uint8_t>(i));
    ASSERT_EQ(reader.ReadU16(), static_cast<uint16_t>(i * 3));
    ASSERT_EQ(reader.ReadU32(), i * 0x01010101u);
  }
  EXPECT_EQ(reader.ReadU64(), 0x0102030405060708ull);
  EXPECT_EQ(faulty.Calls(FaultOp::kRead), 6);  // ceil(350008 / 65536)
  std::string rest(big.size(), '\0');
  reader.Read(rest.data(), rest.size());
  EXPECT_TRUE(rest == big);
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
  const CallerFile file(dir.File("f"));
  Platform& system = SystemPlatform();
  ASSERT_EQ(system.Seek(file.native(), 7, kFromBegin), 7);
  TFileStream stream(file.native());
  StreamReader reader(stream);
  ASSERT_EQ(reader.Position(), 7);
  std::mt19937 random(12345);
  std::string out;
  for (int step = 0; step < 3000; ++step) {
    const int64_t at = reader.Position();
    const uint32_t kind = random() % 7;
    if (kind == 6) {
      ASSERT_TRUE(reader.SyncPosition());
      ASSERT_EQ(system.Seek(file.native(), 0, kFromCurrent), at);
    } else if (kind == 0) {
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
  EXPECT_EQ(system.Seek(file.native(), 0, kFromCurrent), reader.Position());
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
    std::filesystem::resize_file(dir.File("f"), 1000);  // after the reader took the size
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
