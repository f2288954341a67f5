// Streams over a caller's memory block, and the buffered reader and writer
// working on one: never a byte outside the block, never a partial move.
#include "storage/streams/mem_ref_stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "storage/streams/stream_reader.h"
#include "storage/streams/stream_writer.h"

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
  for (const int64_t n : {int64_t{1}, int64_t{-1}, kHuge}) EXPECT_THROW(stream.Read(out, n), EReadError);
  try {
    stream.Read(out, 1);
  } catch (const std::ios_base::failure& e) {
    EXPECT_NE(std::string(e.what()).find("Failed to read from stream"), std::string::npos);
    EXPECT_EQ(e.code(), std::io_errc::stream);
  }
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

}  // namespace
}  // namespace kestron4
