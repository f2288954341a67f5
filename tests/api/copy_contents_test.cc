#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "api/scoped_session.h"
#include "kestron4/kestron4.h"

namespace kestron4 {
namespace {

using H = KSTRN_SessionHandle;

// The current block and everything below it, as stored bytes.
std::string Dump(H s) {
  std::string bytes(KSTRN_SerializeItemSize(s), '\0');
  EXPECT_TRUE(KSTRN_SerializeItem(bytes.data(), static_cast<uint32_t>(bytes.size()), s));
  return bytes;
}
std::string DumpBlock(H s, uint16_t tid, int32_t index) {
  EXPECT_TRUE(KSTRN_OpenItem(tid, index, s));
  const std::string dump = Dump(s);
  KSTRN_CloseItem(s);
  return dump;
}

// Root: a string, a long string, a fixed value and a blob; item 7 with two
// blocks, the second holding a nested item 8; item 9 with two blocks.
void BuildSample(H s) {
  const uint32_t fixed = 0xA1B2C3D4;
  ASSERT_TRUE(KSTRN_InsertValue(2001, "root text", s));
  ASSERT_TRUE(KSTRN_InsertValueS(4001, "long text", 0, s));
  ASSERT_TRUE(KSTRN_InsertValue(1018, &fixed, s));
  ASSERT_TRUE(KSTRN_InsertData(5, "blob!", s));
  ASSERT_TRUE(KSTRN_InsertItemBlocks(7, 2, s));
  ASSERT_TRUE(KSTRN_OpenItem(7, 0, s));
  ASSERT_TRUE(KSTRN_InsertStringUTF8(2002, "first", s));
  ASSERT_TRUE(KSTRN_NextItem(s));
  ASSERT_TRUE(KSTRN_InsertValue(2002, "second", s));
  ASSERT_TRUE(KSTRN_InsertItemBlocks(8, 1, s));
  ASSERT_TRUE(KSTRN_OpenItem(8, 0, s));
  ASSERT_TRUE(KSTRN_InsertData(3, "xyz", s));
  ASSERT_TRUE(KSTRN_GotoRoot(s));
  ASSERT_TRUE(KSTRN_InsertItemBlocks(9, 2, s));  // a second item with its own blocks
  ASSERT_TRUE(KSTRN_OpenItem(9, 1, s));
  ASSERT_TRUE(KSTRN_InsertValue(2002, "nine", s));
  ASSERT_TRUE(KSTRN_GotoRoot(s));
}

TEST(CopyContentsTest, MergesValuesAndAppendsBlocksLeavingCursorsAndSource) {
  ScopedSession source, destination;
  BuildSample(source);
  ASSERT_TRUE(KSTRN_InsertValue(2001, "old", destination));
  ASSERT_TRUE(KSTRN_InsertValue(2003, "kept", destination));
  ASSERT_TRUE(KSTRN_InsertItemBlocks(7, 1, destination));
  ASSERT_TRUE(KSTRN_OpenItem(7, 0, destination));
  ASSERT_TRUE(KSTRN_InsertValue(2002, "existing", destination));
  ASSERT_TRUE(KSTRN_GotoRoot(destination));
  const std::string existing = DumpBlock(destination, 7, 0), before = Dump(source);
  uint32_t marks[2] = {0, 0}, here = 0;
  ASSERT_TRUE(KSTRN_AddBookMark(&marks[0], source) && KSTRN_AddBookMark(&marks[1], destination));
  KSTRN_DeleteValue(9999, destination);  // leaves 7 in the cell
  EXPECT_TRUE(KSTRN_CopyContents(source, destination));
  EXPECT_EQ(KSTRN_GetLastEE(), 0u);
  EXPECT_EQ(Dump(source), before);
  for (H s : {source.get(), destination.get()}) {
    EXPECT_TRUE(KSTRN_AddBookMark(&here, s) &&
                KSTRN_BookMarksEquivalent(marks[s != source], here, s));
  }
  // 2001 overwritten in place, 2003 kept, the others appended in order.
  uint16_t tids[6] = {};
  ASSERT_TRUE(KSTRN_GetValueList(tids, destination));
  EXPECT_EQ(std::vector<uint16_t>(tids, tids + 6),
            (std::vector<uint16_t>{2001, 2003, 4001, 1018, 1066, 1063}));
  char text[16] = {};
  ASSERT_TRUE(KSTRN_GetValue(2001, text, destination));
  EXPECT_STREQ(text, "root text");
  // The copies of item 7 follow the block that was there.
  uint16_t count = 0;
  ASSERT_TRUE(KSTRN_GetItemCount(7, &count, destination));
  ASSERT_EQ(count, 3);
  EXPECT_EQ(DumpBlock(destination, 7, 0), existing);
  EXPECT_EQ(DumpBlock(destination, 7, 1), DumpBlock(source, 7, 0));
  EXPECT_EQ(DumpBlock(destination, 7, 2), DumpBlock(source, 7, 1));
  for (const int32_t k : {0, 1}) EXPECT_EQ(DumpBlock(destination, 9, k), DumpBlock(source, 9, k));
}

TEST(CopyContentsTest, CopyBlocksAppendsTheBlockOrTheRoot) {
  ScopedSession source, destination, whole;
  BuildSample(source);
  const std::string block = DumpBlock(source, 7, 1);
  ASSERT_TRUE(KSTRN_OpenItem(7, 1, source));
  EXPECT_TRUE(KSTRN_CopyBlocks(source, destination));
  EXPECT_TRUE(KSTRN_CopyBlocks(source, destination));
  EXPECT_EQ(KSTRN_GetLastEE(), 0u);
  uint16_t count = 0;
  ASSERT_TRUE(KSTRN_GetTypeCount(&count, destination) && count == 1);
  ASSERT_TRUE(KSTRN_GetItemCount(7, &count, destination) && count == 2);
  EXPECT_EQ(DumpBlock(destination, 7, 0), block);
  EXPECT_EQ(DumpBlock(destination, 7, 1), block);
  ASSERT_TRUE(KSTRN_GotoRoot(source));
  EXPECT_TRUE(KSTRN_CopyBlocks(source, whole));
  EXPECT_EQ(Dump(whole), Dump(source));
}

// Copying a session into itself must read a snapshot, not what it writes.
TEST(CopyContentsTest, CopyIntoTheSameSession) {
  ScopedSession s;
  ASSERT_TRUE(KSTRN_InsertItemBlocks(7, 1, s));
  ASSERT_TRUE(KSTRN_OpenItem(7, 0, s));
  ASSERT_TRUE(KSTRN_InsertValue(2001, "x", s));
  ASSERT_TRUE(KSTRN_InsertItemBlocks(7, 1, s));
  ASSERT_TRUE(KSTRN_GotoRoot(s));
  const std::string block = DumpBlock(s, 7, 0);
  EXPECT_TRUE(KSTRN_CopyContents(s, s));
  uint16_t count = 0;
  ASSERT_TRUE(KSTRN_GetItemCount(7, &count, s));
  EXPECT_EQ(count, 2);
  EXPECT_EQ(DumpBlock(s, 7, 1), block);
  ASSERT_TRUE(KSTRN_OpenItem(7, 0, s));
  EXPECT_TRUE(KSTRN_CopyBlocks(s, s));
  uint16_t tid = 0;
  uint32_t index = 9;
  ASSERT_TRUE(KSTRN_GetParentTID(&tid, &index, s));
  EXPECT_EQ(index, 0u);  // the cursor stays on the block
  EXPECT_EQ(DumpBlock(s, 7, -1), block);
}

TEST(CopyContentsTest, DeepTreeCopiesWithoutRecursion) {
  ScopedSession source, destination;
  int depth = 0;
  for (; depth < 100000 && KSTRN_InsertItemBlocks(9, 1, source); ++depth) {  // to the limit
    ASSERT_TRUE(KSTRN_OpenItem(9, 0, source));
    ASSERT_TRUE(KSTRN_InsertValue(1018, &depth, source));
  }
  ASSERT_GE(depth, 1024);
  ASSERT_TRUE(KSTRN_GotoRoot(source));
  EXPECT_TRUE(KSTRN_CopyContents(source, destination));
  int copied = 0;
  for (int32_t stored = -1; KSTRN_OpenItem(9, 0, destination); ++copied) {
    EXPECT_TRUE(KSTRN_GetValue(1018, &stored, destination));
    EXPECT_EQ(stored, copied);
  }
  EXPECT_EQ(copied, depth);
}

// A blob bigger than any copy buffer arrives whole; one whose size value
// lies is skipped, the rest of its block still copied; an empty value stays
// empty.
TEST(CopyContentsTest, BlobsCopyWholeOrNotAtAll) {
  ScopedSession source, destination;
  std::vector<uint8_t> big(200 * 1024 + 3), copy(big.size());
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7);
  ASSERT_TRUE(KSTRN_InsertData(static_cast<uint32_t>(big.size()), big.data(), source));
  ASSERT_TRUE(KSTRN_InsertValue(2002, nullptr, source));
  ASSERT_TRUE(KSTRN_InsertValue(2002, "old", destination));
  ASSERT_TRUE(KSTRN_InsertItemBlocks(7, 1, source));
  ASSERT_TRUE(KSTRN_OpenItem(7, 0, source));
  ASSERT_TRUE(KSTRN_AllocData(10, source));
  const uint32_t lie = 1000000000;
  ASSERT_TRUE(KSTRN_InsertValue(1066, &lie, source));
  ASSERT_TRUE(KSTRN_InsertValue(2001, "after", source));
  ASSERT_TRUE(KSTRN_GotoRoot(source));
  EXPECT_TRUE(KSTRN_CopyContents(source, destination));
  uint32_t size = 0;
  ASSERT_TRUE(KSTRN_GetValSize(1063, &size, destination));
  ASSERT_EQ(size, big.size());
  ASSERT_TRUE(KSTRN_GetValue(1063, copy.data(), destination));
  EXPECT_EQ(copy, big);
  ASSERT_TRUE(KSTRN_GetValSize(2002, &size, destination));
  EXPECT_EQ(size, 0u);
  ASSERT_TRUE(KSTRN_OpenItem(7, 0, destination));
  EXPECT_EQ(KSTRN_GetValueHandle(1063, destination), nullptr);
  char text[8] = {};
  EXPECT_TRUE(KSTRN_GetValue(2001, text, destination));
  EXPECT_STREQ(text, "after");
}

// Values the destination holds are overwritten in place, also those of
// TIDs without a layout (no bytes): repeated copies keep the value order.
TEST(CopyContentsTest, RepeatedCopiesKeepTheDestinationsValueOrder) {
  for (const auto copy : {&KSTRN_CopyContents, &KSTRN_CopyBlocks}) {
    ScopedSession source, destination;
    ASSERT_TRUE(KSTRN_InsertValue(1169, "\0", source) && KSTRN_InsertValue(6000, "x\0", source));
    ASSERT_TRUE(KSTRN_InsertValue(1499, "\0", destination));
    uint16_t tids[8] = {};
    for (int round = 0; round < 2; ++round) {
      ASSERT_TRUE(copy(source, destination));
      KSTRN_GetValueList(tids, destination);
      EXPECT_EQ(std::vector<uint16_t>(tids, tids + 3), (std::vector<uint16_t>{1499, 1169, 6000}));
    }
  }
}

}  // namespace
}  // namespace kestron4
