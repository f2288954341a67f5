#include "storage/streams/mem_ref_stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

namespace kestron4 {
namespace {

TEST(MemRefStream, ReadStopsExactlyAtTheEnd) {
  char block[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  TMemRefStream stream(block, sizeof block);
  ASSERT_TRUE(stream.Seek(8, kSeekBegin));
  char out[3] = {};
  EXPECT_THROW(stream.Read(out, 3), EReadError);
  EXPECT_EQ(stream.GetPosition(), 8);
  stream.Read(out, 2);
  EXPECT_EQ(out[0], 8);
  EXPECT_EQ(out[1], 9);
  EXPECT_EQ(stream.GetPosition(), 10);
  stream.Read(out, 0);
  EXPECT_THROW(stream.Read(out, 1), EReadError);
  EXPECT_THROW(stream.Read(out, -1), EReadError);
  EXPECT_THROW(stream.Read(out, std::numeric_limits<int64_t>::max()), EReadError);
  try {
    stream.Read(out, 1);
  } catch (const std::ios_base::failure& e) {
    EXPECT_NE(std::string(e.what()).find("Failed to read from stream"), std::string::npos);
    EXPECT_EQ(e.code(), std::io_errc::stream);
  }
}

TEST(MemRefStream, SeekAcceptsOnlyTargetsInsideTheBlock) {
  char block[10] = {};
  TMemRefStream stream(block, sizeof block);
  EXPECT_TRUE(stream.Seek(0, kSeekEnd));
  EXPECT_EQ(stream.GetPosition(), 10);
  EXPECT_FALSE(stream.Seek(1, kSeekEnd));
  EXPECT_FALSE(stream.Seek(-11, kSeekEnd));
  EXPECT_TRUE(stream.Seek(-10, kSeekEnd));
  EXPECT_EQ(stream.GetPosition(), 0);
  EXPECT_TRUE(stream.Seek(4, kSeekCurrent));
  EXPECT_TRUE(stream.Seek(-1, kSeekCurrent));
  EXPECT_EQ(stream.GetPosition(), 3);
  EXPECT_FALSE(stream.Seek(-4, kSeekCurrent));
  EXPECT_FALSE(stream.Seek(std::numeric_limits<int64_t>::max(), kSeekCurrent));
  EXPECT_FALSE(stream.Seek(11, kSeekBegin));
  // An unknown origin is accepted and moves nothing.
  EXPECT_TRUE(stream.Seek(5, 7));
  EXPECT_EQ(stream.GetPosition(), 3);
}

TEST(MemRefStream, WritePastTheEndThrowsAndWritesNothing) {
  char block[4] = {'a', 'b', 'c', 'd'};
  TMemRefStream stream(block, sizeof block);
  stream.Seek(2, kSeekBegin);
  EXPECT_THROW(stream.Write("XYZ", 3), EWriteError);
  EXPECT_EQ(std::memcmp(block, "abcd", 4), 0);
  EXPECT_EQ(stream.GetSize(), 4);
  stream.Write("XY", 2);
  EXPECT_EQ(std::memcmp(block, "abXY", 4), 0);
  EXPECT_THROW(stream.Write("X", -1), EWriteError);

  const char fixed[4] = {'a', 'b', 'c', 'd'};
  TMemRefStream read_only(static_cast<const void*>(fixed), sizeof fixed);
  EXPECT_THROW(read_only.Write("X", 1), EWriteError);
  EXPECT_EQ(read_only.GetPosition(), 0);
}

TEST(MemRefStream, CloneSharesTheBlockButNotThePosition) {
  char block[6] = {'0', '1', '2', '3', '4', '5'};
  TMemRefStream stream(block, sizeof block);
  stream.Seek(2, kSeekBegin);
  const auto clone = stream.Clone();
  EXPECT_EQ(clone->GetPosition(), 2);
  EXPECT_EQ(clone->GetSize(), 6);
  char c;
  clone->Read(&c, 1);
  EXPECT_EQ(c, '2');
  EXPECT_EQ(stream.GetPosition(), 2);
  clone->Write("!", 1);
  EXPECT_EQ(block[3], '!');

  TMemRefStream read_only(static_cast<const void*>(block), sizeof block);
  EXPECT_THROW(read_only.Clone()->Write("x", 1), EWriteError);
}

}  // namespace
}  // namespace kestron4
