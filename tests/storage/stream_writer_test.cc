#include "storage/streams/stream_writer.h"

#include <gtest/gtest.h>

#include <string>

#include "storage/platform/platform.h"
#include "storage/streams/file_stream.h"
#include "storage/streams/mem_ref_stream.h"
#include "storage/streams/stream_reader.h"
#include "support/faulty_platform.h"
#include "support/scratch_dir.h"

namespace kestron4 {
namespace {

TEST(StreamWriter, SmallValuesGoOutInWholeBuffers) {
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
      for (int b = 0; b < 4; ++b)
        expected.push_back(static_cast<char>((i * 0x01010101u) >> (8 * b)));
    }
    out.WriteU64(0x0102030405060708ull);
    expected += std::string("\x08\x07\x06\x05\x04\x03\x02\x01", 8);
    // A piece larger than the buffer, not aligned to it.
    const std::string big(150001, 'b');
    out.Write(big.data(), big.size());
    expected += big;
    out.Flush();
    EXPECT_EQ(out.BytesWritten(), expected.size());
  }
  EXPECT_EQ(ReadWholeFile(dir.File("f")), expected);
  // 350008 small bytes fill 5 whole buffers and part of a sixth; the big
  // piece is written on its own after that part is flushed.
  EXPECT_EQ(faulty.Calls(FaultOp::kWrite), 7);
}

TEST(StreamWriter, FailureIsStickyAndNothingMoreIsWritten) {
  ScratchDir dir;
  FaultyPlatform faulty;
  ScopedPlatform use(faulty);
  TFileStream stream(dir.File("f"), ModeCreate);
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

TEST(StreamWriter, UnflushedBytesAreDropped) {
  ScratchDir dir;
  {
    TFileStream stream(dir.File("f"), ModeCreate);
    StreamWriter out(stream);
    out.Write("tail", 4);
  }
  EXPECT_EQ(ReadWholeFile(dir.File("f")), "");
}

TEST(StreamWriter, ValuesAreLittleEndianAndReadBack) {
  uint8_t block[15] = {};
  TMemRefStream stream(block, sizeof block);
  StreamWriter out(stream);
  out.WriteU8(0x01);
  out.WriteU16(0x1234);
  out.WriteU32(0x12345678);
  out.WriteU64(0x0123456789ABCDEFull);
  EXPECT_EQ(block[1], 0x34);
  EXPECT_EQ(block[7], 0xEF);
  stream.Seek(0, kSeekBegin);
  StreamReader in(stream);
  EXPECT_EQ(in.ReadU8(), 0x01);
  EXPECT_EQ(in.ReadU16(), 0x1234);
  EXPECT_EQ(in.ReadU32(), 0x12345678u);
  EXPECT_EQ(in.ReadU64(), 0x0123456789ABCDEFull);
}

TEST(StreamWriter, MemoryBlocksAreWrittenInPlaceAndNeverOverrun) {
  char block[8] = {};
  TMemRefStream stream(block, sizeof block);
  StreamWriter out(stream);
  out.WriteU32(0x64636261);
  EXPECT_EQ(std::string(block, 4), "abcd");  // no buffering in between
  EXPECT_THROW(out.Write("12345", 5), EWriteError);
  EXPECT_EQ(std::string(block, 8), std::string("abcd\0\0\0\0", 8));
  EXPECT_THROW(out.Write("1", 1), EWriteError);
  EXPECT_EQ(stream.GetPosition(), 4);
}

}  // namespace
}  // namespace kestron4
