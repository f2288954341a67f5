// Reading containers given as raw bytes: the layout rules, not the writer.
#include <gtest/gtest.h>

#include "container_test_util.h"
#include "format/file_type.h"
#include "format/session_load.h"
#include "storage/streams/mem_ref_stream.h"

namespace kestron4 {
namespace {

using testing::Bytes;
using testing::LoadBytes;
using testing::Payload;
using testing::SavedBytes;
using testing::SizesConsistent;
using testing::TypeList;
using testing::ValueList;

TEST(ContainerReader, InterleavedEntriesKeepTheirOwnOrder) {
  // value 1003, item 100 (1 block), value 10001, item 7 (2 blocks), value 2000
  Bytes file;
  file.Header().U32(0xDEAD)  // wrong on purpose: sizes are recomputed
      .U16(1003).Raw("abcde")
      .U16(100).U16(1)
      .U16(10001).U32(0x01020304)
      .U16(7).U16(2)
      .U16(2000).U8(2).Raw("hi")
      .U16(0)
      .U32(99).U16(1130).U8(7).U16(0)  // block of item 100
      .U32(0).U16(0)                   // first block of item 7
      .U32(1).U16(0);                  // second block of item 7
  ErrorCode code = 99;
  auto s = LoadBytes(file.str(), &code);
  ASSERT_EQ(code, ErrNone);
  EXPECT_EQ(s->GetFileType(), 0);
  EXPECT_EQ(ValueList(*s), (std::vector<uint16_t>{1003, 10001, 2000}));
  EXPECT_EQ(TypeList(*s), (std::vector<uint16_t>{100, 7}));
  EXPECT_EQ(s->GetItemCount(7), 2);
  EXPECT_EQ(Payload(*s, 2000), (std::vector<uint8_t>{'h', 'i'}));
  ASSERT_EQ(s->OpenItem(100, 0), ErrNone);
  uint8_t b = 0;
  EXPECT_EQ(s->GetValue(1130, &b), ErrNone);
  EXPECT_EQ(b, 7);
  EXPECT_TRUE(SizesConsistent(*s));

  // The same tree saved again: items first, then values, true sizes.
  Bytes expected;
  expected.Header().U32(2 + (4 + 9) + (4 + 6 + 6) + 7 + 6 + 5)
      .U16(100).U16(1).U16(7).U16(2)
      .U16(1003).Raw("abcde").U16(10001).U32(0x01020304).U16(2000).U8(2).Raw("hi")
      .U16(0)
      .U32(5).U16(1130).U8(7).U16(0)
      .U32(2).U16(0)
      .U32(2).U16(0);
  EXPECT_EQ(SavedBytes(*s), expected.str());
}

TEST(ContainerReader, DataLengthComesFromTheLatestSizeValueOfTheBlock) {
  Bytes file;
  file.Header().U32(0)
      .U16(1063)                  // before any 1066: no bytes
      .U16(1066).U32(5)
      .U16(1063).Raw("12345")     // takes five
      .U16(1066).U32(2)
      .U16(1063).Raw("xy")        // the latest 1066 counts
      .U16(100).U16(1)
      .U16(0)
      .U32(0).U16(1063).U16(0);   // a child does not inherit the length
  ErrorCode code = 99;
  auto s = LoadBytes(file.str(), &code);
  ASSERT_EQ(code, ErrNone);
  std::vector<uint64_t> sizes;
  for (Value* v = s->root()->firstValue; v != nullptr; v = v->next) sizes.push_back(v->size);
  EXPECT_EQ(sizes, (std::vector<uint64_t>{0, 4, 5, 4, 2}));
  EXPECT_EQ(s->root()->firstItem->blocks[0]->firstValue->size, 0u);
  Bytes expected;
  expected.Header().U32(2 + 4 + 8 + 2 + 6 + 7 + 6 + 4)
      .U16(100).U16(1)
      .U16(1063).U16(1066).U32(5).U16(1063).Raw("12345").U16(1066).U32(2).U16(1063).Raw("xy")
      .U16(0)
      .U32(4).U16(1063).U16(0);
  EXPECT_EQ(SavedBytes(*s), expected.str());
}

TEST(ContainerReader, VariableLengthsAtTheirLimits) {
  Bytes file;
  file.Header().U32(0)
      .U16(2000).U8(0)
      .U16(2001).U8(255).Fill(255, 'a')
      .U16(4000).U16(0)
      .U16(4001).U16(300).Fill(300, 'b')
      .U16(1135).U16(1).Raw("z")
      .U16(13999).U32(0).U32(0)   // fixed 8
      .U16(1169)                  // a value TID without a size: no bytes
      .U16(0)
      .Raw("trailing bytes are never read");
  ErrorCode code = 99;
  auto s = LoadBytes(file.str(), &code);
  ASSERT_EQ(code, ErrNone);
  std::vector<uint64_t> sizes;
  for (Value* v = s->root()->firstValue; v != nullptr; v = v->next) sizes.push_back(v->size);
  EXPECT_EQ(sizes, (std::vector<uint64_t>{1, 256, 2, 302, 3, 8, 0}));
  const std::string saved = SavedBytes(*s);
  EXPECT_EQ(saved.size(), file.size() - std::string("trailing bytes are never read").size());
  EXPECT_EQ(saved.substr(23), file.str().substr(23, saved.size() - 23));
}

TEST(ContainerReader, LargeValuesCanStayInTheInput) {
  Bytes file;
  file.Header().U32(0)
      .U16(1066).U32(20)
      .U16(1063).Fill(20, 'q')
      .U16(12000).U32(1).U32(2)   // exactly 8 bytes: always copied
      .U16(0);
  for (LargeValueHome home : {LargeValueHome::kView, LargeValueHome::kStream}) {
    auto s = testing::NewMemSession();
    TMemRefStream stream(file.str().data(), static_cast<int64_t>(file.size()));
    ASSERT_EQ(LoadFromStream(*s, stream, home), ErrNone);
    const Value* blob = SessionCore::FindValue(s->root(), kTidData);
    ASSERT_NE(blob, nullptr);
    EXPECT_EQ(blob->home, home == LargeValueHome::kView ? ValueHome::kView : ValueHome::kStream);
    EXPECT_EQ(blob->fileOffset, 19 + 4 + 6 + 2);
    EXPECT_EQ(blob->size, 20u);
    const Value* fixed = SessionCore::FindValue(s->root(), 12000);
    EXPECT_TRUE(fixed->InMemory());
    EXPECT_EQ(fixed->inl[4], 2);
    EXPECT_EQ(s->root()->contentSize, 2u + 6 + 22 + 10);
  }
}

TEST(ContainerReader, HeaderCaseDoesNotMatterAndANewLoadReplacesTheTree) {
  auto s = testing::NewMemSession();
  s->InsertItemBlocks(5, 3);
  Bytes upper;
  upper.Header().U32(2).U16(0);
  std::string bytes = upper.str();
  for (int i = 0; i < 18; ++i) bytes[i] = static_cast<char>(std::toupper(bytes[i]));
  EXPECT_EQ(s->LoadBuffer(bytes.data(), static_cast<uint32_t>(bytes.size())), ErrNone);
  EXPECT_EQ(s->GetTypeCount(), 0);
  EXPECT_EQ(s->current(), s->root());
  EXPECT_EQ(s->SessionSize(), 25u);
}

TEST(ContainerReader, OtherFileTypesAreRefusedButRemembered) {
  auto s = testing::NewMemSession();
  const std::string display = "VN15 V1.01 DISPLAY and more";
  EXPECT_EQ(s->LoadBuffer(display.data(), static_cast<uint32_t>(display.size())), ErrFileType);
  EXPECT_EQ(s->GetFileType(), kFileTypeDisplay);
  const std::string logger = "RB41 V1.00 DATA FIL and more";
  const ErrorCode converted =
      s->LoadBuffer(logger.data(), static_cast<uint32_t>(logger.size()));
  EXPECT_NE(converted, ErrFileType);
  EXPECT_EQ(s->GetFileType(), kFileTypeData);
  const std::string tiny = "KESTRON";
  EXPECT_EQ(s->LoadBuffer(tiny.data(), static_cast<uint32_t>(tiny.size())), ErrFileAccess);
  EXPECT_EQ(s->GetFileType(), kFileTypeData);  // nothing was classified
  EXPECT_EQ(s->LoadBuffer(nullptr, 0), ErrFileAccess);
  EXPECT_EQ(s->LoadBuffer(nullptr, 30), ErrFileAccess);
}

TEST(ContainerReader, AfterOpenTakesTheReferenceModeFromTheRoot) {
  Bytes with;
  with.Header().U32(0).U16(1132).U8(1).U16(0);
  ErrorCode code = 99;
  auto s = LoadBytes(with.str(), &code);
  ASSERT_EQ(code, ErrNone);
  s->AfterOpen();
  EXPECT_EQ(s->referenceMode(), 1);
  Bytes without;
  without.Header().U32(0).U16(100).U16(1).U16(0).U32(0).U16(1132).U8(1).U16(0);
  ASSERT_EQ(s->LoadBuffer(without.str().data(), static_cast<uint32_t>(without.size())), ErrNone);
  s->AfterOpen();
  EXPECT_EQ(s->referenceMode(), 0);  // only the root's marker counts
}

}  // namespace
}  // namespace kestron4
