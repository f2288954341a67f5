#include "api/session_registry.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "api/scoped_session.h"
#include "kestron4/kestron4.h"
#include "session/last_error.h"

namespace kestron4 {
namespace {

TEST(SessionRegistryTest, NewSessionsAreEmptyAndCloseOnceIgnoringStrangers) {
  const std::size_t before = RegisteredSessionCount();
  KSTRN_SessionHandle a = nullptr, b = nullptr;
  SetLastError(ErrTypeNotFound);
  ASSERT_TRUE(KSTRN_NewSession(&a));
  EXPECT_EQ(KSTRN_GetLastEE(), 0u);
  ASSERT_TRUE(KSTRN_NewSession(&b));
  ASSERT_TRUE(a != nullptr && a != b);
  EXPECT_EQ(RegisteredSessionCount(), before + 2);
  uint16_t items = 1, values = 1, type = 1;
  EXPECT_TRUE(KSTRN_GetTypeCount(&items, a) && KSTRN_GetValueCount(&values, a) &&
              KSTRN_GetFileType(&type, a));
  EXPECT_EQ(items + values + type, 0);
  ASSERT_TRUE(KSTRN_InsertItemBlocks(7, 2, b));
  for (int twice = 0; twice < 2; ++twice) {  // closing twice is harmless
    SetLastError(ErrTypeNotFound);
    EXPECT_TRUE(KSTRN_CloseSession(a));
    EXPECT_EQ(KSTRN_GetLastEE(), 0u);
  }
  int stranger = 0;
  EXPECT_TRUE(KSTRN_CloseSession(reinterpret_cast<KSTRN_SessionHandle>(&stranger)));
  EXPECT_TRUE(KSTRN_CloseSession(nullptr));
  EXPECT_EQ(RegisteredSessionCount(), before + 1);
  uint16_t count = 0;
  EXPECT_TRUE(KSTRN_GetItemCount(7, &count, b)) << "the other session is untouched";
  EXPECT_EQ(count, 2);
  EXPECT_TRUE(KSTRN_CloseSession(b));
  EXPECT_EQ(RegisteredSessionCount(), before);
}

TEST(SessionFrameTest, CancelGenericExportAndVersion) {
  ScopedSession s;
  SetLastError(ErrValueNotFound);
  EXPECT_FALSE(KSTRN_CancelSession(s));
  EXPECT_FALSE(KSTRN_CancelSession(nullptr));
  EXPECT_EQ(KSTRN_GetLastEE(), ErrValueNotFound) << "cancel leaves the cell";
  EXPECT_FALSE(KSTRN_ExportSession(3, "/nonexistent/dir/file", s));
  EXPECT_EQ(KSTRN_GetLastEE(), ErrExportType);
  SetLastError(ErrNone);
  EXPECT_FALSE(KSTRN_ExportSessionW(0, nullptr, nullptr));  // arguments never read
  EXPECT_EQ(KSTRN_GetLastEE(), ErrExportType);
  SetLastError(ErrNone);
  // The version is one static text, the same on every thread.
  const char* first = KSTRN_GetEVersion();
  const char* other = nullptr;
  std::thread([&] { other = KSTRN_GetEVersion(); }).join();
  EXPECT_STREQ(first, "4.38.258.0");
  EXPECT_EQ(other, first);
}

}  // namespace
}  // namespace kestron4
