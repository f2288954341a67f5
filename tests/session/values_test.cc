// Value TIDs, the stored form of each kind, and reading values back through
// the C interface.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "api/scoped_session.h"
#include "support/caller_file.h"

namespace kestron4 {
namespace {

// The payload of value tid of the current block; "<code>" when unreadable.
std::string Payload(KSTRN_SessionHandle s, uint16_t tid) {
  uint32_t size = 0;
  if (!KSTRN_GetValSize(tid, &size, s)) return "<" + std::to_string(KSTRN_GetLastEE()) + ">";
  std::string bytes(size, '\0');
  if (!KSTRN_GetValue(tid, bytes.data(), s)) return "<" + std::to_string(KSTRN_GetLastEE()) + ">";
  return bytes;
}

TEST(Values, TidRangesDecideKindSizeAndType) {
  for (auto [tid, expected] : {std::pair{999, 0}, {1000, 1}, {13999, 1}, {14000, 0}})
    EXPECT_EQ(KSTRN_IsValueID(static_cast<uint16_t>(tid)), expected == 1) << tid;
  EXPECT_TRUE(KSTRN_IsVariableSize(1002) && KSTRN_IsVariableSize(3999) &&
              KSTRN_IsVariableSize(1151));
  EXPECT_FALSE(KSTRN_IsVariableSize(1003) || KSTRN_IsVariableSize(4000));
  EXPECT_TRUE(KSTRN_IsLongVariableSize(1135) && KSTRN_IsLongVariableSize(5999));
  EXPECT_FALSE(KSTRN_IsLongVariableSize(6000));
  EXPECT_TRUE(KSTRN_IsQuickFind(100) && KSTRN_IsQuickFind(189) && KSTRN_IsLogger(25));
  EXPECT_FALSE(KSTRN_IsQuickFind(106) || KSTRN_IsQuickFind(112) || KSTRN_IsLogger(4));
  const std::tuple<uint16_t, uint32_t, uint32_t> sizes[] = {
      {2500, 10, 11}, {4500, 10, 12}, {1063, 10, 10}, {1028, 10, 3}, {1003, 0, 5}, {1300, 10, 0},
      {1066, 0, 4},   {1132, 0, 1},   {1001, 0, 8},   {1999, 0, 8},  {7999, 0, 1}, {8000, 0, 2},
      {11999, 0, 4},  {12000, 0, 8},  {50, 3, 0},     {20000, 3, 0}, {1151, 5, 6}};
  for (auto [tid, count, size] : sizes) EXPECT_EQ(KSTRN_ValSize(tid, count), size) << tid;
  const std::pair<uint16_t, uint32_t> types[] = {{1151, 4}, {1063, 9}, {1028, 10}, {1003, 11},
                                                 {1000, 6}, {1113, 1}, {1169, 0},  {0, 0}};
  for (auto [tid, type] : types) EXPECT_EQ(KSTRN_ValType(tid), type) << tid;
}

TEST(Values, ComparisonsFollowTheKind) {
  const uint8_t a[] = {2, 'A', 'B'}, b[] = {2, 'A', 'C'}, la[] = {2, 0, 'x', 'y'},
                lb[] = {2, 0, 'p', 'q'}, fa[] = {1, 2, 3, 4}, fb[] = {1, 2, 3, 5};
  const char marked[] = {'A', 'B', 0, 3};
  const std::tuple<bool, uint16_t, const void*, const void*, bool> cases[] = {
      {true, 2000, a, a, true},        {true, 2000, a, b, false},
      {true, 4500, la, lb, true},  // long strings: the length field only
      {true, 1063, a, b, true},        {true, 10000, fa, fb, false},
      {true, 8000, fa, fb, true},      {false, 2000, "AB", marked, true},
      {false, 2000, "AB", "ABC", false}, {false, 1135, "x", "x", true},
      {false, 1063, "x", "y", true},   {false, 10000, fa, fb, false}};
  for (const auto& [stored, tid, x, y, equal] : cases) {
    EXPECT_EQ(stored ? KSTRN_ValCompare(tid, x, y) : KSTRN_CompareValues(tid, x, y), equal)
        << tid;
  }
}

TEST(Values, StoredFormOfEachKind) {
  ScopedSession s;
  const uint32_t one = 1, two = 2;
  const uint8_t eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  KSTRN_InsertValue(10001, &one, s);
  KSTRN_InsertValue(2001, std::string(300, 'x').c_str(), s);
  KSTRN_InsertValue(10001, &two, s);  // replaced in place
  KSTRN_InsertValueS(2003, "abcdef", 3, s);
  KSTRN_InsertValueS(10000, eight, 99, s);  // a fixed TID ignores the size
  KSTRN_InsertValue(4500, "long", s);
  EXPECT_TRUE(KSTRN_InsertStringUTF8(2004, "AB", s));
  EXPECT_TRUE(KSTRN_InsertStringUTF8(2005, "", s));
  EXPECT_FALSE(KSTRN_InsertValue(50, &one, s));  // item TIDs hold no values
  EXPECT_FALSE(KSTRN_InsertValue(0, &one, s));
  // Stored bytes as the pointer shows them: length prefixes included.
  const std::pair<uint16_t, std::string> stored[] = {
      {10001, std::string("\2\0\0\0", 4)},        {2001, "\xFF" + std::string(255, 'x')},
      {2003, std::string("\3abc", 4)},            {10000, std::string("\1\2\3\4", 4)},
      {4500, std::string("\5\0long\0", 7)},       {2004, std::string("\4AB\0\3", 5)},
      {2005, std::string("\2\0\3", 3)}};
  std::vector<uint16_t> order(7);
  ASSERT_TRUE(KSTRN_GetValueList(order.data(), s));
  for (std::size_t i = 0; i < 7; ++i) {
    const auto& [tid, bytes] = stored[i];
    EXPECT_EQ(order[i], tid);
    const void* p = nullptr;
    ASSERT_TRUE(KSTRN_GetValuePtr(tid, &p, s));
    EXPECT_EQ(std::string(static_cast<const char*>(p), bytes.size()), bytes) << tid;
  }
}

TEST(Values, TextsReadInEveryEncoding) {
  ScopedSession s;
  ASSERT_TRUE(KSTRN_InsertStringUTF8(2001, "AB", s));
  char buf[16] = {};
  char16_t wbuf[16] = {};
  EXPECT_EQ(KSTRN_ReadStringUTF8(2001, buf, 3, s), 3u);
  EXPECT_STREQ(buf, "AB");
  EXPECT_EQ(KSTRN_ReadStringUTF8(2001, buf, 2, s), 0u);  // no room: nothing
  EXPECT_EQ(KSTRN_ReadStringUTF16(2001, W(wbuf), 3, s), 3u);
  EXPECT_EQ(std::u16string(wbuf), u"AB");
  EXPECT_EQ(KSTRN_GetBufferLenUTF16(2001, s), 5u);
  EXPECT_EQ(KSTRN_GetBufferLenUTF8(2001, s), 3u);
  KSTRN_InsertValue(2002, "Caf\xE9 \x80", s);  // unmarked text is 8-bit
  EXPECT_EQ(KSTRN_GetBufferLenUTF8(2002, s), 10u);
  EXPECT_EQ(KSTRN_ReadStringUTF8(2002, buf, sizeof buf, s), 10u);
  EXPECT_STREQ(buf, "Caf\xC3\xA9 \xE2\x82\xAC");
  EXPECT_EQ(KSTRN_ReadStringUTF16(2002, W(wbuf), 16, s), 7u);
  EXPECT_EQ(std::u16string(wbuf), u"Caf\u00e9 \u20ac");
  // Too long: cut, stored and reported.
  EXPECT_FALSE(KSTRN_InsertStringUTF16(2003, W(std::u16string(300, u'q').c_str()), s));
  EXPECT_EQ(KSTRN_GetLastEE(), 16u);
  char big[300];
  EXPECT_EQ(KSTRN_ReadStringUTF8(2003, big, sizeof big, s), 254u);
  KSTRN_GotoRoot(s);  // code 0
  EXPECT_TRUE(KSTRN_InsertStringUTF8(4000, std::string(1000, 'z').c_str(), s));
  EXPECT_EQ(KSTRN_GetLastEE(), 0u);
  EXPECT_EQ(Payload(s, 4000), std::string(1000, 'z') + std::string("\0\3", 2));
}

// What blob reads give; writes and the size pair are ReportTest.BlobCalls*.
TEST(Values, BlobsReadOnlyWithAKnownSize) {
  ScopedSession s;
  KSTRN_InsertValueS(1063, "abc", 3, s);
  EXPECT_EQ(Payload(s, 1063), "<16>");  // no size value
  char part[5];
  EXPECT_EQ(KSTRN_ReadStringUTF8(1063, part, 4, s), 0u);
  KSTRN_InsertData(5, "ABCDE", s);
  KSTRN_ValueHandle handle = KSTRN_GetValueHandle(1063, s);
  EXPECT_TRUE(KSTRN_ReadValue(handle, 3, part, 2, s));
  EXPECT_FALSE(KSTRN_ReadValue(handle, 4, part, 2, s));
  // Standing for a file that cannot be read: the size, but never the bytes.
  const uint64_t offset = 0, length = 16;
  ASSERT_TRUE(KSTRN_InsertDataFile("/nonexistent/kestron4-test", &offset, &length, s));
  uint32_t size = 0;
  EXPECT_TRUE(KSTRN_GetValSize(1063, &size, s));
  EXPECT_EQ(size, 16u);
  EXPECT_EQ(Payload(s, 1063), "<1>");
  const void* p = &s;
  EXPECT_TRUE(KSTRN_GetValuePtr(1063, &p, s));
  EXPECT_EQ(p, nullptr);
  KSTRN_InsertData(2, "hi", s);  // real bytes replace the outside file
  EXPECT_EQ(Payload(s, 1063), "hi");
}

}  // namespace
}  // namespace kestron4
