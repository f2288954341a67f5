#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "session/last_error.h"
#include "support/session_builder.h"

namespace kestron4 {
namespace {

using testing::NewMemSession;
using testing::Payload;
using testing::SizesConsistent;
using testing::ValueList;

TEST(Values, InsertReplacesInPlaceAndAppendsNew) {
  auto s = NewMemSession();
  const uint32_t a = 1, b = 2;
  s->InsertValue(10001, &a, 0);
  s->InsertValue(2001, "hello", 0);
  s->InsertValue(8000, &a, 0);
  EXPECT_EQ(ValueList(*s), (std::vector<uint16_t>{10001, 2001, 8000}));
  s->InsertValue(10001, &b, 0);
  EXPECT_EQ(ValueList(*s), (std::vector<uint16_t>{10001, 2001, 8000}));
  uint32_t out = 0;
  EXPECT_EQ(s->GetValue(10001, &out), ErrNone);
  EXPECT_EQ(out, 2u);
  EXPECT_TRUE(SizesConsistent(*s));
}

TEST(Values, StringKindsAndCuts) {
  auto s = NewMemSession();
  const std::string longText(300, 'x');
  s->InsertValue(2001, longText.c_str(), 0);
  const void* p = nullptr;
  ASSERT_EQ(s->GetValuePtr(2001, &p), ErrNone);
  EXPECT_EQ(static_cast<const uint8_t*>(p)[0], 255);
  s->InsertValue(2002, "0123456789", 0);
  EXPECT_EQ(Payload(*s, 2002).size(), 11u);
  s->InsertValueS(2003, "abcdef", 3);
  EXPECT_EQ(Payload(*s, 2003), (std::vector<uint8_t>{'a', 'b', 'c'}));
  // A fixed TID ignores the size argument.
  const uint8_t bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  s->InsertValueS(10000, bytes, 99);
  EXPECT_EQ(Payload(*s, 10000).size(), 4u);
  // Long strings carry a 16-bit length.
  s->InsertValue(4500, "long", 0);
  ASSERT_EQ(s->GetValuePtr(4500, &p), ErrNone);
  EXPECT_EQ(std::memcmp(p, "\x05\x00long", 7), 0);
  EXPECT_EQ(Payload(*s, 4500).size(), 5u);
  EXPECT_TRUE(SizesConsistent(*s));
}

TEST(Values, ItemTidsAreNotValues) {
  auto s = NewMemSession();
  const uint32_t v = 1;
  EXPECT_FALSE(s->InsertValue(50, &v, 0));
  EXPECT_FALSE(s->InsertValue(0, &v, 0));
  EXPECT_EQ(s->GetValueCount(), 0);
}

TEST(Values, MarkedTextsReadInEveryFlavour) {
  auto s = NewMemSession();
  ASSERT_TRUE(s->InsertStringUTF8(2001, "AB"));
  const uint32_t n = 5;
  s->InsertValue(10005, &n, 0);
  EXPECT_EQ(Payload(*s, 2001), (std::vector<uint8_t>{'A', 'B', 0, 3}));
  char buf[8] = {};
  EXPECT_EQ(s->ReadStringUTF8(2001, buf, 3), 3u);
  EXPECT_STREQ(buf, "AB");
  EXPECT_EQ(s->ReadStringUTF8(2001, buf, 2), 0u);
  char16_t wbuf[8] = {};
  EXPECT_EQ(s->ReadStringUTF16(2001, wbuf, 3), 3u);
  EXPECT_EQ(std::u16string(wbuf), u"AB");
  EXPECT_EQ(s->GetBufferLenUTF16(2001), 5u);
  EXPECT_EQ(s->GetBufferLenUTF8(2001), 3u);

  ASSERT_TRUE(s->InsertStringUTF8(2002, ""));
  EXPECT_EQ(Payload(*s, 2002), (std::vector<uint8_t>{0, 3}));
}

TEST(Values, EightBitTextConvertsOnRead) {
  auto s = NewMemSession();
  s->InsertValue(2001, "Caf\xE9 \x80", 0);  // e-acute and the euro sign in 1252
  char buf[16] = {};
  EXPECT_EQ(s->GetBufferLenUTF8(2001), 10u);
  EXPECT_EQ(s->ReadStringUTF8(2001, buf, sizeof buf), 10u);
  EXPECT_STREQ(buf, "Caf\xC3\xA9 \xE2\x82\xAC");
  char16_t wbuf[16] = {};
  EXPECT_EQ(s->ReadStringUTF16(2001, wbuf, 16), 7u);
  EXPECT_EQ(std::u16string(wbuf), u"Caf\u00e9 \u20ac");
}

TEST(Values, OverlongTextIsCutAndReported) {
  auto s = NewMemSession();
  SetLastError(ErrNone);
  const std::u16string text(300, u'q');
  EXPECT_FALSE(s->InsertStringUTF16(2001, text.c_str()));
  EXPECT_EQ(GetLastError(), ErrDataSize);
  char buf[300];
  EXPECT_EQ(s->ReadStringUTF8(2001, buf, sizeof buf), 254u);
  EXPECT_EQ(Payload(*s, 2001).size(), 255u);
  SetLastError(ErrNone);
  EXPECT_TRUE(s->InsertStringUTF8(4000, std::string(1000, 'z').c_str()));
  EXPECT_EQ(GetLastError(), ErrNone);
}

TEST(Values, BlobsThroughAllocAndWrite) {
  auto s = NewMemSession();
  const uint32_t size = 100;
  s->DeleteValue(kTidData);
  s->DeleteValue(kTidDataSize);
  s->InsertValue(kTidDataSize, &size, 0);
  ASSERT_TRUE(s->AllocData(kTidData, size));
  const char src[10] = "ABCDEFGHI";
  EXPECT_FALSE(s->WriteData(kTidData, 95, src, 10));
  EXPECT_TRUE(s->WriteData(kTidData, 95, src, 5));
  const auto blob = Payload(*s, kTidData);
  ASSERT_EQ(blob.size(), 100u);
  EXPECT_EQ(std::memcmp(blob.data() + 95, "ABCDE", 5), 0);
  EXPECT_EQ(blob[0], 0);  // fresh storage is cleared
  Value* handle = s->GetValueHandle(kTidData);
  char part[5];
  EXPECT_TRUE(s->ReadValue(handle, 95, part, 5));
  EXPECT_FALSE(s->ReadValue(handle, 96, part, 5));
  EXPECT_TRUE(SizesConsistent(*s));
}

TEST(Values, DataWithoutSizeAndMissingValues) {
  auto s = NewMemSession();
  uint32_t n = 0;
  EXPECT_EQ(s->GetValSize(1234, &n), ErrValueNotFound);
  s->InsertValue(kTidData, "abc", 3);
  EXPECT_EQ(s->GetValSize(kTidData, &n), ErrDataSize);
  char buf[4];
  EXPECT_EQ(s->ReadStringUTF8(kTidData, buf, 4), 0u);
  EXPECT_EQ(s->GetValueHandle(999), nullptr);
}

TEST(Values, FileRefWithoutReadableFileNeverFakesSuccess) {
  auto s = NewMemSession();
  ASSERT_TRUE(s->InsertDataFile("/nonexistent/kestron4-test", 0, 16));
  uint32_t n = 0;
  EXPECT_EQ(s->GetValSize(kTidData, &n), ErrNone);
  EXPECT_EQ(n, 16u);
  std::vector<uint8_t> buf(16);
  EXPECT_EQ(s->GetValue(kTidData, buf.data()), ErrFileAccess);
  const void* p = reinterpret_cast<const void*>(1);
  EXPECT_EQ(s->GetValuePtr(kTidData, &p), ErrNone);
  EXPECT_EQ(p, nullptr);
  EXPECT_FALSE(s->WriteData(kTidData, 0, "x", 1));
  // Inserting real bytes drops the outside file.
  const uint32_t two = 2;
  s->DeleteValue(kTidData);
  s->DeleteValue(kTidDataSize);
  s->InsertValue(kTidDataSize, &two, 0);
  s->InsertValue(kTidData, "hi", 2);
  EXPECT_EQ(Payload(*s, kTidData), (std::vector<uint8_t>{'h', 'i'}));
  EXPECT_TRUE(SizesConsistent(*s));
}

TEST(Values, SizeGrowsByTheEncodedValueAtDepth) {
  auto s = NewMemSession();
  s->InsertItemBlocks(1, 1);
  s->OpenItem(1, 0);
  s->InsertItemBlocks(2, 1);
  s->OpenItem(2, 0);
  s->InsertItemBlocks(3, 1);
  s->OpenItem(3, 0);
  const uint64_t before = s->SessionSize();
  s->InsertValue(2001, "abcd", 0);
  EXPECT_EQ(s->SessionSize(), before + 2 + 6);
  s->DeleteValue(2001);
  EXPECT_EQ(s->SessionSize(), before);
}

}  // namespace
}  // namespace kestron4
