// What the fuzz targets found, as behaviour of the C interface: each case
// failed (crash, giant allocation, corrupt file) before its fix. The inputs
// themselves are replayed from fuzz/regressions by the FuzzReplay tests.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "api/scoped_session.h"
#include "export/qf73/qf73_export.h"
#include "kestron4/kestron4.h"
#include "session/abstract_session.h"
#include "support/scratch_dir.h"

namespace kestron4 {
namespace {

std::vector<uint8_t> Saved(KSTRN_SessionHandle s) {
  std::vector<uint8_t> out(KSTRN_SaveSessionSize(s));
  if (!KSTRN_SaveSessionBuffer(out.data(), static_cast<uint32_t>(out.size()), s)) return {};
  return out;
}

// A container whose root holds a blob entered before its size value, the
// size claiming 4 GiB: the loader gives the blob no bytes, the size value
// keeps its claim.
std::string BlobSizeClaimingFourGiB() {
  std::string body;
  body += std::string("\x27\x04", 2);                  // 1063: no size read yet, no bytes
  body += std::string("\x2a\x04\xff\xff\xff\xff", 6);  // 1066 = 0xFFFFFFFF
  body += std::string("\x00\x00", 2);
  std::string file("KESTRON v1.00 file\x1a", 19);
  const auto size = static_cast<uint32_t>(body.size());
  file += std::string(reinterpret_cast<const char*>(&size), 4);
  return file + body;
}

TEST(FuzzFindings, TextReadsOfABlobTakeOnlyItsStoredBytes) {
  const std::string file = BlobSizeClaimingFourGiB();
  KSTRN_SessionHandle s = nullptr;
  ASSERT_TRUE(KSTRN_OpenSessionBuffer(file.data(), static_cast<uint32_t>(file.size()), &s));
  uint32_t claimed = 0;
  ASSERT_TRUE(KSTRN_GetValSize(1063, &claimed, s));
  EXPECT_EQ(claimed, 0xFFFFFFFFu);
  // Nothing stored: no text, and no room made for what the size claims.
  EXPECT_EQ(KSTRN_GetBufferLenUTF8(1063, s), 0u);
  EXPECT_EQ(KSTRN_GetBufferLenUTF16(1063, s), 0u);
  char text[8] = {};
  EXPECT_EQ(KSTRN_ReadStringUTF8(1063, text, sizeof text, s), 0u);

  // With some bytes stored they are the text, however much the size claims.
  KSTRN_InsertData(3, "ab", s);
  const uint32_t huge = 0xFFFFFFF0u;
  KSTRN_InsertValue(1066, &huge, s);
  EXPECT_EQ(KSTRN_GetBufferLenUTF8(1063, s), 3u);
  EXPECT_EQ(KSTRN_ReadStringUTF8(1063, text, sizeof text, s), 3u);
  EXPECT_STREQ(text, "ab");
  KSTRN_CloseSession(s);
}

TEST(FuzzFindings, TextIntoAFixedSizeValueIsPaddedWithZeros) {
  ScopedSession s;
  KSTRN_InsertValue(12000, "12345678", s);  // 8-byte TID, first filled
  EXPECT_TRUE(KSTRN_InsertStringUTF8(12000, "", s));
  uint8_t stored[8];
  ASSERT_TRUE(KSTRN_GetValue(12000, stored, s));
  const uint8_t expected[8] = {0, 3, 0, 0, 0, 0, 0, 0};  // NUL, the UTF-8 mark, zeros
  EXPECT_EQ(std::memcmp(stored, expected, sizeof stored), 0);
}

// A blob whose size value is changed (or deleted) on its own would be read
// back with the wrong length and shift every later field of the file.
TEST(FuzzFindings, ABlobThatDisagreesWithItsSizeValueIsNotSaved) {
  ScratchDir dir;
  const std::string path = dir.File("kept.kst");
  WriteWholeFile(path, "the previous file");
  ScopedSession s;
  KSTRN_InsertItemBlocks(100, 1, s);
  KSTRN_OpenItem(100, 0, s);
  KSTRN_InsertData(40, std::string(40, 'b').c_str(), s);
  const uint32_t nine = 9;
  KSTRN_InsertValue(1066, &nine, s);
  KSTRN_GotoRoot(s);

  std::vector<uint8_t> buffer(KSTRN_SaveSessionSize(s));
  EXPECT_FALSE(KSTRN_SaveSessionBuffer(buffer.data(), static_cast<uint32_t>(buffer.size()), s));
  EXPECT_EQ(KSTRN_GetLastEE(), uint32_t{KSTRN_ErrFileAccess});
  EXPECT_FALSE(KSTRN_SaveSession(path.c_str(), s));
  EXPECT_EQ(ReadWholeFile(path), "the previous file");
  EXPECT_EQ(dir.List(), std::vector<std::string>{"kept.kst"});

  // Deleting the size value alone is refused as well; a whole pair saves.
  KSTRN_OpenItem(100, 0, s);
  KSTRN_DeleteValue(1066, s);
  KSTRN_GotoRoot(s);
  EXPECT_TRUE(Saved(s).empty());
  KSTRN_OpenItem(100, 0, s);
  KSTRN_InsertData(9, "new blob", s);
  KSTRN_GotoRoot(s);
  EXPECT_TRUE(KSTRN_SaveSession(path.c_str(), s));
  KSTRN_SessionHandle back = nullptr;
  ASSERT_TRUE(KSTRN_OpenSession(path.c_str(), &back));
  KSTRN_OpenItem(100, 0, back);
  char blob[9] = {};
  EXPECT_TRUE(KSTRN_GetValue(1063, blob, back));
  EXPECT_STREQ(blob, "new blob");
  KSTRN_CloseSession(back);
}

// A reference keyed by a blob copies the blob and its size into the entry;
// the size must come first for the entry to read back.
TEST(FuzzFindings, AReferenceKeyedByABlobSurvivesASave) {
  ScopedSession s;
  KSTRN_InsertItemBlocks(100, 2, s);
  KSTRN_OpenItem(100, 0, s);
  KSTRN_InsertData(5, "key!", s);
  uint32_t mark = 0;
  KSTRN_AddBookMark(&mark, s);
  KSTRN_CloseItem(s);
  KSTRN_OpenItem(100, 1, s);
  ASSERT_TRUE(KSTRN_CreateReference(mark, 1, 1063, s));
  KSTRN_GotoRoot(s);

  const std::vector<uint8_t> bytes = Saved(s);
  ASSERT_FALSE(bytes.empty());
  KSTRN_SessionHandle back = nullptr;
  ASSERT_TRUE(KSTRN_OpenSessionBuffer(bytes.data(), static_cast<uint32_t>(bytes.size()), &back));
  EXPECT_EQ(Saved(back), bytes);
  uint32_t resolved = 0;
  EXPECT_TRUE(KSTRN_CheckIntegrity(&resolved, back));
  EXPECT_EQ(resolved, 1u);
  KSTRN_OpenItem(100, 1, back);
  EXPECT_TRUE(KSTRN_GotoReference(1, back));
  uint16_t tid = 0;
  uint32_t index = 9;
  EXPECT_TRUE(KSTRN_GetParentTID(&tid, &index, back));
  EXPECT_EQ(index, 0u);
  KSTRN_CloseSession(back);
}

// A configuration blob whose size value claims more than it holds is left
// out of the export, without room being made for the claim.
TEST(FuzzFindings, AnExportSkipsABlobShorterThanItsSizeValue) {
  ScratchDir dir;
  const std::string path = dir.File("config.qf73");
  const std::u16string wide(path.begin(), path.end());
  ScopedSession s;
  KSTRN_InsertItemBlocks(23, 1, s);
  KSTRN_OpenItem(23, 0, s);
  KSTRN_InsertItemBlocks(105, 1, s);
  KSTRN_InsertItemBlocks(199, 1, s);
  KSTRN_OpenItem(199, 0, s);
  KSTRN_InsertData(4, "abc", s);
  const uint32_t huge = 0xFFFFFF00u;
  KSTRN_InsertValue(1066, &huge, s);
  KSTRN_GotoRoot(s);
  EXPECT_TRUE(ExportQF73v3(*reinterpret_cast<AbstractSession*>(s.get()), wide.c_str()));
  EXPECT_EQ(ReadWholeFile(path).find("abc"), std::string::npos);
}

}  // namespace
}  // namespace kestron4
