#include "api/session_registry.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "api/scoped_session.h"
#include "kestron4/kestron4.h"
#include "session/last_error.h"

namespace kestron4 {
namespace {

TEST(SessionRegistryTest, NewSessionIsEmptyAndRegistered) {
  const std::size_t before = RegisteredSessionCount();
  SetLastError(ErrTypeNotFound);
  KSTRN_SessionHandle s = nullptr;
  ASSERT_TRUE(KSTRN_NewSession(&s));
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(KSTRN_GetLastEE(), 0u);
  EXPECT_EQ(RegisteredSessionCount(), before + 1);
  uint16_t items = 1, values = 1, type = 1;
  EXPECT_TRUE(KSTRN_GetTypeCount(&items, s));
  EXPECT_TRUE(KSTRN_GetValueCount(&values, s));
  EXPECT_TRUE(KSTRN_GetFileType(&type, s));
  EXPECT_EQ(items, 0);
  EXPECT_EQ(values, 0);
  EXPECT_EQ(type, 0);
  EXPECT_TRUE(KSTRN_CloseSession(s));
  EXPECT_EQ(RegisteredSessionCount(), before);
}

TEST(SessionRegistryTest, CloseDestroysOnceAndIgnoresUnknownHandles) {
  const std::size_t before = RegisteredSessionCount();
  KSTRN_SessionHandle a = nullptr, b = nullptr;
  ASSERT_TRUE(KSTRN_NewSession(&a));
  ASSERT_TRUE(KSTRN_NewSession(&b));
  EXPECT_NE(a, b);
  ASSERT_TRUE(KSTRN_InsertItemBlocks(7, 2, b));

  SetLastError(ErrTypeNotFound);
  EXPECT_TRUE(KSTRN_CloseSession(a));
  EXPECT_EQ(KSTRN_GetLastEE(), 0u);
  SetLastError(ErrTypeNotFound);
  EXPECT_TRUE(KSTRN_CloseSession(a)) << "closing twice is harmless";
  EXPECT_EQ(KSTRN_GetLastEE(), 0u);

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

TEST(SessionRegistryTest, SessionsMadeAndClosedOnManyThreads) {
  const std::size_t before = RegisteredSessionCount();
  std::thread threads[4];
  for (std::thread& thread : threads) {
    thread = std::thread([] {
      for (int i = 0; i < 200; ++i) {
        KSTRN_SessionHandle s = nullptr;
        if (KSTRN_NewSession(&s)) KSTRN_CloseSession(s);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(RegisteredSessionCount(), before);
}

TEST(SessionFrameTest, CancelAndGenericExportFailWithoutReadingArguments) {
  ScopedSession s;
  SetLastError(ErrValueNotFound);
  EXPECT_FALSE(KSTRN_CancelSession(s));
  EXPECT_FALSE(KSTRN_CancelSession(nullptr));
  EXPECT_EQ(KSTRN_GetLastEE(), ErrValueNotFound) << "cancel leaves the cell";

  EXPECT_FALSE(KSTRN_ExportSession(3, "/nonexistent/dir/file", s));
  EXPECT_EQ(KSTRN_GetLastEE(), ErrExportType);
  SetLastError(ErrNone);
  EXPECT_FALSE(KSTRN_ExportSessionW(0, nullptr, nullptr));
  EXPECT_EQ(KSTRN_GetLastEE(), ErrExportType);
}

TEST(SessionFrameTest, VersionIsStableStaticText) {
  const char* first = KSTRN_GetEVersion();
  ASSERT_NE(first, nullptr);
  EXPECT_STREQ(first, "4.38.258.0");
  const char* other = nullptr;
  std::thread([&] { other = KSTRN_GetEVersion(); }).join();
  EXPECT_EQ(other, first);
  EXPECT_EQ(KSTRN_GetEVersion(), first);
  EXPECT_STREQ(first, "4.38.258.0");
}

}  // namespace
}  // namespace kestron4
