#include <gtest/gtest.h>

#include <cstring>

#include "support/session_builder.h"

namespace kestron4 {
namespace {

using testing::NewMemSession;

TEST(Lookup, LocalMatchByKey) {
  auto s = NewMemSession();
  s->InsertItemBlocks(105, 2);
  s->OpenItem(105, 0);
  s->InsertValue(2001, "A", 0);
  s->CloseItem();
  s->OpenItem(105, 1);
  s->InsertValue(2001, "B", 0);
  s->CloseItem();
  ItemBlock* root = s->root();
  EXPECT_TRUE(s->FindLocalType(105, 0, nullptr));
  EXPECT_EQ(s->current(), root->firstItem->blocks[0]);
  s->GotoRoot();
  EXPECT_TRUE(s->FindLocalType(105, 2001, "B"));
  EXPECT_EQ(s->current(), root->firstItem->blocks[1]);
  s->GotoRoot();
  EXPECT_FALSE(s->FindLocalType(105, 2001, "C"));
  EXPECT_EQ(s->current(), root);
  EXPECT_FALSE(s->FindLocalType(106, 0, nullptr));
}

TEST(Lookup, DeepSearchPrefersShallowerAndEarlier) {
  auto s = NewMemSession();
  // root / 10[0] / 20[0] / 30[0] with key K, and root / 30[0] with key K.
  s->InsertItemBlocks(10, 1);
  s->InsertItemBlocks(30, 1);
  s->OpenItem(30, 0);
  s->InsertValue(10000, "KKKK", 0);
  ItemBlock* shallow = s->current();
  s->GotoRoot();
  s->OpenItem(10, 0);
  s->InsertItemBlocks(20, 1);
  s->OpenItem(20, 0);
  s->InsertItemBlocks(30, 1);
  s->OpenItem(30, 0);
  s->InsertValue(10000, "KKKK", 0);
  ItemBlock* deep = s->current();
  s->GotoRoot();
  EXPECT_TRUE(s->FindType(30, 10000, "KKKK"));
  EXPECT_EQ(s->current(), shallow);
  s->GotoRoot();
  s->OpenItem(10, 0);
  EXPECT_TRUE(s->FindType(30, 10000, "KKKK"));
  EXPECT_EQ(s->current(), deep);
  // The block itself is never a candidate, and a failed search stays put.
  ItemBlock* here = s->current();
  EXPECT_FALSE(s->FindType(30, 0, nullptr));
  EXPECT_EQ(s->current(), here);
}

TEST(Lookup, TextEncodings) {
  auto s = NewMemSession();
  s->InsertItemBlocks(105, 2);
  s->OpenItem(105, 0);
  ASSERT_TRUE(s->InsertStringUTF8(2001, "Zo\xC3\xAB"));  // marked UTF-8
  s->CloseItem();
  s->OpenItem(105, 1);
  s->InsertValue(2001, "Caf\xE9", 0);  // 8-bit text, no mark
  s->CloseItem();
  ItemBlock* root = s->root();

  EXPECT_TRUE(s->FindTypeUTF8(105, 2001, "Zo\xC3\xAB"));
  EXPECT_EQ(s->current(), root->firstItem->blocks[0]);
  s->GotoRoot();
  EXPECT_TRUE(s->FindType(105, 2001, "Zo\xC3\xAB"));
  s->GotoRoot();
  EXPECT_TRUE(s->FindTypeUTF8(105, 2001, "Caf\xC3\xA9"));
  EXPECT_EQ(s->current(), root->firstItem->blocks[1]);
  s->GotoRoot();
  EXPECT_FALSE(s->FindType(105, 2001, "Caf\xC3\xA9"));
  EXPECT_TRUE(s->FindTypeUTF16(105, 2001, u"Caf\u00e9"));
  EXPECT_EQ(s->current(), root->firstItem->blocks[1]);
}

TEST(Lookup, QuickFindTriesTopLevelsFirst) {
  auto s = NewMemSession();
  s->InsertItemBlocks(1, 1);
  s->OpenItem(1, 0);
  s->InsertItemBlocks(2, 1);
  s->OpenItem(2, 0);
  s->InsertItemBlocks(100, 1);
  s->OpenItem(100, 0);
  const uint16_t key = 7;
  s->InsertValue(8000, &key, 0);
  ItemBlock* deep = s->current();
  s->GotoRoot();
  s->OpenItem(1, 0);
  s->InsertItemBlocks(100, 1);
  s->OpenItem(100, 0);
  s->InsertValue(8000, &key, 0);
  ItemBlock* level2 = s->current();
  s->GotoRoot();
  s->OpenItem(1, 0);
  s->OpenItem(2, 0);
  // From deep inside, the shallow pass still wins.
  EXPECT_TRUE(s->QuickFind(100, 8000, &key));
  EXPECT_EQ(s->current(), level2);
  const uint16_t other = 8;
  s->GotoRoot();
  s->OpenItem(1, 0);
  ItemBlock* start = s->current();
  EXPECT_FALSE(s->QuickFind(100, 8000, &other));
  EXPECT_EQ(s->current(), start);
  (void)deep;
}

TEST(Lookup, DataValuesNeedTheirSize) {
  auto s = NewMemSession();
  s->InsertItemBlocks(50, 2);
  s->OpenItem(50, 0);
  s->InsertValue(kTidData, "abc", 3);  // no 1066
  s->CloseItem();
  s->OpenItem(50, 1);
  const uint32_t three = 3;
  s->InsertValue(kTidDataSize, &three, 0);
  s->InsertValue(kTidData, "xyz", 3);
  ItemBlock* withSize = s->current();
  s->GotoRoot();
  EXPECT_TRUE(s->FindLocalType(50, kTidData, "ignored"));
  EXPECT_EQ(s->current(), withSize);
}

TEST(Lookup, DeepTreeSearchDoesNotRecurse) {
  auto s = NewMemSession();
  for (int i = 0; i < 3000; ++i) {
    ASSERT_TRUE(s->InsertItemBlocks(1, 1));
    s->OpenItem(1, 0);
  }
  s->InsertItemBlocks(2, 1);
  ItemBlock* holder = s->current();
  s->GotoRoot();
  EXPECT_TRUE(s->FindType(2, 0, nullptr));
  EXPECT_EQ(s->current()->parent->parent, holder);
}

}  // namespace
}  // namespace kestron4
