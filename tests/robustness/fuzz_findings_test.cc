// What the fuzz targets found, as behaviour of the C interface: each case
// failed (crash, giant allocation, corrupt file) before its fix. The inputs
// themselves are replayed from fuzz/regressions by the FuzzReplay tests.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "export/qf73/qf73_export.h"
#include "robustness/fault_sweep.h"
#include "session/abstract_session.h"

namespace kestron4::robustness {
namespace {

// A session of the interface that closes itself.
struct Session {
  KSTRN_SessionHandle h = nullptr;
  Session() { EXPECT_TRUE(KSTRN_NewSession(&h)); }
  Session(const void* bytes, std::size_t size) {
    EXPECT_TRUE(KSTRN_OpenSessionBuffer(bytes, static_cast<uint32_t>(size), &h));
  }
  ~Session() { KSTRN_CloseSession(h); }
  operator KSTRN_SessionHandle() const { return h; }
};

// A blob whose 1066 claims 4 GiB (entered after the blob, so no bytes were
// read): text reads take only the stored bytes, and make no room for the claim.
TEST(FuzzFindings, TextReadsOfABlobTakeOnlyItsStoredBytes) {
  const std::string file = std::string("KESTRON v1.00 file\x1a\x0a\0\0\0", 23) +
                           std::string("\x27\x04\x2a\x04\xff\xff\xff\xff\x00\x00", 10);
  Session s(file.data(), file.size());
  uint32_t claimed = 0;
  ASSERT_TRUE(KSTRN_GetValSize(1063, &claimed, s));
  EXPECT_EQ(claimed, 0xFFFFFFFFu);
  EXPECT_EQ(KSTRN_GetBufferLenUTF8(1063, s), 0u);
  EXPECT_EQ(KSTRN_GetBufferLenUTF16(1063, s), 0u);
  char text[8] = {};
  EXPECT_EQ(KSTRN_ReadStringUTF8(1063, text, sizeof text, s), 0u);
  KSTRN_InsertData(3, "ab", s);
  const uint32_t huge = 0xFFFFFFF0u;
  KSTRN_InsertValue(1066, &huge, s);
  EXPECT_EQ(KSTRN_GetBufferLenUTF8(1063, s), 3u);
  EXPECT_EQ(KSTRN_ReadStringUTF8(1063, text, sizeof text, s), 3u);
  EXPECT_STREQ(text, "ab");
}

TEST(FuzzFindings, TextIntoAFixedSizeValueIsPaddedWithZeros) {
  Session s;
  KSTRN_InsertValue(12000, "12345678", s);
  EXPECT_TRUE(KSTRN_InsertStringUTF8(12000, "", s));
  uint8_t stored[8];
  ASSERT_TRUE(KSTRN_GetValue(12000, stored, s));
  const uint8_t expected[8] = {0, 3, 0, 0, 0, 0, 0, 0};  // NUL, the UTF-8 mark, zeros
  EXPECT_EQ(std::memcmp(stored, expected, sizeof stored), 0);
}

// A blob whose size value is changed or deleted on its own would be read
// back with the wrong length and shift every later field of the file.
TEST(FuzzFindings, ABlobThatDisagreesWithItsSizeValueIsNotSaved) {
  ScratchDir dir;
  const std::string path = dir.File("kept.kst");
  WriteWholeFile(path, "the previous file");
  Session s;
  KSTRN_InsertItemBlocks(100, 1, s);
  KSTRN_OpenItem(100, 0, s);
  KSTRN_InsertData(40, std::string(40, 'b').c_str(), s);
  const uint32_t nine = 9;
  KSTRN_InsertValue(1066, &nine, s);
  KSTRN_GotoRoot(s);
  EXPECT_TRUE(SavedBytes(s).empty());
  EXPECT_EQ(KSTRN_GetLastEE(), uint32_t{KSTRN_ErrFileAccess});
  EXPECT_FALSE(KSTRN_SaveSession(path.c_str(), s));
  EXPECT_EQ(ReadWholeFile(path), "the previous file");
  EXPECT_EQ(dir.List(), std::vector<std::string>{"kept.kst"});

  KSTRN_OpenItem(100, 0, s);
  KSTRN_DeleteValue(1066, s);
  KSTRN_GotoRoot(s);
  EXPECT_TRUE(SavedBytes(s).empty());
  KSTRN_OpenItem(100, 0, s);
  KSTRN_InsertData(9, "new blob", s);  // a whole pair again
  KSTRN_GotoRoot(s);
  EXPECT_TRUE(KSTRN_SaveSession(path.c_str(), s));
  const std::string saved = ReadWholeFile(path);
  Session back(saved.data(), saved.size());
  KSTRN_OpenItem(100, 0, back);
  char blob[9] = {};
  EXPECT_TRUE(KSTRN_GetValue(1063, blob, back));
  EXPECT_STREQ(blob, "new blob");
}

// A reference keyed by a blob copies the blob and its size into the entry;
// the size must come first for the entry to read back.
TEST(FuzzFindings, AReferenceKeyedByABlobSurvivesASave) {
  Session s;
  KSTRN_InsertItemBlocks(100, 2, s);
  KSTRN_OpenItem(100, 0, s);
  KSTRN_InsertData(5, "key!", s);
  uint32_t mark = 0;
  KSTRN_AddBookMark(&mark, s);
  KSTRN_CloseItem(s);
  KSTRN_OpenItem(100, 1, s);
  ASSERT_TRUE(KSTRN_CreateReference(mark, 1, 1063, s));
  KSTRN_GotoRoot(s);
  const std::vector<uint8_t> bytes = SavedBytes(s);
  ASSERT_FALSE(bytes.empty());
  Session back(bytes.data(), bytes.size());
  EXPECT_EQ(SavedBytes(back), bytes);
  uint32_t resolved = 0;
  EXPECT_TRUE(KSTRN_CheckIntegrity(&resolved, back));
  EXPECT_EQ(resolved, 1u);
  KSTRN_OpenItem(100, 1, back);
  EXPECT_TRUE(KSTRN_GotoReference(1, back));
  uint16_t tid = 0;
  uint32_t index = 9;
  EXPECT_TRUE(KSTRN_GetParentTID(&tid, &index, back));
  EXPECT_EQ(index, 0u);
}

// A configuration blob whose size value claims more than it holds is left
// out of the export, without room being made for the claim.
TEST(FuzzFindings, AnExportSkipsABlobShorterThanItsSizeValue) {
  ScratchDir dir;
  const std::string path = dir.File("config.qf73");
  Session s;
  KSTRN_InsertItemBlocks(23, 1, s);
  KSTRN_OpenItem(23, 0, s);
  KSTRN_InsertItemBlocks(105, 1, s);
  KSTRN_InsertItemBlocks(199, 1, s);
  KSTRN_OpenItem(199, 0, s);
  KSTRN_InsertData(4, "abc", s);
  const uint32_t huge = 0xFFFFFF00u;
  KSTRN_InsertValue(1066, &huge, s);
  KSTRN_GotoRoot(s);
  EXPECT_TRUE(ExportQF73v3(*reinterpret_cast<AbstractSession*>(s.h), Wide(path).c_str()));
  EXPECT_EQ(ReadWholeFile(path).find("abc"), std::string::npos);
}

}  // namespace
}  // namespace kestron4::robustness
