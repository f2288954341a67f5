#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "api/scoped_session.h"
#include "kestron4/kestron4.h"
#include "session/records.h"

namespace kestron4 {
namespace {

// The current block and everything below it as text: values with their
// stored bytes, items with their blocks, in order. Recursive: for the small
// trees of these tests only.
std::string Dump(KSTRN_SessionHandle s) {
  std::string out = "{";
  uint16_t count = 0;
  EXPECT_TRUE(KSTRN_GetValueCount(&count, s));
  std::vector<uint16_t> tids(count);
  if (count != 0) KSTRN_GetValueList(tids.data(), s);
  for (const uint16_t tid : tids) {
    const auto* value = reinterpret_cast<const Value*>(KSTRN_GetValueHandle(tid, s));
    std::string bytes(value->size, '\0');
    EXPECT_TRUE(KSTRN_ReadValue(KSTRN_GetValueHandle(tid, s), 0, bytes.data(),
                                static_cast<uint32_t>(bytes.size()), s));
    out += std::to_string(tid) + "=" + std::to_string(bytes.size()) + ":" + bytes + ";";
  }
  EXPECT_TRUE(KSTRN_GetTypeCount(&count, s));
  tids.assign(count, 0);
  if (count != 0) KSTRN_GetTypeList(tids.data(), s);
  for (const uint16_t tid : tids) {
    uint16_t blocks = 0;
    KSTRN_GetItemCount(tid, &blocks, s);
    out += "[" + std::to_string(tid);
    for (int32_t k = 0; k < blocks; ++k) {
      EXPECT_TRUE(KSTRN_OpenItem(tid, k, s));
      out += Dump(s);
      KSTRN_CloseItem(s);
    }
    out += "]";
  }
  return out + "}";
}

// Root: a string, a long string, a fixed value and a blob; item 7 with two
// blocks, the second holding a nested item 8.
void BuildSample(KSTRN_SessionHandle s) {
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
}

bool SameBlock(uint32_t bookmark, KSTRN_SessionHandle s) {
  uint32_t here = 0;
  return KSTRN_AddBookMark(&here, s) && KSTRN_BookMarksEquivalent(bookmark, here, s);
}

TEST(CopyContentsTest, CopiesValuesAndTreeAfterExistingBlocks) {
  ScopedSession source, destination;
  BuildSample(source);
  ASSERT_TRUE(KSTRN_InsertValue(2001, "old", destination));
  ASSERT_TRUE(KSTRN_InsertValue(2003, "kept", destination));
  ASSERT_TRUE(KSTRN_InsertItemBlocks(7, 1, destination));
  ASSERT_TRUE(KSTRN_OpenItem(7, 0, destination));
  ASSERT_TRUE(KSTRN_InsertValue(2002, "existing", destination));
  const std::string existing = Dump(destination);
  ASSERT_TRUE(KSTRN_GotoRoot(destination));
  uint32_t sourceMark = 0, destinationMark = 0;
  ASSERT_TRUE(KSTRN_AddBookMark(&sourceMark, source));
  ASSERT_TRUE(KSTRN_AddBookMark(&destinationMark, destination));
  const std::string before = Dump(source);
  std::string sourceBlocks;
  for (int32_t k = 0; k < 2; ++k) {
    ASSERT_TRUE(KSTRN_OpenItem(7, k, source));
    sourceBlocks += Dump(source);
    ASSERT_TRUE(KSTRN_CloseItem(source));
  }

  KSTRN_DeleteValue(9999, destination);  // leaves 7 in the cell
  EXPECT_TRUE(KSTRN_CopyContents(source, destination));
  EXPECT_EQ(KSTRN_GetLastEE(), 0u);
  EXPECT_TRUE(SameBlock(sourceMark, source));
  EXPECT_TRUE(SameBlock(destinationMark, destination));
  EXPECT_EQ(Dump(source), before) << "the source is not changed";

  // 2001 overwritten in place, 2003 kept, the others appended in order.
  uint16_t count = 0;
  ASSERT_TRUE(KSTRN_GetValueCount(&count, destination));
  std::vector<uint16_t> tids(count);
  ASSERT_TRUE(KSTRN_GetValueList(tids.data(), destination));
  EXPECT_EQ(tids, (std::vector<uint16_t>{2001, 2003, 4001, 1018, 1066, 1063}));
  char text[16] = {};
  ASSERT_TRUE(KSTRN_GetValue(2001, text, destination));
  EXPECT_STREQ(text, "root text");
  ASSERT_TRUE(KSTRN_GetValue(1063, text, destination));
  EXPECT_EQ(std::string(text, 5), "blob!");

  // The copies of item 7 follow the block that was there.
  ASSERT_TRUE(KSTRN_GetItemCount(7, &count, destination));
  ASSERT_EQ(count, 3);
  std::string blocks;
  for (int32_t k = 0; k < 3; ++k) {
    ASSERT_TRUE(KSTRN_OpenItem(7, k, destination));
    blocks += Dump(destination);
    ASSERT_TRUE(KSTRN_CloseItem(destination));
  }
  EXPECT_EQ(blocks, existing + sourceBlocks);
}

TEST(CopyContentsTest, CopyBlocksAppendsOneBlockOfTheSameItem) {
  ScopedSession source, destination;
  BuildSample(source);
  ASSERT_TRUE(KSTRN_OpenItem(7, 1, source));
  const std::string block = Dump(source);
  EXPECT_TRUE(KSTRN_CopyBlocks(source, destination));
  EXPECT_TRUE(KSTRN_CopyBlocks(source, destination));
  EXPECT_EQ(KSTRN_GetLastEE(), 0u);
  EXPECT_EQ(Dump(destination), "{[7" + block + block + "]}");

  ScopedSession whole;
  ASSERT_TRUE(KSTRN_GotoRoot(source));
  EXPECT_TRUE(KSTRN_CopyBlocks(source, whole)) << "at the root: the root's contents";
  EXPECT_EQ(Dump(whole), Dump(source));
}

TEST(CopyContentsTest, CopyIntoTheSameSessionUsesASnapshot) {
  ScopedSession s;
  ASSERT_TRUE(KSTRN_InsertItemBlocks(7, 1, s));
  ASSERT_TRUE(KSTRN_OpenItem(7, 0, s));
  ASSERT_TRUE(KSTRN_InsertValue(2001, "x", s));
  ASSERT_TRUE(KSTRN_InsertItemBlocks(7, 1, s));
  ASSERT_TRUE(KSTRN_GotoRoot(s));
  ASSERT_TRUE(KSTRN_OpenItem(7, 0, s));
  const std::string block = Dump(s);
  ASSERT_TRUE(KSTRN_GotoRoot(s));

  EXPECT_TRUE(KSTRN_CopyContents(s, s));
  EXPECT_EQ(Dump(s), "{[7" + block + block + "]}");

  ASSERT_TRUE(KSTRN_OpenItem(7, 0, s));
  EXPECT_TRUE(KSTRN_CopyBlocks(s, s));
  uint16_t tid = 0;
  uint32_t index = 9;
  ASSERT_TRUE(KSTRN_GetParentTID(&tid, &index, s));
  EXPECT_EQ(index, 0u) << "the cursor stays on the block";
  ASSERT_TRUE(KSTRN_OpenItem(7, -1, s));
  EXPECT_EQ(Dump(s), block) << "the new last block of its own item 7 is the old block";
}

TEST(CopyContentsTest, DeepTreeCopiesWithoutRecursion) {
  ScopedSession source, destination;
  int depth = 0;
  for (; depth < 100000; ++depth) {
    if (!KSTRN_InsertItemBlocks(9, 1, source)) break;  // the session's depth limit
    ASSERT_TRUE(KSTRN_OpenItem(9, 0, source));
    if (depth % 100 == 0) {
      ASSERT_TRUE(KSTRN_InsertValue(1018, &depth, source));
    }
  }
  ASSERT_GE(depth, 1024);
  ASSERT_TRUE(KSTRN_GotoRoot(source));
  EXPECT_TRUE(KSTRN_CopyContents(source, destination));

  int copied = 0;
  for (; KSTRN_OpenItem(9, 0, destination); ++copied) {
    int32_t stored = -1;
    const bool has = KSTRN_GetValue(1018, &stored, destination);
    EXPECT_EQ(has, copied % 100 == 0) << copied;
    if (has) {
      EXPECT_EQ(stored, copied);
    }
  }
  EXPECT_EQ(copied, depth);
}

TEST(CopyContentsTest, BlobsCopyWholeOrNotAtAll) {
  ScopedSession source, destination;
  std::vector<uint8_t> big(200 * 1024 + 3);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 7);
  ASSERT_TRUE(KSTRN_InsertData(static_cast<uint32_t>(big.size()), big.data(), source));
  ASSERT_TRUE(KSTRN_InsertItemBlocks(7, 1, source));
  ASSERT_TRUE(KSTRN_OpenItem(7, 0, source));
  // A size value that promises more than the blob holds.
  ASSERT_TRUE(KSTRN_AllocData(10, source));
  const uint32_t lie = 1000000000;
  ASSERT_TRUE(KSTRN_InsertValue(1066, &lie, source));
  ASSERT_TRUE(KSTRN_InsertValue(2001, "after", source));
  ASSERT_TRUE(KSTRN_GotoRoot(source));

