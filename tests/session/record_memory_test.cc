// The memory a load fills: a pool hands out a chunk sized for a load in
// address order and reuses released records first; a large block reads as
// zeros and starts on a large page, so that whole large pages fit in it.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "session/pool.h"
#include "storage/platform/large_block.h"

namespace kestron4 {
namespace {

struct Record {
  uint64_t words[6];
};

TEST(RecordPool, ASizedChunkIsHandedOutInOrderAfterReleasedRecords) {
  Pool<Record> pool;
  Record* first = pool.New();
  constexpr std::size_t kSized = 3 * kLargePageBytes / sizeof(Record);
  pool.Delete(first);
  pool.SizeNextChunk(kSized);
  std::vector<Record*> records;
  records.push_back(pool.New());  // the released one comes back first
  EXPECT_EQ(records[0], first);
  for (std::size_t i = 0; i < Pool<Record>::kChunkRecords - 1 + kSized; ++i)
    records.push_back(pool.New());
  EXPECT_EQ(pool.chunks(), 2u);  // the first chunk, then the sized one
  for (std::size_t i = Pool<Record>::kChunkRecords + 1; i < records.size(); ++i)
    ASSERT_EQ(records[i], records[i - 1] + 1);
  records.push_back(pool.New());  // past the sized chunk: an ordinary one
  EXPECT_EQ(pool.chunks(), 3u);
  for (Record* r : records) pool.Delete(r);
  EXPECT_EQ(pool.live(), 0u);
}

TEST(LargeBlock, ReadsAsZerosAndStartsOnItsBoundary) {
  const std::size_t bytes = 2 * kLargePageBytes + 12345;
  auto* block = static_cast<uint8_t*>(AllocateLargeBlock(bytes));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % kLargeBlockAlignment, 0u);
  for (std::size_t i = 0; i < bytes; i += 4096) ASSERT_EQ(block[i], 0);
  EXPECT_EQ(block[bytes - 1], 0);
  block[0] = block[bytes - 1] = 0x5A;
  FreeLargeBlock(block, bytes);
  EXPECT_EQ(AllocateLargeBlock(0), nullptr);
}

}  // namespace
}  // namespace kestron4
