#include <gtest/gtest.h>

#include "support/session_builder.h"

namespace kestron4 {
namespace {

using testing::NewMemSession;
using testing::TypeList;

TEST(Navigation, NewSessionIsEmpty) {
  auto s = NewMemSession();
  EXPECT_EQ(s->GetTypeCount(), 0);
  EXPECT_EQ(s->GetValueCount(), 0);
  EXPECT_EQ(s->GetFileType(), 0);
  EXPECT_EQ(s->SessionSize(), 25u);
}

TEST(Navigation, OpenCloseNextPrevious) {
  auto s = NewMemSession();
  ASSERT_TRUE(s->InsertItemBlocks(100, 3));
  ItemBlock* root = s->root();
  EXPECT_EQ(s->OpenItem(100, 0), ErrNone);
  s->CloseItem();
  EXPECT_EQ(s->current(), root);
  s->CloseItem();
  EXPECT_EQ(s->current(), root);

  EXPECT_EQ(s->OpenItem(100, 7), ErrNone);
  uint32_t index = 0;
  EXPECT_EQ(s->GetParentTID(&index), 100);
  EXPECT_EQ(index, 2u);
  EXPECT_EQ(s->NextItem(), ErrPastLastBlock);
  EXPECT_EQ(s->current(), root->firstItem->blocks[2]);

  s->GotoRoot();
  EXPECT_EQ(s->OpenItem(100, -1), ErrNone);
  EXPECT_EQ(s->current(), root->firstItem->blocks[2]);
  EXPECT_EQ(s->PreviousItem(), ErrNone);
  EXPECT_EQ(s->PreviousItem(), ErrNone);
  EXPECT_EQ(s->PreviousItem(), ErrBeforeFirstBlock);
  EXPECT_EQ(s->current(), root->firstItem->blocks[0]);
  EXPECT_EQ(s->GotoItem(1), ErrNone);
  EXPECT_EQ(s->current(), root->firstItem->blocks[1]);
  EXPECT_EQ(s->GotoItem(99), ErrNone);
  EXPECT_EQ(s->current(), root->firstItem->blocks[2]);

  s->GotoRoot();
  EXPECT_EQ(s->OpenItem(101, 0), ErrTypeNotFound);
  EXPECT_EQ(s->NextItem(), ErrPastLastBlock);
  EXPECT_EQ(s->PreviousItem(), ErrBeforeFirstBlock);
  EXPECT_EQ(s->GetParentTID(&index), 0);
  EXPECT_EQ(index, 0u);
  // At the root GotoItem has nothing to move in: the cursor stays.
  EXPECT_EQ(s->GotoItem(0), ErrNone);
  EXPECT_EQ(s->current(), root);
}

TEST(Navigation, TypeListAndCounts) {
  auto s = NewMemSession();
  s->InsertItemBlocks(7, 2);
  s->InsertItemBlocks(3, 1);
  EXPECT_EQ(TypeList(*s), (std::vector<uint16_t>{7, 3}));
  EXPECT_EQ(s->GetItemCount(7), 2);
  EXPECT_EQ(s->GetItemCount(9), 0);
  EXPECT_EQ(s->GetCurrentTID(), 0);
  s->OpenItem(3, 0);
  EXPECT_EQ(s->GetCurrentTID(), 3);
}

TEST(Navigation, NoCursorAfterItsBlockIsDeleted) {
  auto s = NewMemSession();
  s->InsertItemBlocks(5, 1);
  s->OpenItem(5, 0);
  s->InsertItemBlocks(6, 1);
  s->OpenItem(6, 0);
  const uint32_t mark = s->AddBookMark();
  s->GotoRoot();
  s->OpenItem(5, 0);
  s->OpenItem(6, 0);
  // Delete the cursor's own ancestor through a bookmark on the root side.
  s->GotoRoot();
  const uint32_t rootMark = s->AddBookMark();
  ASSERT_TRUE(s->GotoBookMark(mark));
  s->CloseItem();
  s->CloseItem();
  EXPECT_EQ(s->DeleteItem(5, 0), ErrNone);
  EXPECT_FALSE(s->GotoBookMark(mark));
  EXPECT_TRUE(s->GotoBookMark(rootMark));
  EXPECT_EQ(s->GetTypeCount(), 0);
}

}  // namespace
}  // namespace kestron4
