#include "session/tid.h"

#include <gtest/gtest.h>

#include <cstring>

namespace kestron4 {
namespace {

TEST(Tid, RangesAndKinds) {
  EXPECT_FALSE(IsValueID(999));
  EXPECT_TRUE(IsValueID(1000));
  EXPECT_TRUE(IsValueID(13999));
  EXPECT_FALSE(IsValueID(14000));
  EXPECT_FALSE(IsVariableSize(1003));
  EXPECT_TRUE(IsVariableSize(1002));
  EXPECT_TRUE(IsVariableSize(3999));
  EXPECT_FALSE(IsVariableSize(4000));
  EXPECT_TRUE(IsLongVariableSize(1135));
  EXPECT_TRUE(IsLongVariableSize(5999));
  EXPECT_FALSE(IsLongVariableSize(6000));
  EXPECT_TRUE(IsVariableSize(1151));
  EXPECT_TRUE(IsQuickFind(100));
  EXPECT_TRUE(IsQuickFind(189));
  EXPECT_FALSE(IsQuickFind(106));
  EXPECT_FALSE(IsQuickFind(112));
  EXPECT_TRUE(IsLogger(25));
  EXPECT_FALSE(IsLogger(4));
}

TEST(Tid, SizesAndTypes) {
  EXPECT_EQ(ValSize(2500, 10), 11u);
  EXPECT_EQ(ValSize(4500, 10), 12u);
  EXPECT_EQ(ValSize(1063, 10), 10u);
  EXPECT_EQ(ValSize(1028, 10), 3u);
  EXPECT_EQ(ValSize(1003, 0), 5u);
  EXPECT_EQ(ValSize(1300, 10), 0u);
  EXPECT_EQ(ValSize(1066, 0), 4u);
  EXPECT_EQ(ValSize(1132, 0), 1u);
  EXPECT_EQ(ValSize(1001, 0), 8u);
  EXPECT_EQ(ValSize(1999, 0), 8u);
  EXPECT_EQ(ValSize(7999, 0), 1u);
  EXPECT_EQ(ValSize(8000, 0), 2u);
  EXPECT_EQ(ValSize(11999, 0), 4u);
  EXPECT_EQ(ValSize(12000, 0), 8u);
  EXPECT_EQ(ValSize(50, 3), 0u);
  EXPECT_EQ(ValSize(20000, 3), 0u);
  EXPECT_EQ(ValType(1151), 4u);
  EXPECT_EQ(ValSize(1151, 5), 6u);
  EXPECT_EQ(ValType(1063), 9u);
  EXPECT_EQ(ValType(1028), 10u);
  EXPECT_EQ(ValType(1003), 11u);
  EXPECT_EQ(ValType(1000), 6u);
  EXPECT_EQ(ValType(1113), 1u);
  EXPECT_EQ(ValType(1169), 0u);
  EXPECT_EQ(ValType(0), 0u);
}

TEST(Tid, Comparisons) {
  const uint8_t a[] = {2, 'A', 'B'};
  const uint8_t b[] = {2, 'A', 'C'};
  EXPECT_TRUE(ValCompare(2000, a, a));
  EXPECT_FALSE(ValCompare(2000, a, b));
  // Long strings compare over their length field only.
  const uint8_t la[] = {2, 0, 'x', 'y'};
  const uint8_t lb[] = {2, 0, 'p', 'q'};
  EXPECT_TRUE(ValCompare(4500, la, lb));
  EXPECT_TRUE(ValCompare(1063, a, b));
  const uint8_t fa[] = {1, 2, 3, 4};
  const uint8_t fb[] = {1, 2, 3, 5};
  EXPECT_FALSE(ValCompare(10000, fa, fb));
  EXPECT_TRUE(ValCompare(8000, fa, fb));

  const char marked[] = {'A', 'B', 0, 3};
  EXPECT_TRUE(CompareValues(2000, "AB", marked));
  EXPECT_FALSE(CompareValues(2000, "AB", "ABC"));
  EXPECT_TRUE(CompareValues(1135, "x", "x"));
  EXPECT_TRUE(CompareValues(1063, "x", "y"));
  EXPECT_FALSE(CompareValues(10000, fa, fb));
}

}  // namespace
}  // namespace kestron4
