#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>

#include "session/last_error.h"
#include "session/session_test_tree.h"
#include "session/tid.h"

namespace kestron4 {
namespace {

using namespace kestron4::testing;

TEST(Values, TidRangesDecideKindSizeAndType) {
  for (auto [tid, expected] : {std::pair{999, 0}, {1000, 1}, {13999, 1}, {14000, 0}})
    EXPECT_EQ(IsValueID(static_cast<Tid>(tid)), expected == 1) << tid;
  EXPECT_TRUE(IsVariableSize(1002) && IsVariableSize(3999) && IsVariableSize(1151));
  EXPECT_FALSE(IsVariableSize(1003) || IsVariableSize(4000));
  EXPECT_TRUE(IsLongVariableSize(1135) && IsLongVariableSize(5999));
  EXPECT_FALSE(IsLongVariableSize(6000));
  EXPECT_TRUE(IsQuickFind(100) && IsQuickFind(189) && IsLogger(25));
  EXPECT_FALSE(IsQuickFind(106) || IsQuickFind(112) || IsLogger(4));
  const std::tuple<Tid, uint32_t, uint32_t> sizes[] = {
      {2500, 10, 11}, {4500, 10, 12}, {1063, 10, 10}, {1028, 10, 3}, {1003, 0, 5}, {1300, 10, 0},
      {1066, 0, 4},   {1132, 0, 1},   {1001, 0, 8},   {1999, 0, 8},  {7999, 0, 1}, {8000, 0, 2},
      {11999, 0, 4},  {12000, 0, 8},  {50, 3, 0},     {20000, 3, 0}, {1151, 5, 6}};
  for (auto [tid, count, size] : sizes) EXPECT_EQ(ValSize(tid, count), size) << tid;
  const std::pair<Tid, uint32_t> types[] = {{1151, 4}, {1063, 9}, {1028, 10}, {1003, 11},
                                            {1000, 6}, {1113, 1}, {1169, 0},  {0, 0}};
  for (auto [tid, type] : types) EXPECT_EQ(ValType(tid), type) << tid;
}

TEST(Values, ComparisonsFollowTheKind) {
  const uint8_t a[] = {2, 'A', 'B'}, b[] = {2, 'A', 'C'};
  EXPECT_TRUE(ValCompare(2000, a, a));
  EXPECT_FALSE(ValCompare(2000, a, b));
  const uint8_t la[] = {2, 0, 'x', 'y'}, lb[] = {2, 0, 'p', 'q'};
  EXPECT_TRUE(ValCompare(4500, la, lb));  // long strings: the length field only
  EXPECT_TRUE(ValCompare(1063, a, b));
  const uint8_t fa[] = {1, 2, 3, 4}, fb[] = {1, 2, 3, 5};
  EXPECT_FALSE(ValCompare(10000, fa, fb));
  EXPECT_TRUE(ValCompare(8000, fa, fb));
  const char marked[] = {'A', 'B', 0, 3};
  EXPECT_TRUE(CompareValues(2000, "AB", marked));
  EXPECT_FALSE(CompareValues(2000, "AB", "ABC"));
  EXPECT_TRUE(CompareValues(1135, "x", "x"));
  EXPECT_TRUE(CompareValues(1063, "x", "y"));
  EXPECT_FALSE(CompareValues(10000, fa, fb));
}

TEST(Values, StoredFormOfEachKind) {
  TestTree t;
  SessionCore& s = t.s();
  const uint32_t one = 1, two = 2;
  s.InsertValue(10001, &one, 0);
  s.InsertValue(2001, std::string(300, 'x').c_str(), 0);
  s.InsertValue(10001, &two, 0);  // replaced in place
  EXPECT_EQ(t.Bytes(t.root(), 10001), std::string("\2\0\0\0", 4));
  const void* p = nullptr;
  ASSERT_EQ(s.GetValuePtr(2001, &p), ErrNone);
  EXPECT_EQ(static_cast<const uint8_t*>(p)[0], 255);  // cut to the 8-bit length
  s.InsertValueS(2003, "abcdef", 3);
  EXPECT_EQ(t.Bytes(t.root(), 2003), "abc");
  const uint8_t bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  s.InsertValueS(10000, bytes, 99);  // a fixed TID ignores the size
  EXPECT_EQ(t.Bytes(t.root(), 10000).size(), 4u);
  s.InsertValue(4500, "long", 0);
  ASSERT_EQ(s.GetValuePtr(4500, &p), ErrNone);
  EXPECT_EQ(std::memcmp(p, "\x05\x00long", 7), 0);
  ASSERT_TRUE(s.InsertStringUTF8(2004, "AB"));
  EXPECT_EQ(t.Bytes(t.root(), 2004), std::string("AB\0\3", 4));
  ASSERT_TRUE(s.InsertStringUTF8(2005, ""));
  EXPECT_EQ(t.Bytes(t.root(), 2005), std::string("\0\3", 2));
  EXPECT_FALSE(s.InsertValue(50, &one, 0));
  EXPECT_FALSE(s.InsertValue(0, &one, 0));
  const std::vector<uint16_t> order = {10001, 2001, 2003, 10000, 4500, 2004, 2005};
  std::vector<uint16_t> tids(s.GetValueCount());
  s.GetValueList(tids.data());
  EXPECT_EQ(tids, order);
  EXPECT_TRUE(t.SizesConsistent());
}

TEST(Values, TextsReadInEveryEncoding) {
  TestTree t;
  SessionCore& s = t.s();
  ASSERT_TRUE(s.InsertStringUTF8(2001, "AB"));
  char buf[16] = {};
  EXPECT_EQ(s.ReadStringUTF8(2001, buf, 3), 3u);
  EXPECT_STREQ(buf, "AB");
  EXPECT_EQ(s.ReadStringUTF8(2001, buf, 2), 0u);  // no room: nothing
  char16_t wbuf[16] = {};
  EXPECT_EQ(s.ReadStringUTF16(2001, wbuf, 3), 3u);
  EXPECT_EQ(std::u16string(wbuf), u"AB");
  EXPECT_EQ(s.GetBufferLenUTF16(2001), 5u);
  EXPECT_EQ(s.GetBufferLenUTF8(2001), 3u);
  s.InsertValue(2002, "Caf\xE9 \x80", 0);  // unmarked text is 8-bit
  EXPECT_EQ(s.GetBufferLenUTF8(2002), 10u);
  EXPECT_EQ(s.ReadStringUTF8(2002, buf, sizeof buf), 10u);
  EXPECT_STREQ(buf, "Caf\xC3\xA9 \xE2\x82\xAC");
  EXPECT_EQ(s.ReadStringUTF16(2002, wbuf, 16), 7u);
  EXPECT_EQ(std::u16string(wbuf), u"Caf\u00e9 \u20ac");
  // Too long: cut, stored and reported.
  SetLastError(ErrNone);
  EXPECT_FALSE(s.InsertStringUTF16(2003, std::u16string(300, u'q').c_str()));
  EXPECT_EQ(GetLastError(), ErrDataSize);
  char big[300];
  EXPECT_EQ(s.ReadStringUTF8(2003, big, sizeof big), 254u);
  SetLastError(ErrNone);
  EXPECT_TRUE(s.InsertStringUTF8(4000, std::string(1000, 'z').c_str()));
  EXPECT_EQ(GetLastError(), ErrNone);
}

TEST(Values, BlobsAndTheirSize) {
  TestTree t;
  SessionCore& s = t.s();
  uint32_t n = 0;
  EXPECT_EQ(s.GetValSize(1234, &n), ErrValueNotFound);
  EXPECT_EQ(s.GetValueHandle(999), nullptr);
  s.InsertValue(kTidData, "abc", 3);
  EXPECT_EQ(s.GetValSize(kTidData, &n), ErrDataSize);  // no size value
  char part[5];
  EXPECT_EQ(s.ReadStringUTF8(kTidData, part, 4), 0u);
  const uint32_t size = 100;
  s.DeleteValue(kTidData);
  s.InsertValue(kTidDataSize, &size, 0);
  ASSERT_TRUE(s.AllocData(kTidData, size));
  EXPECT_FALSE(s.WriteData(kTidData, 95, "ABCDEFGHI", 10));
  EXPECT_TRUE(s.WriteData(kTidData, 95, "ABCDEFGHI", 5));
  EXPECT_EQ(t.Bytes(t.root(), kTidData), std::string(95, '\0') + "ABCDE");
  Value* handle = s.GetValueHandle(kTidData);
  EXPECT_TRUE(s.ReadValue(handle, 95, part, 5));
  EXPECT_FALSE(s.ReadValue(handle, 96, part, 5));
  EXPECT_TRUE(t.SizesConsistent());
}

TEST(Values, UnreadableOutsideFileNeverFakesSuccess) {
  TestTree t;
  SessionCore& s = t.s();
  ASSERT_TRUE(s.InsertDataFile("/nonexistent/kestron4-test", 0, 16));
  uint32_t n = 0;
  EXPECT_EQ(s.GetValSize(kTidData, &n), ErrNone);
  EXPECT_EQ(n, 16u);
  std::vector<uint8_t> buf(16);
  EXPECT_EQ(s.GetValue(kTidData, buf.data()), ErrFileAccess);
  const void* p = &n;
  EXPECT_EQ(s.GetValuePtr(kTidData, &p), ErrNone);
  EXPECT_EQ(p, nullptr);
  EXPECT_FALSE(s.WriteData(kTidData, 0, "x", 1));
  const uint32_t two = 2;  // real bytes replace the outside file
  s.DeleteValue(kTidData);
  s.InsertValue(kTidDataSize, &two, 0);
  s.InsertValue(kTidData, "hi", 2);
  EXPECT_EQ(t.Bytes(t.root(), kTidData), "hi");
  EXPECT_TRUE(t.SizesConsistent());
}

TEST(Values, SizeGrowsByTheEncodedValueAtDepth) {
  TestTree t;
  t.Go(t.Add(t.Add(t.Add(t.root(), 1), 2), 3));
  const uint64_t before = t.s().SessionSize();
  t.s().InsertValue(2001, "abcd", 0);
  EXPECT_EQ(t.s().SessionSize(), before + 2 + 6);
  t.s().DeleteValue(2001);
  EXPECT_EQ(t.s().SessionSize(), before);
}

}  // namespace
}  // namespace kestron4
