// How each kind of export reports: through the cell with the operation's
// code, with one fixed code for a false result, or not at all.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "api/scoped_session.h"
#include "kestron4/kestron4.h"
#include "session/last_error.h"
#include "session/session_core.h"

namespace kestron4 {
namespace {

constexpr uint16_t kItem = 7;
constexpr uint16_t kText = 2001;  // short string
constexpr uint16_t kLong = 1018;  // fixed, 4 bytes

std::vector<uint16_t> ValueList(KSTRN_SessionHandle s) {
  uint16_t count = 0;
  EXPECT_TRUE(KSTRN_GetValueCount(&count, s));
  std::vector<uint16_t> tids(count);
  if (count != 0) {
    EXPECT_TRUE(KSTRN_GetValueList(tids.data(), s));
  }
  return tids;
}

TEST(ReportTest, CodeAndMappedFunctionsSetTheCellEitherWay) {
  ScopedSession s;
  EXPECT_FALSE(KSTRN_OpenItem(kItem, 0, s));
  EXPECT_EQ(KSTRN_GetLastEE(), ErrTypeNotFound);
  EXPECT_FALSE(KSTRN_FindType(kItem, 0, nullptr, s));
  EXPECT_EQ(KSTRN_GetLastEE(), ErrTypeNotFound);
  EXPECT_FALSE(KSTRN_FindLocalTypeUTF16(kItem, 0, u"", s));
  EXPECT_EQ(KSTRN_GetLastEE(), ErrTypeNotFound);
  EXPECT_FALSE(KSTRN_DeleteValue(kText, s));
  EXPECT_EQ(KSTRN_GetLastEE(), ErrValueNotFound);
  EXPECT_FALSE(KSTRN_ChangeTID(8, s));
  EXPECT_EQ(KSTRN_GetLastEE(), ErrPastLastBlock);
  EXPECT_FALSE(KSTRN_GotoBookMark(0, s));
  EXPECT_EQ(KSTRN_GetLastEE(), ErrNoBookmark);
  EXPECT_FALSE(KSTRN_RemoveBookMark(1, s));
  EXPECT_EQ(KSTRN_GetLastEE(), ErrNoBookmark);
  uint32_t size = 0;
  EXPECT_FALSE(KSTRN_GetValSize(kText, &size, s));
  EXPECT_EQ(KSTRN_GetLastEE(), ErrValueNotFound);

  ASSERT_TRUE(KSTRN_InsertItemBlocks(kItem, 2, s));
  EXPECT_EQ(KSTRN_GetLastEE(), 0u);
  SetLastError(ErrTypeNotFound);
  EXPECT_TRUE(KSTRN_FindLocalType(kItem, 0, nullptr, s));
  EXPECT_EQ(KSTRN_GetLastEE(), 0u);
  SetLastError(ErrTypeNotFound);
  EXPECT_TRUE(KSTRN_NextItem(s));
  EXPECT_EQ(KSTRN_GetLastEE(), 0u);
  uint32_t mark = 0;
  EXPECT_TRUE(KSTRN_AddBookMark(&mark, s));
  SetLastError(ErrTypeNotFound);
  EXPECT_FALSE(KSTRN_BookMarksEquivalent(mark, mark + 1, s)) << "an answer, not an error";
  EXPECT_EQ(KSTRN_GetLastEE(), 0u);
  SetLastError(ErrTypeNotFound);
  EXPECT_TRUE(KSTRN_CloseItem(s));
  EXPECT_TRUE(KSTRN_CloseItem(s)) << "at the root nothing happens, still success";
  EXPECT_EQ(KSTRN_GetLastEE(), 0u);
}

TEST(ReportTest, DirectFunctionsLeaveTheCellAlone) {
  ScopedSession s;
  const uint32_t four = 0x01020304;
  SetLastError(ErrTypeNotFound);

  EXPECT_TRUE(KSTRN_InsertValue(kLong, &four, s));
  EXPECT_TRUE(KSTRN_InsertValueS(kText, "abcdef", 3, s));
  EXPECT_TRUE(KSTRN_InsertStringUTF8(2002, "short", s));
  EXPECT_EQ(KSTRN_GetValueHandle(2999, s), nullptr);
  KSTRN_ValueHandle value = KSTRN_GetValueHandle(kLong, s);
  ASSERT_NE(value, nullptr);
  uint8_t bytes[8] = {};
  EXPECT_TRUE(KSTRN_ReadValue(value, 0, bytes, 4, s));
  EXPECT_FALSE(KSTRN_ReadValue(value, 1, bytes, 4, s));
  char text[16] = {};
  EXPECT_EQ(KSTRN_ReadStringUTF8(2999, text, sizeof text, s), 0u);
  EXPECT_EQ(KSTRN_GetBufferLenUTF16(2999, s), 0u);
  EXPECT_EQ(KSTRN_SaveSessionSize(s), KSTRN_SerializeItemSize(s));
  EXPECT_EQ(KSTRN_CreateStream(s), nullptr);
  EXPECT_EQ(KSTRN_ReadValueStream(nullptr, value, 0, bytes, 1, s), ErrRefNotFound);
  EXPECT_TRUE(KSTRN_MoveToRAM(s));
  EXPECT_TRUE(KSTRN_Unmap(s));
  EXPECT_TRUE(KSTRN_Remap(s));
  KSTRN_DestroyStream(nullptr, s);
  uint16_t type = 99;
  EXPECT_TRUE(KSTRN_GetFileType(&type, s));
  EXPECT_EQ(type, 0);
  uint8_t checksum = 99;
  EXPECT_TRUE(KSTRN_GetCheckSum(&checksum));
  EXPECT_EQ(checksum, 0);
  EXPECT_TRUE(KSTRN_IsValueID(1000));
  EXPECT_FALSE(KSTRN_IsValueID(999));
  EXPECT_EQ(KSTRN_ValSize(kLong, 0), 4u);
  EXPECT_TRUE(KSTRN_ValCompare(kLong, &four, &four));
  uint8_t packed[16] = {};
  EXPECT_EQ(KSTRN_Compress("abc", packed, 3), 4);
  EXPECT_EQ(KSTRN_DeCompress(packed, bytes, 4), 3);
  packed[0] = 0x55;
  EXPECT_EQ(KSTRN_Compress("abc", packed, -1), 0);
  EXPECT_EQ(packed[0], 0x55) << "a negative length touches nothing";
  EXPECT_EQ(KSTRN_DeCompress(packed, bytes, -4), 0);
  EXPECT_EQ(KSTRN_GetLastEE(), ErrTypeNotFound);

  EXPECT_TRUE(KSTRN_CompareValues(kLong, &four, &four)) << "this one stores 0";
  EXPECT_EQ(KSTRN_GetLastEE(), 0u);
}

TEST(ReportTest, CutStringReportsSixteen) {
  ScopedSession s;
  SetLastError(ErrTypeNotFound);
  EXPECT_TRUE(KSTRN_InsertStringUTF16(kText, u"\u00e9t\u00e9", s));
  EXPECT_EQ(KSTRN_GetLastEE(), ErrTypeNotFound) << "a text that fits leaves the cell";
  const std::string text(300, 'a');
  EXPECT_FALSE(KSTRN_InsertStringUTF8(kText, text.c_str(), s));
  EXPECT_EQ(KSTRN_GetLastEE(), ErrDataSize);
  EXPECT_EQ(KSTRN_GetBufferLenUTF8(kText, s), 254u) << "the cut text is stored";
}

TEST(ReportTest, ParentTidWritesTheIndexEvenAtTheRoot) {
  ScopedSession s;
  uint16_t tid = 777;
  uint32_t index = 99;
  EXPECT_FALSE(KSTRN_GetParentTID(&tid, &index, s));
  EXPECT_EQ(KSTRN_GetLastEE(), ErrTypeNotFound);
  EXPECT_EQ(tid, 777);
  EXPECT_EQ(index, 0u);
  ASSERT_TRUE(KSTRN_InsertItemBlocks(kItem, 3, s));
  ASSERT_TRUE(KSTRN_OpenItem(kItem, 1, s));
  EXPECT_TRUE(KSTRN_GetParentTID(&tid, &index, s));
  EXPECT_EQ(KSTRN_GetLastEE(), 0u);
  EXPECT_EQ(tid, kItem);
  EXPECT_EQ(index, 1u);
}

TEST(ReportTest, InsertItemBlocksRefusesZeroAndOverflow) {
  ScopedSession s;
  EXPECT_FALSE(KSTRN_InsertItemBlocks(kItem, 0, s));
  EXPECT_EQ(KSTRN_GetLastEE(), ErrBadCount);
  uint16_t count = 99;
  ASSERT_TRUE(KSTRN_GetTypeCount(&count, s));
  EXPECT_EQ(count, 0) << "a refused insert touches nothing";

  ASSERT_TRUE(KSTRN_InsertItemBlocks(kItem, 65535, s));
  EXPECT_FALSE(KSTRN_InsertItemBlocks(kItem, 1, s));
  EXPECT_EQ(KSTRN_GetLastEE(), ErrBadCount);
  ASSERT_TRUE(KSTRN_GetItemCount(kItem, &count, s));
  EXPECT_EQ(count, 65535) << "the block count must not wrap";
}

TEST(ReportTest, BlobFunctionsReplaceThePairAndReportZero) {
  ScopedSession s;
  const uint32_t four = 4;
  ASSERT_TRUE(KSTRN_AllocData(100, s));
  ASSERT_TRUE(KSTRN_InsertValue(kLong, &four, s));
  EXPECT_EQ(ValueList(s), (std::vector<uint16_t>{1066, 1063, kLong}));

  SetLastError(ErrTypeNotFound);
  EXPECT_TRUE(KSTRN_InsertData(3, "xyz", s));
  EXPECT_EQ(KSTRN_GetLastEE(), 0u);
  EXPECT_EQ(ValueList(s), (std::vector<uint16_t>{kLong, 1066, 1063}))
      << "both values deleted and appended again, size first";
  uint32_t size = 0;
  ASSERT_TRUE(KSTRN_GetValSize(1063, &size, s));
  EXPECT_EQ(size, 3u);

  ASSERT_TRUE(KSTRN_AllocData(100, s));
  SetLastError(ErrTypeNotFound);
  EXPECT_TRUE(KSTRN_WriteData(10, "0123456789", 95, s)) << "out of range: nothing written";
  EXPECT_EQ(KSTRN_GetLastEE(), 0u);
}

TEST(ReportTest, DataFileTakesNullPointersAsZero) {
  ScopedSession s;
  SetLastError(ErrTypeNotFound);
  EXPECT_TRUE(KSTRN_InsertDataFile("/nonexistent/file", nullptr, nullptr, s));
  EXPECT_EQ(KSTRN_GetLastEE(), 0u);
  uint32_t size = 99;
  ASSERT_TRUE(KSTRN_GetValSize(1063, &size, s));
  EXPECT_EQ(size, 0u);

  const uint64_t offset = 10, length = 0x100000007ull;
  EXPECT_TRUE(KSTRN_InsertDataFileW(u"/nonexistent/file", &offset, &length, s));
  ASSERT_TRUE(KSTRN_GetValSize(1063, &size, s));
  EXPECT_EQ(size, 7u) << "the size value holds the low 32 bits";
}

TEST(ReportTest, OpenOfMissingPathMakesNoSession) {
  const auto sentinel = reinterpret_cast<KSTRN_SessionHandle>(0x1234);
  KSTRN_SessionHandle s = sentinel;
  SetLastError(ErrNone);
  EXPECT_FALSE(KSTRN_OpenSession("/nonexistent/kestron4/file", &s));
  EXPECT_EQ(KSTRN_GetLastEE(), ErrFileNotFound);
  EXPECT_FALSE(KSTRN_OpenSessionW(u"/nonexistent/kestron4/file", &s));
  EXPECT_EQ(KSTRN_GetLastEE(), ErrFileNotFound);
  SetLastError(ErrNone);
  EXPECT_FALSE(KSTRN_OpenStreamedSessionW(u"", &s));
  EXPECT_EQ(KSTRN_GetLastEE(), ErrFileNotFound);
  SetLastError(ErrNone);
  EXPECT_FALSE(KSTRN_OpenSession(nullptr, &s));
  EXPECT_EQ(KSTRN_GetLastEE(), ErrFileNotFound);
  EXPECT_EQ(s, sentinel);

  // One trailing separator is dropped before the test: the directory exists,
  // so a session is made (whatever its load then says).
  EXPECT_FALSE(KSTRN_OpenSession("/tmp/", &s));
  EXPECT_NE(KSTRN_GetLastEE(), ErrFileNotFound);
  EXPECT_NE(s, sentinel);
  EXPECT_TRUE(KSTRN_CloseSession(s));
}

// A session whose operations throw, as an allocation failure deep inside
// would: the exports must turn that into their failure result.
class ThrowingSession : public SessionCore {
 public:
  ErrorCode OpenItem(Tid, int32_t) override { throw std::bad_alloc(); }
  bool FindType(Tid, Tid, const void*) override { throw std::runtime_error("find"); }
  uint64_t SessionSize() override { throw std::bad_alloc(); }
  Value* GetValueHandle(Tid) override { throw std::bad_alloc(); }
  uint16_t GetTypeCount() override { throw 42; }
};

TEST(ReportTest, ExceptionsBecomeFailureAndCodeOne) {
  ThrowingSession session;
  const auto s = reinterpret_cast<KSTRN_SessionHandle>(static_cast<AbstractSession*>(&session));
  SetLastError(ErrNone);
  EXPECT_FALSE(KSTRN_OpenItem(kItem, 0, s));
  EXPECT_EQ(KSTRN_GetLastEE(), ErrFileAccess);
  SetLastError(ErrNone);
  EXPECT_FALSE(KSTRN_FindType(kItem, 0, nullptr, s));
  EXPECT_EQ(KSTRN_GetLastEE(), ErrFileAccess);
  SetLastError(ErrNone);
  uint16_t count = 5;
  EXPECT_FALSE(KSTRN_GetTypeCount(&count, s));
  EXPECT_EQ(KSTRN_GetLastEE(), ErrFileAccess);
  EXPECT_EQ(count, 5);

  SetLastError(ErrValueNotFound);
  EXPECT_EQ(KSTRN_SaveSessionSize(s), 0u);
  EXPECT_EQ(KSTRN_GetValueHandle(kText, s), nullptr);
  EXPECT_EQ(KSTRN_GetLastEE(), ErrValueNotFound) << "direct functions still leave the cell";
}

}  // namespace
}  // namespace kestron4

