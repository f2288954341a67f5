#include <gtest/gtest.h>

#include "support/session_builder.h"

namespace kestron4 {
namespace {

using testing::NewMemSession;
using testing::SizesConsistent;
using testing::TypeList;

// Marks block i of item t with value 10000 = i.
void Number(SessionCore& s, Tid t, uint16_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    s.OpenItem(t, static_cast<int32_t>(i));
    s.InsertValue(10000, &i, 0);
    s.CloseItem();
  }
}

uint32_t NumberOf(SessionCore& s) {
  uint32_t n = 0xFFFF;
  s.GetValue(10000, &n);
  return n;
}

std::vector<uint32_t> Order(SessionCore& s, Tid t) {
  std::vector<uint32_t> out;
  ItemBlock* saved = s.current();
  if (s.GetCurrentTID() == t) s.CloseItem();
  for (uint16_t i = 0; i < s.GetItemCount(t); ++i) {
    s.OpenItem(t, i);
    out.push_back(NumberOf(s));
    s.CloseItem();
  }
  s.SetCurrent(saved);
  return out;
}

TEST(Edits, InsertItemBlocksAppends) {
  auto s = NewMemSession();
  EXPECT_TRUE(s->InsertItemBlocks(100, 1));
  EXPECT_EQ(s->SessionSize(), 35u);
  EXPECT_TRUE(s->InsertItemBlocks(7, 3));
  EXPECT_TRUE(s->InsertItemBlocks(7, 3));
  EXPECT_EQ(s->GetItemCount(7), 6);
  EXPECT_EQ(TypeList(*s), (std::vector<uint16_t>{100, 7}));
  // Count 0 makes an empty item that keeps its place but holds no block.
  EXPECT_TRUE(s->InsertItemBlocks(8, 0));
  EXPECT_EQ(TypeList(*s), (std::vector<uint16_t>{100, 7, 8}));
  EXPECT_EQ(s->OpenItem(8, 0), ErrTypeNotFound);
  EXPECT_EQ(s->DeleteItem(8, 0), ErrTypeNotFound);
  EXPECT_EQ(s->DeleteItemBlocks(8), ErrNone);
  EXPECT_FALSE(s->InsertItemBlocks(1000, 1));  // a value TID
  EXPECT_TRUE(SizesConsistent(*s));
}

TEST(Edits, BlockCountNeverWraps) {
  auto s = NewMemSession();
  ASSERT_TRUE(s->InsertItemBlocks(9, 65535));
  const uint64_t size = s->SessionSize();
  EXPECT_FALSE(s->InsertItemBlocks(9, 1));
  EXPECT_EQ(s->GetItemCount(9), 65535);
  EXPECT_EQ(s->SessionSize(), size);
}

TEST(Edits, DeleteItemPicksTheLastForOutOfRange) {
  auto s = NewMemSession();
  s->InsertItemBlocks(5, 5);
  Number(*s, 5, 5);
  EXPECT_EQ(s->DeleteItem(5, -1), ErrNone);
  EXPECT_EQ(s->DeleteItem(5, 1000), ErrNone);
  EXPECT_EQ(s->DeleteItem(5, 1), ErrNone);
  EXPECT_EQ(Order(*s, 5), (std::vector<uint32_t>{0, 2}));
  EXPECT_EQ(s->DeleteItem(6, 0), ErrTypeNotFound);
  s->DeleteItem(5, 0);
  s->DeleteItem(5, 0);
  EXPECT_TRUE(TypeList(*s).empty());
  EXPECT_EQ(s->SessionSize(), 25u);
  EXPECT_TRUE(SizesConsistent(*s));
}

TEST(Edits, DeleteCurrentItemMovesTheCursor) {
  auto s = NewMemSession();
  s->InsertItemBlocks(5, 3);
  Number(*s, 5, 3);
  s->OpenItem(5, 1);
  EXPECT_EQ(s->DeleteCurrentItem(), ErrNone);
  EXPECT_EQ(NumberOf(*s), 2u);  // the former third block, now second
  EXPECT_EQ(s->DeleteCurrentItem(), ErrNone);
  EXPECT_EQ(NumberOf(*s), 0u);  // the new last block
  EXPECT_EQ(s->DeleteCurrentItem(), ErrNone);
  EXPECT_EQ(s->current(), s->root());
  EXPECT_EQ(s->DeleteCurrentItem(), ErrTypeNotFound);
  EXPECT_TRUE(SizesConsistent(*s));
}

TEST(Edits, DeleteItemBlocksAndValues) {
  auto s = NewMemSession();
  s->InsertItemBlocks(5, 2);
  s->OpenItem(5, 0);
  s->InsertItemBlocks(6, 2);
  s->CloseItem();
  s->InsertValue(2001, "x", 0);
  EXPECT_EQ(s->DeleteItemBlocks(5), ErrNone);
  EXPECT_EQ(s->DeleteItemBlocks(5), ErrTypeNotFound);
  EXPECT_FALSE(s->DeleteValue(2002));
  const uint64_t before = s->SessionSize();
  EXPECT_TRUE(s->DeleteValue(2001));
  EXPECT_EQ(s->SessionSize(), before - 2 - 3);
  EXPECT_EQ(s->SessionSize(), 25u);
}

TEST(Edits, MoveCurrentItemRotates) {
  auto s = NewMemSession();
  s->InsertItemBlocks(5, 4);
  Number(*s, 5, 4);
  s->OpenItem(5, 2);
  EXPECT_EQ(s->MoveCurrentItem(0), ErrNone);
  EXPECT_EQ(NumberOf(*s), 2u);
  EXPECT_EQ(Order(*s, 5), (std::vector<uint32_t>{2, 0, 1, 3}));
  EXPECT_EQ(s->MoveCurrentItem(4), ErrBadCount);
  EXPECT_EQ(s->MoveCurrentItem(3), ErrNone);
  EXPECT_EQ(Order(*s, 5), (std::vector<uint32_t>{0, 1, 3, 2}));
  uint32_t index = 0;
  EXPECT_EQ(s->GetParentTID(&index), 5);
  EXPECT_EQ(index, 3u);
  s->GotoRoot();
  EXPECT_EQ(s->MoveCurrentItem(0), ErrTypeNotFound);
}

TEST(Edits, ChangeTidMovesTheBlock) {
  auto s = NewMemSession();
  s->InsertItemBlocks(5, 2);
  s->InsertItemBlocks(6, 1);
  Number(*s, 5, 2);
  s->OpenItem(5, 0);
  const uint32_t mark = s->AddBookMark();
  EXPECT_TRUE(s->ChangeTID(6));
  EXPECT_EQ(s->GetItemCount(6), 0);  // cursor is inside, not at the root
  s->GotoRoot();
  EXPECT_EQ(s->GetItemCount(6), 2);
  EXPECT_EQ(s->GetItemCount(5), 1);
  ASSERT_TRUE(s->GotoBookMark(mark));
  uint32_t index = 0;
  EXPECT_EQ(s->GetParentTID(&index), 6);
  EXPECT_EQ(index, 1u);
  EXPECT_FALSE(s->ChangeTID(2000));
  s->GotoRoot();
  s->OpenItem(5, 0);
  EXPECT_TRUE(s->ChangeTID(7));
  s->GotoRoot();
  EXPECT_EQ(TypeList(*s), (std::vector<uint16_t>{6, 7}));
  EXPECT_FALSE(s->ChangeTID(7));  // at the root
  EXPECT_TRUE(SizesConsistent(*s));
}

TEST(Edits, DeepTreesDestroyWithoutRecursion) {
  auto s = NewMemSession();
  for (uint32_t i = 0; i < SessionCore::kMaxDepth; ++i) {
    ASSERT_TRUE(s->InsertItemBlocks(1, 1)) << i;
    s->OpenItem(1, 0);
  }
  EXPECT_FALSE(s->InsertItemBlocks(1, 1));
  s->InsertValue(2001, "leaf", 0);
  EXPECT_TRUE(SizesConsistent(*s));
  s->GotoRoot();
  EXPECT_EQ(s->DeleteItem(1, 0), ErrNone);
  EXPECT_EQ(s->SessionSize(), 25u);
}

TEST(Edits, PoolsReuseRecords) {
  auto s = NewMemSession();
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(s->InsertItemBlocks(3, 1000));
    EXPECT_EQ(s->DeleteItemBlocks(3), ErrNone);
  }
  EXPECT_EQ(s->SessionSize(), 25u);
}

