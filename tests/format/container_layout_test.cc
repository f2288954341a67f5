// The byte layout of containers, read from and written to raw bytes, and
// the file types told apart by their first bytes.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>

#include "container_test_util.h"
#include "format/file_type.h"
#include "format/session_load.h"
#include "storage/streams/mem_ref_stream.h"

namespace kestron4 {
namespace {

using testing::Bytes;
using testing::LoadBytes;
using testing::SavedBytes;

std::vector<uint64_t> ValueSizes(SessionCore& s, const ItemBlock* b) {
  std::vector<uint64_t> sizes;
  for (const Value* v = s.Values(b); v != nullptr; v = v->next) sizes.push_back(v->size);
  return sizes;
}

TEST(ContainerLayout, WorkedExamplesByteForByte) {
  auto empty = testing::NewMemSession(), oneItem = testing::NewMemSession(),
       oneValue = testing::NewMemSession();
  ASSERT_TRUE(oneItem->InsertItemBlocks(100, 1));
  ASSERT_TRUE(oneValue->InsertValue(1003, "\xb0\xb1\xb2\xb3\xb4", 0));
  const std::pair<SessionCore*, std::string> examples[] = {
      {empty.get(), Bytes().Header().U32(2).U16(0).s},
      {oneItem.get(), Bytes().Header().U32(12).U16(100).U16(1).U16(0).U32(2).U16(0).s},
      {oneValue.get(), Bytes().Header().U32(9).U16(1003).Raw("\xb0\xb1\xb2\xb3\xb4").U16(0).s}};
  for (const auto& [session, expected] : examples) {
    EXPECT_EQ(session->SessionSize(), expected.size());
    EXPECT_EQ(SavedBytes(*session), expected);
    ErrorCode code = 99;
    auto back = LoadBytes(expected, &code);
    ASSERT_EQ(code, ErrNone);
    EXPECT_TRUE(testing::SameTree(*session, *back));
  }
  EXPECT_EQ(examples[1].second.size(), 35u);
}

TEST(ContainerLayout, InterleavedEntriesAndWrongSizesLoadAndSaveNormalised) {
  const std::string file = Bytes().Header().U32(0xDEAD)  // sizes are never trusted
      .U16(1003).Raw("abcde").U16(100).U16(1).U16(10001).U32(7).U16(7).U16(2)
      .U16(2000).U8(2).Raw("hi").U16(0)
      .U32(99).U16(1130).U8(7).U16(0)  // the block of item 100
      .U32(0).U16(0).U32(1).U16(0)     // the two blocks of item 7
      .Raw("bytes after the root are never read").s;
  ErrorCode code = 99;
  auto s = LoadBytes(file, &code);
  ASSERT_EQ(code, ErrNone);
  EXPECT_EQ(testing::ValueList(*s), (std::vector<uint16_t>{1003, 10001, 2000}));
  EXPECT_EQ(testing::TypeList(*s), (std::vector<uint16_t>{100, 7}));
  EXPECT_EQ(s->GetItemCount(7), 2);
  EXPECT_TRUE(testing::SizesConsistent(*s));
  // Saved again: item entries first, then value entries, true sizes.
  EXPECT_EQ(SavedBytes(*s), Bytes().Header().U32(2 + 13 + 16 + 7 + 6 + 5)
                                .U16(100).U16(1).U16(7).U16(2)
                                .U16(1003).Raw("abcde").U16(10001).U32(7).U16(2000).U8(2).Raw("hi")
                                .U16(0).U32(5).U16(1130).U8(7).U16(0)
                                .U32(2).U16(0).U32(2).U16(0).s);
}

TEST(ContainerLayout, ValueLengthsFollowTheTidAndTheLatestDataSize) {
  const std::string file = Bytes().Header().U32(0)
      .U16(1066).U32(5).U16(1063).Raw("12345")           // takes five
      .U16(2000).U8(0).U16(2001).U8(255).Fill(255, 'a')  // 1 + n
      .U16(4000).U16(300).Fill(300, 'b').U16(1135).U16(1).Raw("z")  // 2 + n
      .U16(13999).Fill(8, 'f').U16(1169)                 // fixed 8; no size known: 0
      .U16(100).U16(2).U16(0)
      .U32(0).U16(1063).U16(0)                           // a child has its own data size
      .U32(0).U16(1063).U16(1066).U32(2).U16(0).s;       // none before it: no bytes
  ErrorCode code = 99;
  auto s = LoadBytes(file, &code);
  ASSERT_EQ(code, ErrNone);
  EXPECT_EQ(ValueSizes(*s, s->root()), (std::vector<uint64_t>{4, 5, 1, 256, 302, 3, 8, 0}));
  EXPECT_EQ(ValueSizes(*s, s->root()->firstItem->blocks[0]), (std::vector<uint64_t>{0}));
  EXPECT_EQ(ValueSizes(*s, s->root()->firstItem->blocks[1]), (std::vector<uint64_t>{0, 4}));
  EXPECT_EQ(SavedBytes(*s).size(), file.size());
}

TEST(ContainerLayout, LargeValuesCanStayInTheInput) {
  const std::string file =
      Bytes().Header().U32(0).U16(1066).U32(20).U16(1063).Fill(20, 'q').U16(12000).Fill(8, 'e')
          .U16(0).s;
  for (LargeValueHome home : {LargeValueHome::kView, LargeValueHome::kStream}) {
    auto s = testing::NewMemSession();
    TMemRefStream stream(file.data(), static_cast<int64_t>(file.size()));
    ASSERT_EQ(LoadFromStream(*s, stream, home), ErrNone);
    const Value* blob = s->FindValue(s->root(), kTidData);
    EXPECT_EQ(blob->home, home == LargeValueHome::kView ? ValueHome::kView : ValueHome::kStream);
    EXPECT_EQ(blob->fileOffset, 19 + 4 + 6 + 2);
    EXPECT_EQ(blob->size, 20u);
    EXPECT_EQ(s->FindValue(s->root(), 12000)->home, ValueHome::kArena);  // 8 bytes are copied
    EXPECT_EQ(s->root()->contentSize, 2u + 6 + 22 + 10);
  }
}

TEST(ContainerLayout, FileTypeHeaderCaseAndReferenceMode) {
  auto s = testing::NewMemSession();
  s->InsertItemBlocks(5, 3);
  std::string upper = Bytes().Header().U32(2).U16(1132).U8(1).U16(0).s;
  for (int i = 0; i < 18; ++i) upper[i] = static_cast<char>(std::toupper(upper[i]));
  ASSERT_EQ(s->LoadBuffer(upper.data(), static_cast<uint32_t>(upper.size())), ErrNone);
  EXPECT_EQ(s->GetTypeCount(), 0);  // a load replaces the tree
  EXPECT_EQ(s->current(), s->root());
  s->AfterOpen();
  EXPECT_EQ(s->referenceMode(), 1);
  const std::string nested = Bytes().Header().U32(0).U16(100).U16(1).U16(0)
      .U32(0).U16(1132).U8(1).U16(0).s;
  ASSERT_EQ(s->LoadBuffer(nested.data(), static_cast<uint32_t>(nested.size())), ErrNone);
  s->AfterOpen();
  EXPECT_EQ(s->referenceMode(), 0);  // only the root's marker counts

  EXPECT_EQ(s->LoadBuffer("VN15 V1.01 DISPLAY and more", 27), ErrFileType);
  EXPECT_EQ(s->GetFileType(), kFileTypeDisplay);  // kept although the load failed
  EXPECT_NE(s->LoadBuffer("RB41 V1.00 DATA FIL and more", 28), ErrFileType);
  EXPECT_EQ(s->GetFileType(), kFileTypeData);
  EXPECT_EQ(s->LoadBuffer("KESTRON", 7), ErrFileAccess);
  EXPECT_EQ(s->GetFileType(), kFileTypeData);  // nothing could be classified
  EXPECT_EQ(s->LoadBuffer(nullptr, 30), ErrFileAccess);
}


uint16_t Classify(std::string text) {
  text.resize(kFileTypeProbeSize, '#');
  uint8_t probe[kFileTypeProbeSize];
  std::memcpy(probe, text.data(), sizeof probe);
  return ClassifyFileHeader(probe);
}

TEST(FileType, MagicTableInAnyCaseAndItsNearMisses) {
  const std::pair<const char*, uint16_t> rows[] = {
      {"KESTRON V1.00 FILE\x1A", 0}, {"RB41 V1.00 STUP FIL", 1}, {"RB42 V1.00 STUP FIL", 13},
      {"RB42 V2.00 STUP FIL", 13},   {"RB41 V1.00 DATA FIL", 2}, {"RB41 V1.01 DATA FIL", 2},
      {"RB42 V2.00 DATA FIL", 2},    {"RB42 V1.00 DATA FIL", 14}, {"VN15 V1.00 DISPLAY ", 5},
      {"VN15 V1.01 DISPLAY ", 5},    {"VARN INI FILE", 7},       {"QF73 V1.00 FILE\x1A", 10}};
  for (const auto& [text, code] : rows) {
    std::string lower = text, mixed = text;
    for (std::size_t i = 0; i < lower.size(); ++i) {
      lower[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(lower[i])));
      if (i % 3 == 0) mixed[i] = lower[i];
    }
    EXPECT_EQ(Classify(text), code);
    EXPECT_EQ(Classify(lower), code);
    EXPECT_EQ(Classify(mixed), code);
  }
  for (const char* miss : {"KESTRON V1.00 FILE\x1B", "VN15 V1.00 DISPLAY_", "QF73 v3.00 file\x1A",
                           "\xEB" "ESTRON V1.00 FILE\x1A", ""})
    EXPECT_EQ(Classify(miss), kFileTypeUnknown) << miss;
  EXPECT_EQ(Classify("varn ini file!?"), kFileTypeSettings);  // only 13 bytes compared
  EXPECT_TRUE(IsConvertedFileType(12) && IsConvertedFileType(14) && !IsConvertedFileType(10));
}

TEST(FileType, DetectionReadsNineteenBytesFromTheStart) {
  const std::string file = "Kestron V1.00 FILE\x1Atail";
  TMemRefStream stream(file.data(), static_cast<int64_t>(file.size()));
  ASSERT_TRUE(stream.Seek(7, kSeekBegin));
  EXPECT_EQ(DetectFileType(stream), kFileTypeContainer);
  TMemRefStream tooShort("VARN INI FILE 18 by", 18);
  EXPECT_THROW(DetectFileType(tooShort), EReadError);
}

}  // namespace
}  // namespace kestron4
