// Every function that works on a session, given a null handle, fails with
// code 4 instead of dereferencing it (a program that passes on the handle of
// an open that failed must not die for it).
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "api/scoped_session.h"
#include "kestron4/kestron4.h"
#include "session/last_error.h"
#include "support/caller_file.h"

namespace kestron4 {
namespace {

constexpr KSTRN_SessionHandle kNull = nullptr;

struct Call {
  const char* name;
  // Runs the function with a null session; true when its result is the
  // failure value of its kind (false, 0, a null handle, the code 4).
  std::function<bool()> run;
};

template <typename F>
Call Bool(const char* name, F f) {
  return {name, [f] { return !f(); }};
}
template <typename F>
Call Zero(const char* name, F f) {
  return {name, [f] { return f() == 0; }};
}

std::vector<Call> AllCalls() {
  static uint8_t bytes[64];
  static uint16_t tids[8];
  static uint16_t u16;
  static uint32_t u32;
  static uint64_t u64 = 0;
  static const void* pointer;
  static char text[16];
  static KSTRN_WChar wide[16];
  static const char16_t kWide[] = u"x";
  const uint16_t item = 7, value = 2001;
  return {
      Bool("SaveSession", [] { return KSTRN_SaveSession("/nonexistent/x.kst", kNull); }),
      Bool("SaveSessionW", [] { return KSTRN_SaveSessionW(W(u"/nonexistent/x.kst"), kNull); }),
      Bool("SaveSessionH", [] { return KSTRN_SaveSessionH(KSTRN_FileHandle{}, kNull); }),
      Bool("SaveWithAbsRefs", [] { return KSTRN_SaveWithAbsRefs("/nonexistent/x.kst", kNull); }),
      Bool("SaveSessionBuffer", [] { return KSTRN_SaveSessionBuffer(bytes, sizeof bytes, kNull); }),
      Zero("SaveSessionSize", [] { return KSTRN_SaveSessionSize(kNull); }),
      Bool("SerializeItem", [] { return KSTRN_SerializeItem(bytes, sizeof bytes, kNull); }),
      Zero("SerializeItemSize", [] { return KSTRN_SerializeItemSize(kNull); }),
      Bool("ExportQF73v3", [] { return KSTRN_ExportQF73v3(W(u"/nonexistent/x.q"), kNull); }),
      Bool("GotoRoot", [] { return KSTRN_GotoRoot(kNull); }),
      Bool("OpenItem", [=] { return KSTRN_OpenItem(item, 0, kNull); }),
      Bool("CloseItem", [] { return KSTRN_CloseItem(kNull); }),
      Bool("NextItem", [] { return KSTRN_NextItem(kNull); }),
      Bool("PreviousItem", [] { return KSTRN_PreviousItem(kNull); }),
      Bool("GotoItem", [] { return KSTRN_GotoItem(0, kNull); }),
      Bool("GetTypeCount", [] { return KSTRN_GetTypeCount(&u16, kNull); }),
      Bool("GetTypeList", [] { return KSTRN_GetTypeList(tids, kNull); }),
      Bool("GetItemCount", [=] { return KSTRN_GetItemCount(item, &u16, kNull); }),
      Bool("GetParentTID", [] { return KSTRN_GetParentTID(&u16, &u32, kNull); }),
      Bool("GetFileType", [] { return KSTRN_GetFileType(&u16, kNull); }),
      Bool("FindLocalType", [=] { return KSTRN_FindLocalType(item, 0, nullptr, kNull); }),
      Bool("FindLocalTypeUTF8", [=] { return KSTRN_FindLocalTypeUTF8(item, value, "x", kNull); }),
      Bool("FindLocalTypeUTF16",
           [=] { return KSTRN_FindLocalTypeUTF16(item, value, W(kWide), kNull); }),
      Bool("FindType", [=] { return KSTRN_FindType(item, 0, nullptr, kNull); }),
      Bool("FindTypeUTF8", [=] { return KSTRN_FindTypeUTF8(item, value, "x", kNull); }),
      Bool("FindTypeUTF16", [=] { return KSTRN_FindTypeUTF16(item, value, W(kWide), kNull); }),
      Bool("GetValueCount", [] { return KSTRN_GetValueCount(&u16, kNull); }),
      Bool("GetValueList", [] { return KSTRN_GetValueList(tids, kNull); }),
      Bool("GetValSize", [=] { return KSTRN_GetValSize(value, &u32, kNull); }),
      Bool("GetValue", [=] { return KSTRN_GetValue(value, bytes, kNull); }),
      Bool("GetValuePtr", [=] { return KSTRN_GetValuePtr(value, &pointer, kNull); }),
      Zero("GetValueHandle", [=] { return KSTRN_GetValueHandle(value, kNull); }),
      Bool("ReadValue", [] { return KSTRN_ReadValue(nullptr, 0, bytes, 1, kNull); }),
      Zero("GetBufferLenUTF8", [=] { return KSTRN_GetBufferLenUTF8(value, kNull); }),
      Zero("GetBufferLenUTF16", [=] { return KSTRN_GetBufferLenUTF16(value, kNull); }),
      Zero("ReadStringUTF8", [=] { return KSTRN_ReadStringUTF8(value, text, sizeof text, kNull); }),
      Zero("ReadStringUTF16", [=] { return KSTRN_ReadStringUTF16(value, wide, 16, kNull); }),
      Bool("InsertValue", [=] { return KSTRN_InsertValue(1018, bytes, kNull); }),
      Bool("InsertValueS", [=] { return KSTRN_InsertValueS(value, bytes, 2, kNull); }),
      Bool("InsertStringUTF8", [=] { return KSTRN_InsertStringUTF8(value, "x", kNull); }),
      Bool("InsertStringUTF16", [=] { return KSTRN_InsertStringUTF16(value, W(kWide), kNull); }),
      Bool("InsertData", [] { return KSTRN_InsertData(4, bytes, kNull); }),
      Bool("AllocData", [] { return KSTRN_AllocData(4, kNull); }),
      Bool("WriteData", [] { return KSTRN_WriteData(1, bytes, 0, kNull); }),
      Bool("InsertDataFile", [] { return KSTRN_InsertDataFile("/x", &u64, &u64, kNull); }),
      Bool("InsertDataFileW", [] { return KSTRN_InsertDataFileW(W(u"/x"), &u64, &u64, kNull); }),
      Bool("InsertItemBlocks", [=] { return KSTRN_InsertItemBlocks(item, 1, kNull); }),
      Bool("DeleteItem", [=] { return KSTRN_DeleteItem(item, 0, kNull); }),
      Bool("DeleteCurrentItem", [] { return KSTRN_DeleteCurrentItem(kNull); }),
      Bool("DeleteItemBlocks", [=] { return KSTRN_DeleteItemBlocks(item, kNull); }),
      Bool("MoveCurrentItem", [] { return KSTRN_MoveCurrentItem(0, kNull); }),
      Bool("DeleteValue", [=] { return KSTRN_DeleteValue(value, kNull); }),
      Bool("ChangeTID", [=] { return KSTRN_ChangeTID(item, kNull); }),
      Bool("AddBookMark", [] { return KSTRN_AddBookMark(&u32, kNull); }),
      Bool("GotoBookMark", [] { return KSTRN_GotoBookMark(0, kNull); }),
      Bool("RemoveBookMark", [] { return KSTRN_RemoveBookMark(0, kNull); }),
      Bool("BookMarksEquivalent", [] { return KSTRN_BookMarksEquivalent(0, 0, kNull); }),
      Bool("CreateReference", [=] { return KSTRN_CreateReference(0, 1, value, kNull); }),
      Bool("GotoReference", [] { return KSTRN_GotoReference(1, kNull); }),
      Bool("GetRefdValue", [=] { return KSTRN_GetRefdValue(value, &u32, 1, &u32, kNull); }),
      Bool("CheckRefdValue", [=] { return KSTRN_CheckRefdValue(value, &u16, bytes, kNull); }),
      Bool("CheckRefdValueUTF8", [=] { return KSTRN_CheckRefdValueUTF8(value, &u16, "x", kNull); }),
      Bool("CheckRefdValueUTF16",
           [=] { return KSTRN_CheckRefdValueUTF16(value, &u16, W(kWide), kNull); }),
      Bool("CheckIntegrity", [] { return KSTRN_CheckIntegrity(&u32, kNull); }),
      Bool("MoveToRAM", [] { return KSTRN_MoveToRAM(kNull); }),
      Bool("Unmap", [] { return KSTRN_Unmap(kNull); }),
      Bool("Remap", [] { return KSTRN_Remap(kNull); }),
      Zero("CreateStream", [] { return KSTRN_CreateStream(kNull); }),
      {"DestroyStream", [] { return KSTRN_DestroyStream(nullptr, kNull), true; }},
      {"ReadValueStream",
       [] { return KSTRN_ReadValueStream(nullptr, nullptr, 0, bytes, 1, kNull) == 4; }},
  };
}

TEST(NullSessionTest, EveryFunctionOnASessionFailsWithCode4) {
  ScopedSession live;
  std::vector<Call> calls = AllCalls();
  calls.push_back(Bool("CopyContents from null", [&] { return KSTRN_CopyContents(kNull, live); }));
  calls.push_back(Bool("CopyContents into null", [&] { return KSTRN_CopyContents(live, kNull); }));
  calls.push_back(Bool("CopyBlocks from null", [&] { return KSTRN_CopyBlocks(kNull, live); }));
  calls.push_back(Bool("CopyBlocks into null", [&] { return KSTRN_CopyBlocks(live, kNull); }));
  for (const Call& call : calls) {
    SetLastError(ErrNone);
    EXPECT_TRUE(call.run()) << call.name << " does not fail";
    EXPECT_EQ(KSTRN_GetLastEE(), 4u) << call.name;
  }
  // The live session is untouched by the calls that named it.
  uint16_t count = 99;
  ASSERT_TRUE(KSTRN_GetTypeCount(&count, live));
  EXPECT_EQ(count, 0);
}

}  // namespace
}  // namespace kestron4
