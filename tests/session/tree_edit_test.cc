#include <gtest/gtest.h>

#include "session/session_test_tree.h"

namespace kestron4 {
namespace {

using namespace kestron4::testing;
using Tids = std::vector<uint16_t>;

// Numbers the blocks of the root's item tid by their index, in value 10000.
std::vector<ItemBlock*> Number(TestTree& t, Tid tid) {
  const Item* item = SessionCore::FindItem(t.root(), tid);
  for (uint32_t i = 0; i < item->blocks.size(); ++i) t.Put(item->blocks[i], 10000, &i);
  return item->blocks;
}
int NumberOf(TestTree& t, ItemBlock* block) { return t.Bytes(block, 10000)[0]; }
std::vector<int> Order(TestTree& t, Tid tid) {
  std::vector<int> out;
  if (const Item* item = SessionCore::FindItem(t.root(), tid))
    for (ItemBlock* block : item->blocks) out.push_back(NumberOf(t, block));
  return out;
}

TEST(TreeEdit, InsertAppendsAndRefusesValueTidsAndWrapping) {
  TestTree t;
  SessionCore& s = t.s();
  EXPECT_EQ(s.SessionSize(), 25u);
  EXPECT_TRUE(s.InsertItemBlocks(100, 1));
  EXPECT_EQ(s.SessionSize(), 35u);
  EXPECT_TRUE(s.InsertItemBlocks(7, 3));
  EXPECT_TRUE(s.InsertItemBlocks(7, 3));
  EXPECT_EQ(s.GetItemCount(7), 6);
  EXPECT_TRUE(s.InsertItemBlocks(8, 0));  // an empty item: a place, no block
  EXPECT_EQ(t.Types(), (Tids{100, 7, 8}));
  EXPECT_EQ(s.OpenItem(8, 0), ErrTypeNotFound);
  EXPECT_EQ(s.DeleteItem(8, 0), ErrTypeNotFound);
  EXPECT_FALSE(s.InsertItemBlocks(1000, 1));  // a value TID
  ASSERT_TRUE(s.InsertItemBlocks(9, 65535));
  const uint64_t size = s.SessionSize();
  EXPECT_FALSE(s.InsertItemBlocks(9, 1));
  EXPECT_EQ(s.GetItemCount(9), 65535);
  EXPECT_EQ(s.SessionSize(), size);
  EXPECT_TRUE(t.SizesConsistent());
}

TEST(TreeEdit, CursorStopsAtTheEnds) {
  TestTree t;
  SessionCore& s = t.s();
  ASSERT_TRUE(s.InsertItemBlocks(100, 3));
  const std::vector<ItemBlock*> blocks = s.root()->firstItem->blocks;
  EXPECT_EQ(s.OpenItem(100, 7), ErrNone);  // past the end: the last block
  uint32_t index = 0;
  EXPECT_EQ(s.GetParentTID(&index), 100);
  EXPECT_EQ(index, 2u);
  EXPECT_EQ(s.NextItem(), ErrPastLastBlock);
  EXPECT_EQ(t.at(), blocks[2]);
  EXPECT_EQ(s.PreviousItem(), ErrNone);
  EXPECT_EQ(s.PreviousItem(), ErrNone);
  EXPECT_EQ(s.PreviousItem(), ErrBeforeFirstBlock);
  EXPECT_EQ(t.at(), blocks[0]);
  EXPECT_EQ(s.GotoItem(99), ErrNone);
  EXPECT_EQ(t.at(), blocks[2]);
  s.CloseItem();
  s.CloseItem();  // at the root: stays
  EXPECT_EQ(s.OpenItem(101, 0), ErrTypeNotFound);
  EXPECT_EQ(s.NextItem(), ErrPastLastBlock);
  EXPECT_EQ(s.PreviousItem(), ErrBeforeFirstBlock);
  EXPECT_EQ(s.GetParentTID(&index), 0);
  EXPECT_EQ(index, 0u);
  EXPECT_EQ(s.GotoItem(0), ErrNone);
  EXPECT_EQ(t.at(), t.root());
}

TEST(TreeEdit, DeletesPickTheLastBlockAndMoveTheCursor) {
  TestTree t;
  SessionCore& s = t.s();
  s.InsertItemBlocks(5, 5);
  Number(t, 5);
  EXPECT_EQ(s.DeleteItem(5, -1), ErrNone);
  EXPECT_EQ(s.DeleteItem(5, 1000), ErrNone);  // out of range: the last
  EXPECT_EQ(s.DeleteItem(5, 1), ErrNone);
  EXPECT_EQ(Order(t, 5), (std::vector<int>{0, 2}));
  s.InsertItemBlocks(6, 3);
  t.Go(Number(t, 6)[1]);
  EXPECT_EQ(s.DeleteCurrentItem(), ErrNone);
  EXPECT_EQ(NumberOf(t, t.at()), 2);  // the former third block, now second
  EXPECT_EQ(s.DeleteCurrentItem(), ErrNone);
  EXPECT_EQ(NumberOf(t, t.at()), 0);  // the new last block
  EXPECT_EQ(s.DeleteCurrentItem(), ErrNone);
  EXPECT_EQ(t.at(), t.root());
  EXPECT_EQ(s.DeleteCurrentItem(), ErrTypeNotFound);
  EXPECT_EQ(s.DeleteItemBlocks(5), ErrNone);
  EXPECT_EQ(s.DeleteItemBlocks(5), ErrTypeNotFound);
  s.InsertValue(2001, "x", 0);
  EXPECT_FALSE(s.DeleteValue(2002));
  EXPECT_TRUE(s.DeleteValue(2001));
  EXPECT_EQ(s.SessionSize(), 25u);
  EXPECT_TRUE(t.SizesConsistent());
}

TEST(TreeEdit, MoveAndChangeTidKeepTheCursorOnTheBlock) {
  TestTree t;
  SessionCore& s = t.s();
  s.InsertItemBlocks(5, 4);
  s.InsertItemBlocks(6, 1);
  s.InsertItemBlocks(8, 1);
  t.Go(Number(t, 5)[2]);
  EXPECT_EQ(s.MoveCurrentItem(0), ErrNone);
  EXPECT_EQ(Order(t, 5), (std::vector<int>{2, 0, 1, 3}));
  EXPECT_EQ(s.MoveCurrentItem(4), ErrBadCount);
  EXPECT_EQ(s.MoveCurrentItem(3), ErrNone);
  EXPECT_EQ(Order(t, 5), (std::vector<int>{0, 1, 3, 2}));
  EXPECT_EQ(NumberOf(t, t.at()), 2);
  EXPECT_TRUE(s.ChangeTID(6));  // appended to item 6
  EXPECT_FALSE(s.ChangeTID(2000));
  uint32_t index = 0;
  EXPECT_EQ(s.GetParentTID(&index), 6);
  EXPECT_EQ(index, 1u);
  EXPECT_EQ(NumberOf(t, t.at()), 2);
  t.Go(SessionCore::FindItem(t.root(), 8)->blocks[0]);
  EXPECT_TRUE(s.ChangeTID(7));  // the emptied item 8 goes
  s.GotoRoot();
  EXPECT_EQ(t.Types(), (Tids{5, 6, 7}));
  EXPECT_EQ(s.MoveCurrentItem(0), ErrTypeNotFound);
  EXPECT_FALSE(s.ChangeTID(7));
  EXPECT_TRUE(t.SizesConsistent());
}

TEST(TreeEdit, DepthIsLimitedAndDeepTreesDieWithoutRecursion) {
  TestTree t;
  SessionCore& s = t.s();
  for (uint32_t i = 0; i < SessionCore::kMaxDepth; ++i) {
    ASSERT_TRUE(s.InsertItemBlocks(1, 1)) << i;
    s.OpenItem(1, 0);
  }
  EXPECT_FALSE(s.InsertItemBlocks(1, 1));
  s.GotoRoot();
  EXPECT_EQ(s.DeleteItem(1, 0), ErrNone);
  EXPECT_EQ(s.SessionSize(), 25u);
}

TEST(TreeEdit, BookmarksDieWithTheirBlock) {
  TestTree t;
  SessionCore& s = t.s();
  EXPECT_FALSE(s.GotoBookMark(0));
  EXPECT_EQ(s.AddBookMark(), 1u);
  EXPECT_EQ(s.AddBookMark(), 2u);
  EXPECT_TRUE(s.BookMarksEquivalent(1, 2));
  EXPECT_TRUE(s.RemoveBookMark(1));
  EXPECT_FALSE(s.RemoveBookMark(1));
  EXPECT_EQ(s.AddBookMark(), 3u);  // numbers are not reused
  ItemBlock* block = t.Add(t.root(), 4);
  const uint32_t inner = t.Mark(block), deeper = t.Mark(t.Add(block, 8));
  EXPECT_FALSE(s.BookMarksEquivalent(2, inner));
  t.Go(block);
  EXPECT_EQ(s.DeleteCurrentItem(), ErrNone);
  EXPECT_FALSE(s.GotoBookMark(inner));
  EXPECT_FALSE(s.GotoBookMark(deeper));
  EXPECT_FALSE(s.BookMarksEquivalent(inner, inner));
  EXPECT_TRUE(s.RemoveBookMark(inner));
  EXPECT_TRUE(s.GotoBookMark(2));
  EXPECT_EQ(t.at(), t.root());
}

}  // namespace
}  // namespace kestron4
