// How each kind of export reports: through the cell with the operation's
// code, with one fixed code for a false result, or not at all.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "api/scoped_session.h"
#include "kestron4/kestron4.h"
#include "session/last_error.h"
#include "session/session_core.h"
#include "support/caller_file.h"

namespace kestron4 {
namespace {

using H = KSTRN_SessionHandle;
constexpr uint16_t kItem = 7;
constexpr uint16_t kText = 2001;  // short string
constexpr uint16_t kLong = 1018;  // fixed, 4 bytes
constexpr uint32_t kLeft = 999;   // in the cell before each call: "left alone"

// What a call returned and what it left in the cell, which holds kLeft
// before the call.
struct Report {
  bool result;
  uint32_t cell;
  bool operator==(const Report&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Report& r) {
  return out << "{" << r.result << ", " << r.cell << "}";
}
template <typename Call>
Report Try(Call call) {
  SetLastError(kLeft);
  const bool result = call();
  const Report report{result, KSTRN_GetLastEE()};
  SetLastError(ErrNone);
  return report;
}
constexpr Report kFailed5{false, ErrTypeNotFound}, kDone{true, 0}, kDirect{true, kLeft};

TEST(ReportTest, OperationsReportTheirCodeOnSuccessToo) {
  ScopedSession s;
  uint32_t mark = 0, index = 99, size = 0;
  uint16_t tid = 777, count = 99;
  EXPECT_EQ(Try([&] { return KSTRN_OpenItem(kItem, 0, s); }), kFailed5);
  EXPECT_EQ(Try([&] { return KSTRN_FindType(kItem, 0, nullptr, s); }), kFailed5);
  EXPECT_EQ(Try([&] { return KSTRN_FindLocalTypeUTF16(kItem, 0, W(u""), s); }), kFailed5);
  EXPECT_EQ(Try([&] { return KSTRN_DeleteValue(kText, s); }), (Report{false, ErrValueNotFound}));
  EXPECT_EQ(Try([&] { return KSTRN_GetValSize(kText, &size, s); }), (Report{false, 7}));
  EXPECT_EQ(Try([&] { return KSTRN_ChangeTID(8, s); }), (Report{false, ErrPastLastBlock}));
  EXPECT_EQ(Try([&] { return KSTRN_GotoBookMark(0, s); }), (Report{false, ErrNoBookmark}));
  EXPECT_EQ(Try([&] { return KSTRN_RemoveBookMark(1, s); }), (Report{false, ErrNoBookmark}));
  // At the root: no parent, but the index is written.
  EXPECT_EQ(Try([&] { return KSTRN_GetParentTID(&tid, &index, s); }), kFailed5);
  EXPECT_EQ(tid, 777);
  EXPECT_EQ(index, 0u);
  EXPECT_EQ(Try([&] { return KSTRN_InsertItemBlocks(kItem, 0, s); }), (Report{false, 12}));
  ASSERT_TRUE(KSTRN_GetTypeCount(&count, s));
  EXPECT_EQ(count, 0) << "a refused insert touches nothing";
  EXPECT_EQ(Try([&] { return KSTRN_InsertItemBlocks(kItem, 2, s); }), kDone);
  EXPECT_EQ(Try([&] { return KSTRN_FindLocalType(kItem, 0, nullptr, s); }), kDone);
  EXPECT_EQ(Try([&] { return KSTRN_NextItem(s); }), kDone);
  EXPECT_EQ(Try([&] { return KSTRN_GetParentTID(&tid, &index, s); }), kDone);
  EXPECT_EQ(tid, kItem);
  EXPECT_EQ(index, 1u);
  ASSERT_TRUE(KSTRN_AddBookMark(&mark, s));
  // Different blocks are an answer, not an error.
  EXPECT_EQ(Try([&] { return KSTRN_BookMarksEquivalent(mark, mark + 1, s); }), (Report{false, 0}));
  EXPECT_EQ(Try([&] { return KSTRN_CloseItem(s); }), kDone);
  EXPECT_EQ(Try([&] { return KSTRN_CloseItem(s); }), kDone) << "at the root: nothing to do";
  ASSERT_TRUE(KSTRN_InsertItemBlocks(9, 65535, s));
  EXPECT_EQ(Try([&] { return KSTRN_InsertItemBlocks(9, 1, s); }), (Report{false, ErrBadCount}));
  ASSERT_TRUE(KSTRN_GetItemCount(9, &count, s));
  EXPECT_EQ(count, 65535) << "the block count must not wrap";
}

TEST(ReportTest, DirectFunctionsLeaveTheCellAlone) {
  ScopedSession s;
  const uint32_t four = 0x01020304;
  uint8_t bytes[8] = {}, packed[16] = {};
  char text[16] = {};
  uint16_t type = 99;
  EXPECT_EQ(Try([&] { return KSTRN_InsertValue(kLong, &four, s); }), kDirect);
  EXPECT_EQ(Try([&] { return KSTRN_InsertValueS(kText, "abcdef", 3, s); }), kDirect);
  EXPECT_EQ(Try([&] { return KSTRN_InsertStringUTF8(2002, "short", s); }), kDirect);
  EXPECT_EQ(Try([&] { return KSTRN_InsertStringUTF16(2003, W(u"\u00e9t\u00e9"), s); }), kDirect);
  EXPECT_EQ(Try([&] { return KSTRN_GetValueHandle(2999, s) == nullptr; }), kDirect);
  KSTRN_ValueHandle value = KSTRN_GetValueHandle(kLong, s);
  EXPECT_EQ(Try([&] { return KSTRN_ReadValue(value, 0, bytes, 4, s); }), kDirect);
  EXPECT_EQ(Try([&] { return KSTRN_ReadValue(value, 1, bytes, 4, s); }), (Report{false, kLeft}));
  EXPECT_EQ(Try([&] { return KSTRN_ReadStringUTF8(2999, text, 16, s) == 0; }), kDirect);
  EXPECT_EQ(Try([&] { return KSTRN_GetBufferLenUTF16(2999, s) == 0; }), kDirect);
  EXPECT_EQ(Try([&] { return KSTRN_SaveSessionSize(s) == KSTRN_SerializeItemSize(s); }), kDirect);
  EXPECT_EQ(Try([&] { return KSTRN_CreateStream(s) == nullptr; }), kDirect);
  EXPECT_EQ(
      Try([&] { return KSTRN_ReadValueStream(nullptr, value, 0, bytes, 1, s) == ErrRefNotFound; }),
      kDirect);
  EXPECT_EQ(Try([&] { return KSTRN_MoveToRAM(s) && KSTRN_Unmap(s) && KSTRN_Remap(s); }), kDirect);
  EXPECT_EQ(Try([&] { return KSTRN_DestroyStream(nullptr, s), true; }), kDirect);
  EXPECT_EQ(Try([&] { return KSTRN_GetFileType(&type, s) && type == 0; }), kDirect);
  EXPECT_EQ(Try([&] { return KSTRN_GetCheckSum(bytes) && bytes[0] == 0; }), kDirect);
  EXPECT_EQ(Try([&] { return KSTRN_IsValueID(1000) && !KSTRN_IsValueID(999); }), kDirect);
  EXPECT_EQ(Try([&] { return KSTRN_ValSize(kLong, 0) == 4; }), kDirect);
  EXPECT_EQ(Try([&] { return KSTRN_ValCompare(kLong, &four, &four); }), kDirect);
  EXPECT_EQ(Try([&] { return KSTRN_Compress("abc", packed, 3) == 4; }), kDirect);
  EXPECT_EQ(Try([&] { return KSTRN_DeCompress(packed, bytes, 4) == 3; }), kDirect);
  packed[0] = 0x55;
  EXPECT_EQ(Try([&] { return KSTRN_Compress("abc", packed, -1) == 0; }), kDirect);
  EXPECT_EQ(packed[0], 0x55) << "a negative length touches nothing";
  EXPECT_EQ(Try([&] { return KSTRN_DeCompress(packed, bytes, -4) == 0; }), kDirect);
  EXPECT_EQ(Try([&] { return KSTRN_CompareValues(kLong, &four, &four); }), kDone) << "stores 0";
  // A cut text is stored and reported.
  const std::string tooLong(300, 'a');
  EXPECT_EQ(Try([&] { return KSTRN_InsertStringUTF8(kText, tooLong.c_str(), s); }),
            (Report{false, ErrDataSize}));
  EXPECT_EQ(KSTRN_GetBufferLenUTF8(kText, s), 254u);
}

TEST(ReportTest, BlobCallsReplaceThePairAndReportZero) {
  ScopedSession s;
  const uint32_t four = 4;
  const uint64_t offset = 10, length = 0x100000007ull;
  uint32_t size = 0;
  uint16_t tids[3] = {};
  ASSERT_TRUE(KSTRN_AllocData(100, s));
  ASSERT_TRUE(KSTRN_InsertValue(kLong, &four, s));
  EXPECT_EQ(Try([&] { return KSTRN_InsertData(3, "xyz", s); }), kDone);
  ASSERT_TRUE(KSTRN_GetValueList(tids, s));
  EXPECT_EQ(std::vector<uint16_t>(tids, tids + 3), (std::vector<uint16_t>{kLong, 1066, 1063}))
      << "both deleted and appended again, size first";
  EXPECT_EQ(Try([&] { return KSTRN_GetValSize(1063, &size, s) && size == 3; }), kDone);
  ASSERT_TRUE(KSTRN_AllocData(100, s));
  // A write that does not fit is refused and leaves the blob as it was.
  EXPECT_EQ(Try([&] { return KSTRN_WriteData(10, "0123456789", 95, s); }), (Report{false, 12}));
  EXPECT_EQ(Try([&] { return KSTRN_WriteData(5, "01234", 95, s); }), kDone);
  std::vector<uint8_t> blob(100);
  ASSERT_TRUE(KSTRN_GetValue(1063, blob.data(), s));
  EXPECT_EQ(std::string(blob.begin() + 95, blob.end()), "01234");
  EXPECT_EQ(Try([&] { return KSTRN_InsertDataFile("/nonexistent/f", nullptr, nullptr, s); }),
            kDone);
  EXPECT_EQ(Try([&] { return KSTRN_GetValSize(1063, &size, s) && size == 0; }), kDone);
  EXPECT_EQ(Try([&] { return KSTRN_InsertDataFileW(W(u"/nonexistent/f"), &offset, &length, s); }),
            kDone);
  ASSERT_TRUE(KSTRN_GetValSize(1063, &size, s));
  EXPECT_EQ(size, 7u) << "the size value holds the low 32 bits";
  // The outside file is missing: the write cannot keep the blob's other bytes.
  EXPECT_EQ(Try([&] { return KSTRN_WriteData(1, "x", 0, s); }), (Report{false, ErrFileAccess}));
  ASSERT_TRUE(KSTRN_DeleteValue(1063, s));
  EXPECT_EQ(Try([&] { return KSTRN_WriteData(1, "x", 0, s); }), (Report{false, ErrValueNotFound}));
}

TEST(ReportTest, OpenOfMissingPathMakesNoSession) {
  const auto sentinel = reinterpret_cast<H>(0x1234);
  H s = sentinel;
  const Report missing{false, ErrFileNotFound};
  EXPECT_EQ(Try([&] { return KSTRN_OpenSession("/nonexistent/kestron4/file", &s); }), missing);
  EXPECT_EQ(Try([&] { return KSTRN_OpenSessionW(W(u"/nonexistent/kestron4/file"), &s); }), missing);
  EXPECT_EQ(Try([&] { return KSTRN_OpenStreamedSessionW(W(u""), &s); }), missing);
  EXPECT_EQ(Try([&] { return KSTRN_OpenSession(nullptr, &s); }), missing);
  EXPECT_EQ(s, sentinel);
  // One trailing separator is dropped: the directory exists, so a session
  // is made, whatever its load then says.
  EXPECT_FALSE(KSTRN_OpenSession("/tmp/", &s));
  EXPECT_NE(KSTRN_GetLastEE(), ErrFileNotFound);
  EXPECT_NE(s, sentinel);
  EXPECT_TRUE(KSTRN_CloseSession(s));
}

// A session whose operations throw, as an allocation failure deep inside
// would: the exports turn that into their failure result.
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
  const auto s = reinterpret_cast<H>(static_cast<AbstractSession*>(&session));
  uint16_t count = 5;
  const Report failed{false, ErrFileAccess};
  EXPECT_EQ(Try([&] { return KSTRN_OpenItem(kItem, 0, s); }), failed);
  EXPECT_EQ(Try([&] { return KSTRN_FindType(kItem, 0, nullptr, s); }), failed);
  EXPECT_EQ(Try([&] { return KSTRN_GetTypeCount(&count, s); }), failed);
  EXPECT_EQ(count, 5);
  EXPECT_EQ(Try([&] { return KSTRN_SaveSessionSize(s) == 0; }), kDirect);
  EXPECT_EQ(Try([&] { return KSTRN_GetValueHandle(kText, s) == nullptr; }), kDirect);
}

// A session without a logger configuration exports nothing; one with it
// writes the file. Neither touches the caller's last error.
TEST(ReportTest, ExportWritesAFileAndKeepsTheLastError) {
  const std::string path = ::testing::TempDir() + "kestron4_api_export.qf73";
  const std::u16string wide(path.begin(), path.end());
  std::remove(path.c_str());
  ScopedSession s;
  EXPECT_EQ(Try([&] { return KSTRN_ExportQF73v3(W(wide.c_str()), s); }), (Report{false, kLeft}));
  EXPECT_FALSE(std::ifstream(path).good()) << "nothing is created";
  ASSERT_TRUE(KSTRN_InsertItemBlocks(23, 1, s));
  ASSERT_TRUE(KSTRN_OpenItem(23, 0, s));
  ASSERT_TRUE(KSTRN_InsertItemBlocks(105, 1, s));
  EXPECT_EQ(Try([&] { return KSTRN_ExportQF73v3(W(wide.c_str()), s); }), kDirect);
  std::string magic(16, '\0');
  std::ifstream(path, std::ios::binary).read(magic.data(), 16);
  EXPECT_EQ(magic, std::string("QF73 v3.00 file\x1a", 16));
  std::remove(path.c_str());
}

}  // namespace
}  // namespace kestron4