  EXPECT_TRUE(KSTRN_CopyContents(source, destination));
  std::vector<uint8_t> copy(big.size());
  uint32_t size = 0;
  ASSERT_TRUE(KSTRN_GetValSize(1063, &size, destination));
  ASSERT_EQ(size, big.size());
  ASSERT_TRUE(KSTRN_GetValue(1063, copy.data(), destination));
  EXPECT_EQ(copy, big);

  ASSERT_TRUE(KSTRN_OpenItem(7, 0, destination));
  EXPECT_EQ(KSTRN_GetValueHandle(1063, destination), nullptr) << "the broken blob is skipped";
  char text[8] = {};
  EXPECT_TRUE(KSTRN_GetValue(2001, text, destination)) << "the rest of the block is copied";
  EXPECT_STREQ(text, "after");
}

TEST(CopyContentsTest, EmptyValuesStayEmpty) {
  ScopedSession source, destination;
  ASSERT_TRUE(KSTRN_InsertValue(2001, nullptr, source));  // a new string value, no bytes
  ASSERT_TRUE(KSTRN_InsertValue(2001, "old", destination));
  EXPECT_TRUE(KSTRN_CopyContents(source, destination));
  uint32_t size = 99;
  ASSERT_TRUE(KSTRN_GetValSize(2001, &size, destination));
  EXPECT_EQ(size, 0u);
}

}  // namespace
}  // namespace kestron4