namespace kestron4 {
namespace {

// The export is reached through the C interface: it writes a file on
// success; a session without a logger configuration creates nothing and
// reports failure. Neither changes the caller's last error.
TEST(ExportQF73Interface, WritesAFileAndKeepsTheLastError) {
  const std::string path = ::testing::TempDir() + "kestron4_api_export.qf73";
  const std::u16string wide(path.begin(), path.end());
  std::remove(path.c_str());
  ScopedSession s;
  KSTRN_NextItem(s);  // at the root: leaves 6 in the cell
  EXPECT_FALSE(KSTRN_ExportQF73v3(wide.c_str(), s));
  EXPECT_EQ(KSTRN_GetLastEE(), 6u);
  FILE* none = std::fopen(path.c_str(), "rb");
  EXPECT_EQ(none, nullptr);
  if (none != nullptr) std::fclose(none);

  ASSERT_TRUE(KSTRN_InsertItemBlocks(23, 1, s));
  ASSERT_TRUE(KSTRN_OpenItem(23, 0, s));
  ASSERT_TRUE(KSTRN_InsertItemBlocks(105, 1, s));
  KSTRN_NextItem(s);  // leaves 6 in the cell
  ASSERT_EQ(KSTRN_GetLastEE(), 6u);
  EXPECT_TRUE(KSTRN_ExportQF73v3(wide.c_str(), s));
  EXPECT_EQ(KSTRN_GetLastEE(), 6u);
  FILE* file = std::fopen(path.c_str(), "rb");
  ASSERT_NE(file, nullptr);
  char magic[16] = {};
  EXPECT_EQ(std::fread(magic, 1, 16, file), 16u);
  std::fclose(file);
  EXPECT_EQ(std::string(magic, 16), std::string("QF73 v3.00 file\x1a", 16));
  std::remove(path.c_str());
}

}  // namespace
}  // namespace kestron4
