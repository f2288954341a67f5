// Hostile and damaged containers: each is refused with code 1, allocates no
// more than the input can back, and leaves a tree that can be used, saved
// and closed.
#include <gtest/gtest.h>

#include <random>

#include "container_test_util.h"

namespace kestron4 {
namespace {

using testing::Bytes;
using testing::LoadBytes;
using testing::SavedBytes;

// Every block's count matches its blocks and every cached size is exact.
::testing::AssertionResult Consistent(SessionCore& s) {
  std::vector<ItemBlock*> stack{s.root()};
  while (!stack.empty()) {
    ItemBlock* b = stack.back();
    stack.pop_back();
    if (b->contentSize != SessionCore::ComputeContentSize(b))
      return ::testing::AssertionFailure() << "stale size";
    for (Item* i = b->firstItem; i != nullptr; i = i->next) {
      if (i->blockCount != i->blocks.size())
        return ::testing::AssertionFailure() << "count " << i->blockCount << " for "
                                             << i->blocks.size() << " blocks";
      stack.insert(stack.end(), i->blocks.begin(), i->blocks.end());
    }
  }
  return ::testing::AssertionSuccess();
}

// A block nested depth levels below the root, each level one item of TID 9.
std::string Chain(uint32_t depth) {
  Bytes file;
  file.Header().U32(0);
  for (uint32_t i = 0; i < depth; ++i) file.U16(9).U16(1).U16(0).U32(0);
  return file.U16(0).str();
}

struct Golden {
  const char* name;
  std::string bytes;
};

std::vector<Golden> GoldenSet() {
  return {
      {"header only", Bytes().Header().str()},
      {"size field cut", Bytes().Header().U16(2).str()},
      {"no end marker", Bytes().Header().U32(2).str()},
      {"value cut", Bytes().Header().U32(0).U16(1003).Raw("ab").str()},
      {"item entry cut", Bytes().Header().U32(0).U16(100).U8(1).str()},
      {"child missing", Bytes().Header().U32(0).U16(100).U16(1).U16(0).str()},
      {"block count beyond blocks",
       Bytes().Header().U32(0).U16(100).U16(3).U16(0).U32(2).U16(0).U32(2).U16(0).str()},
      {"huge block count", Bytes().Header().U32(0).U16(100).U16(65535).U16(0).Fill(64, 0).str()},
      {"many huge counts",
       [] {
         Bytes b;
         b.Header().U32(0);
         for (int i = 0; i < 2000; ++i) b.U16(static_cast<Tid>(100 + i % 500)).U16(65535);
         return b.U16(0).Fill(4096, 0).str();
       }()},
      {"short string past end", Bytes().Header().U32(0).U16(2000).U8(255).Fill(10, 'x').str()},
      {"long string past end", Bytes().Header().U32(0).U16(4000).U16(65535).Fill(100, 'x').str()},
      {"blob past end",
       Bytes().Header().U32(0).U16(1066).U32(0xFFFFFFFF).U16(1063).Fill(100, 'x').str()},
      {"blob cut in a child",
       Bytes().Header().U32(0).U16(100).U16(1).U16(0)
           .U32(0).U16(1066).U32(50).U16(1063).Fill(49, 'x').str()},
      {"nested too deep", Chain(SessionCore::kMaxDepth + 1)},
  };
}

TEST(CorruptContainer, GoldenSetIsRefusedCleanly) {
  for (const Golden& g : GoldenSet()) {
    SCOPED_TRACE(g.name);
    ErrorCode code = 99;
    auto s = LoadBytes(g.bytes, &code);
    EXPECT_EQ(code, ErrFileAccess);
    EXPECT_EQ(s->GetFileType(), 0);
    EXPECT_TRUE(Consistent(*s));
    // What was read is a tree like any other: it saves and loads back.
    const std::string saved = SavedBytes(*s);
    ASSERT_EQ(saved.size(), s->SessionSize());
    ErrorCode again = 99;
    auto t = LoadBytes(saved, &again);
    EXPECT_EQ(again, ErrNone);
    EXPECT_TRUE(testing::SameTree(*s, *t));
  }
}

TEST(CorruptContainer, ALyingCountCreatesNoBlocksItCannotRead) {
  ErrorCode code = 99;
  auto s = LoadBytes(
      Bytes().Header().U32(0).U16(100).U16(3).U16(0).U32(2).U16(0).U32(2).U16(0).str(), &code);
  ASSERT_EQ(code, ErrFileAccess);
  // Three blocks need at least 18 bytes; 12 are left, so none was made.
  ASSERT_NE(s->root()->firstItem, nullptr);
  EXPECT_EQ(s->root()->firstItem->blocks.size(), 0u);

  auto t = LoadBytes(Bytes().Header().U32(0).U16(100).U16(2).U16(0)
                         .U32(2).U16(0)                     // first block
                         .U32(9).U16(1003).Raw("ab").str(),  // second block, cut
                     &code);
  ASSERT_EQ(code, ErrFileAccess);
  // Both blocks exist as far as they were read; the count follows them.
  ASSERT_EQ(t->root()->firstItem->blocks.size(), 2u);
  EXPECT_EQ(t->GetItemCount(100), 2);
  EXPECT_EQ(t->root()->firstItem->blocks[1]->valueCount, 0u);
  EXPECT_EQ(t->OpenItem(100, 1), ErrNone);
  EXPECT_EQ(t->NextItem(), ErrPastLastBlock);
}

TEST(CorruptContainer, DepthLimitIsExact) {
  ErrorCode code = 99;
  auto s = LoadBytes(Chain(SessionCore::kMaxDepth), &code);
  ASSERT_EQ(code, ErrNone);
  ItemBlock* deepest = s->root();
  while (deepest->firstItem != nullptr) deepest = deepest->firstItem->blocks[0];
  EXPECT_EQ(SessionCore::DepthOf(deepest), SessionCore::kMaxDepth);
  // The writer walks as deep without recursion.
  EXPECT_EQ(SavedBytes(*s).size(), Chain(SessionCore::kMaxDepth).size());
}

TEST(CorruptContainer, EveryTruncationOfAValidFileIsRefused) {
  auto s = testing::NewMemSession();
  std::mt19937 rng(7);
  testing::BuildRandomTree(*s, rng, 0);
  s->GotoRoot();
  s->InsertItemBlocks(300, 2);  // at least one child record
  const std::string whole = SavedBytes(*s);
  ASSERT_FALSE(whole.empty());
  for (std::size_t n = 0; n < whole.size(); ++n) {
    ErrorCode code = 99;
    auto t = LoadBytes(whole.substr(0, n), &code);
    ASSERT_EQ(code, ErrFileAccess) << n;
    ASSERT_TRUE(Consistent(*t)) << n;
  }
}

TEST(CorruptContainer, RandomDamageNeverBreaksTheLoader) {
  auto s = testing::NewMemSession();
  std::mt19937 rng(11);
  testing::BuildRandomTree(*s, rng, 0);
  const std::string whole = SavedBytes(*s);
  for (int round = 0; round < 300; ++round) {
    std::string damaged = whole;
    for (int k = 0; k < 4; ++k)
      damaged[23 + rng() % (damaged.size() - 23)] = static_cast<char>(rng());
    ErrorCode code = 99;
    auto t = LoadBytes(damaged, &code);
    ASSERT_TRUE(code == ErrNone || code == ErrFileAccess) << code;
    ASSERT_TRUE(Consistent(*t));
    ASSERT_EQ(SavedBytes(*t).size(), t->SessionSize());
  }
}

}  // namespace
}  // namespace kestron4
