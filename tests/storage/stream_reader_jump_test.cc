// A reader that jumps over large values (as the loader of a file-backed
// session does) asks its stream for the records after them, not for a whole
// buffer behind each one.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "storage/streams/mem_ref_stream.h"
#include "storage/streams/stream_reader.h"

namespace kestron4 {
namespace {

// Passes reads on and counts the bytes asked for. Not a TMemRefStream, so
// the reader buffers it like a file.
class CountingStream : public TStream {
 public:
  explicit CountingStream(const std::string& bytes) : inner_(bytes.data(), bytes.size()) {}
  std::unique_ptr<TStream> Clone() override { return inner_.Clone(); }
  bool Seek(int64_t offset, uint32_t origin) override { return inner_.Seek(offset, origin); }
  void Read(void* destination, int64_t count) override {
    asked_ += count;
    inner_.Read(destination, count);
  }
  void Write(const void* source, int64_t count) override { inner_.Write(source, count); }
  int64_t GetSize() override { return inner_.GetSize(); }
  int64_t GetPosition() override { return inner_.GetPosition(); }
  int64_t asked() const { return asked_; }

 private:
  TMemRefStream inner_;
  int64_t asked_ = 0;
};

TEST(StreamReaderJumps, ReadOnlyAPieceAfterEachJump) {
  std::string bytes(4 << 20, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i % 251);
  CountingStream stream(bytes);
  StreamReader reader(stream);
  int records = 0;
  while (reader.Remaining() > 100) {
    uint8_t record[100];
    const int64_t at = reader.Position();
    reader.Read(record, sizeof record);
    ASSERT_EQ(record[99], static_cast<uint8_t>((at + 99) % 251));
    ++records;
    reader.Skip(std::min<int64_t>(100 * 1024, reader.Remaining()));
  }
  EXPECT_EQ(records, 41);
  // The first fill is a whole buffer; every one after a jump a small piece.
  EXPECT_LE(stream.asked(), int64_t{StreamReader::kBufferSize} +
                                (records - 1) * int64_t{StreamReader::kJumpFillSize});

  // Reading on in sequence fills whole buffers again.
  reader.Seek(10);
  const int64_t before = stream.asked();
  std::string run(300 * 1024, '\0');
  reader.Read(run.data(), 1);
  reader.Read(run.data() + 1, 60 * 1024);
  EXPECT_TRUE(run.compare(0, 60 * 1024 + 1, bytes, 10, 60 * 1024 + 1) == 0);
  EXPECT_LE(stream.asked() - before, 2 * int64_t{StreamReader::kBufferSize});
  EXPECT_GE(stream.asked() - before, 60 * 1024);
}

}  // namespace
}  // namespace kestron4
