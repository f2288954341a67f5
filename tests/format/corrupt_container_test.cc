// Damaged and hostile containers: each is refused with code 1, allocates no
// more than the input can back, and leaves a tree that can be used, saved
// and closed.
#include <gtest/gtest.h>

#include "container_test_util.h"

namespace kestron4 {
namespace {

using testing::Bytes;
using testing::LoadBytes;
using testing::SavedBytes;

// A block nested depth levels below the root, each level one item of TID 9.
std::string Chain(uint32_t depth) {
  Bytes file;
  file.Header().U32(0);
  for (uint32_t i = 0; i < depth; ++i) file.U16(9).U16(1).U16(0).U32(0);
  return file.U16(0).s;
}

TEST(CorruptContainer, GoldenSetIsRefusedCleanly) {
  Bytes manyCounts;
  manyCounts.Header().U32(0);
  for (int i = 0; i < 2000; ++i) manyCounts.U16(static_cast<Tid>(100 + i % 500)).U16(65535);
  const std::pair<const char*, std::string> golden[] = {
      {"header only", Bytes().Header().s},
      {"no end marker", Bytes().Header().U32(2).s},
      {"value cut", Bytes().Header().U32(0).U16(1003).Raw("ab").s},
      {"item entry cut", Bytes().Header().U32(0).U16(100).U8(1).s},
      {"child missing", Bytes().Header().U32(0).U16(100).U16(1).U16(0).s},
      {"count beyond blocks", Bytes().Header().U32(0).U16(100).U16(3).U16(0).Fill(12, 0).s},
      {"huge counts", manyCounts.U16(0).Fill(4096, 0).s},
      {"string past end", Bytes().Header().U32(0).U16(2000).U8(255).Fill(10, 'x').s},
      {"long string past end", Bytes().Header().U32(0).U16(4000).U16(65535).Fill(99, 'x').s},
      {"blob past end", Bytes().Header().U32(0).U16(1066).U32(~0u).U16(1063).Fill(99, 'x').s},
      {"second block cut", Bytes().Header().U32(0).U16(100).U16(2).U16(0).U32(2).U16(0)
                               .U32(0).U16(1066).U32(50).U16(1063).Fill(49, 'x').s},
      {"nested too deep", Chain(SessionCore::kMaxDepth + 1)},
  };
  for (const auto& [name, bytes] : golden) {
    SCOPED_TRACE(name);
    ErrorCode code = 99;
    auto s = LoadBytes(bytes, &code);
    EXPECT_EQ(code, ErrFileAccess);
    EXPECT_TRUE(testing::SizesConsistent(*s));
    // What was read is a tree like any other: it saves and loads back.
    const std::string saved = SavedBytes(*s);
    EXPECT_EQ(saved.size(), s->SessionSize());
    auto t = LoadBytes(saved, &code);
    EXPECT_EQ(code, ErrNone);
    EXPECT_TRUE(testing::SameTree(*s, *t));
  }
  // A count that the input cannot back creates no block at all; a block cut
  // short stays, and navigation sees exactly the blocks that exist.
  ErrorCode code = 99;
  EXPECT_EQ(LoadBytes(golden[5].second, &code)->root()->firstItem->blocks.size(), 0u);
  auto cut = LoadBytes(golden[10].second, &code);
  EXPECT_EQ(cut->GetItemCount(100), 2);
  EXPECT_EQ(cut->OpenItem(100, 1), ErrNone);
  EXPECT_EQ(cut->NextItem(), ErrPastLastBlock);
  EXPECT_EQ(cut->current()->valueCount, 1u);  // the 1066 before the cut blob
  // The deepest nesting allowed loads, and is walked without recursion.
  auto deep = LoadBytes(Chain(SessionCore::kMaxDepth), &code);
  ASSERT_EQ(code, ErrNone);
  ItemBlock* deepest = deep->root();
  while (deepest->firstItem != nullptr) deepest = deepest->firstItem->blocks[0];
  EXPECT_EQ(SessionCore::DepthOf(deepest), SessionCore::kMaxDepth);
  EXPECT_EQ(SavedBytes(*deep).size(), Chain(SessionCore::kMaxDepth).size());
}

TEST(CorruptContainer, TruncationsAndRandomDamage) {
  auto s = testing::NewMemSession();
  std::mt19937 rng(7);
  testing::BuildRandomTree(*s, rng, 2);
  s->GotoRoot();
  s->InsertItemBlocks(300, 2);
  const std::string whole = SavedBytes(*s);
  ASSERT_GT(whole.size(), 300u);
  for (std::size_t n = 0; n < whole.size(); ++n) {
    ErrorCode code = 99;
    auto t = LoadBytes(whole.substr(0, n), &code);
    ASSERT_EQ(code, ErrFileAccess) << n;
    ASSERT_TRUE(testing::SizesConsistent(*t)) << n;
  }
  for (int round = 0; round < 300; ++round) {
    std::string damaged = whole;
    for (int k = 0; k < 4; ++k)
      damaged[23 + rng() % (damaged.size() - 23)] = static_cast<char>(rng());
    ErrorCode code = 99;
    auto t = LoadBytes(damaged, &code);
    ASSERT_TRUE(code == ErrNone || code == ErrFileAccess) << code;
    ASSERT_TRUE(testing::SizesConsistent(*t));
    ASSERT_EQ(SavedBytes(*t).size(), t->SessionSize());
  }
}

}  // namespace
}  // namespace kestron4
