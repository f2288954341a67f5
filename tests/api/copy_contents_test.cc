#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "api/scoped_session.h"
#include "kestron4/kestron4.h"

namespace kestron4 {
namespace {

using H = KSTRN_SessionHandle;

// The current block and everything below it as text: values with their
// stored bytes, items with their blocks, in order (recursive: small trees).
std::string Dump(H s) {
  std::string out = "{";
  uint16_t count = 0;
  KSTRN_GetValueCount(&count, s);
  std::vector<uint16_t> tids(count);
  if (count != 0) KSTRN_GetValueList(tids.data(), s);
  for (const uint16_t tid : tids) {
    uint32_t size = 0;
    KSTRN_GetValSize(tid, &size, s);
    std::string bytes(size, '\0');
    EXPECT_TRUE(KSTRN_GetValue(tid, bytes.data(), s));
    out += std::to_string(tid) + "=" + bytes + ";";
  }
  KSTRN_GetTypeCount(&count, s);
  tids.assign(count, 0);
  if (count != 0) KSTRN_GetTypeList(tids.data(), s);
  for (const uint16_t tid : tids) {
    uint16_t blocks = 0;
    KSTRN_GetItemCount(tid, &blocks, s);
    out += "[" + std::to_string(tid);
    for (int32_t k = 0; k < blocks && KSTRN_OpenItem(tid, k, s); ++k, KSTRN_CloseItem(s))
      out += Dump(s);
    out += "]";
  }
  return out + "}";
}
std::string DumpBlock(H s, uint16_t tid, int32_t index) {
  EXPECT_TRUE(KSTRN_OpenItem(tid, index, s));
  const std::string dump = Dump(s);
  KSTRN_CloseItem(s);
  return dump;
}

// Root: a string, a long string, a fixed value and a blob; item 7 with two
// blocks, the second holding a nested item 8.
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
}

TEST(CopyContentsTest, MergesValuesAndAppendsBlocksLeavingCursorsAndSource) {
  ScopedSession source, destination;
  BuildSample(source);
  ASSERT_TRUE(KSTRN_InsertValue(2001, "old", destination));
  ASSERT_TRUE(KSTRN_InsertValue(2003, "kept", destination));
  ASSERT_TRUE(KSTRN_InsertItemBlocks(7, 1, destination));
  const std::string existing = DumpBlock(destination, 7, 0);
  uint32_t marks[2] = {0, 0}, here = 0;
  ASSERT_TRUE(KSTRN_AddBookMark(&marks[0], source) && KSTRN_AddBookMark(&marks[1], destination));
  const std::string before = Dump(source);
  KSTRN_DeleteValue(9999, destination);  // leaves 7 in the cell
  EXPECT_TRUE(KSTRN_CopyContents(source, destination));
  EXPECT_EQ(KSTRN_GetLastEE(), 0u);
  EXPECT_EQ(Dump(source), before);
  for (int i = 0; i < 2; ++i) {
    H s = i == 0 ? source.get() : destination.get();
    EXPECT_TRUE(KSTRN_AddBookMark(&here, s) && KSTRN_BookMarksEquivalent(marks[i], here, s));
  }
  // 2001 overwritten in place, 2003 kept, the rest appended in order; the
  // copies of item 7 follow the block that was there.
  std::string values = Dump(source).substr(0, Dump(source).find('['));
  values.insert(values.find(';') + 1, std::string("2003=kept\0;", 11));
  EXPECT_EQ(Dump(destination).substr(0, values.size() + 1), values + "[");
  uint16_t count = 0;
  ASSERT_TRUE(KSTRN_GetItemCount(7, &count, destination));
  ASSERT_EQ(count, 3);
  EXPECT_EQ(DumpBlock(destination, 7, 0), existing);
  EXPECT_EQ(DumpBlock(destination, 7, 1) + DumpBlock(destination, 7, 2),
            DumpBlock(source, 7, 0) + DumpBlock(source, 7, 1));
}

TEST(CopyContentsTest, CopyBlocksAppendsTheBlockOrTheRoot) {
  ScopedSession source, destination, whole;
  BuildSample(source);
  const std::string block = DumpBlock(source, 7, 1);
  ASSERT_TRUE(KSTRN_OpenItem(7, 1, source));
  EXPECT_TRUE(KSTRN_CopyBlocks(source, destination));
  EXPECT_TRUE(KSTRN_CopyBlocks(source, destination));
  EXPECT_EQ(KSTRN_GetLastEE(), 0u);
  EXPECT_EQ(Dump(destination), "{[7" + block + block + "]}");
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
  EXPECT_EQ(Dump(s), "{[7" + block + block + "]}");
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
    EXPECT_EQ(KSTRN_GetValue(1018, &stored, destination), copied % 100 == 0) << copied;
    EXPECT_EQ(stored, copied % 100 == 0 ? copied : -1);
  }
  EXPECT_EQ(copied, depth);
}

// A blob bigger than any copy buffer arrives whole; one whose size value
// lies is skipped, the rest of its block still copied; an empty value stays
// empty.
TEST(CopyContentsTest, BlobsCopyWholeOrNotAtAll) {
  ScopedSession source, destination;
  std::vector<uint8_t> big(200 * 1024 + 3);
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
  std::vector<uint8_t> copy(big.size());
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

}  // namespace
}  // namespace kestron4