TEST(Bookmarks, NumbersAndEquivalence) {
  auto s = NewMemSession();
  EXPECT_FALSE(s->GotoBookMark(0));
  EXPECT_EQ(s->AddBookMark(), 1u);
  EXPECT_EQ(s->AddBookMark(), 2u);
  EXPECT_TRUE(s->BookMarksEquivalent(1, 2));
  EXPECT_TRUE(s->RemoveBookMark(1));
  EXPECT_FALSE(s->RemoveBookMark(1));
  EXPECT_EQ(s->AddBookMark(), 3u);
  s->InsertItemBlocks(4, 2);
  s->OpenItem(4, 1);
  const uint32_t inner = s->AddBookMark();
  EXPECT_FALSE(s->BookMarksEquivalent(2, inner));
  s->InsertItemBlocks(8, 1);
  s->OpenItem(8, 0);
  const uint32_t deeper = s->AddBookMark();
  s->GotoRoot();
  s->OpenItem(4, 1);
  EXPECT_EQ(s->DeleteCurrentItem(), ErrNone);
  EXPECT_FALSE(s->GotoBookMark(inner));
  EXPECT_FALSE(s->GotoBookMark(deeper));
  EXPECT_FALSE(s->BookMarksEquivalent(inner, inner));
  EXPECT_TRUE(s->RemoveBookMark(inner));
  EXPECT_TRUE(s->GotoBookMark(2));
  EXPECT_EQ(s->current(), s->root());
}

}  // namespace
}  // namespace kestron4
