// Operations that remember the cursor by a bookmark of their own use up its
// number, so the numbers a caller gets afterwards are the ones it expects.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "api/scoped_session.h"
#include "kestron4/kestron4.h"
#include "support/scratch_dir.h"

namespace kestron4 {
namespace {

constexpr uint16_t kQuick = 105;  // an item of the quick-find set
constexpr uint16_t kPlain = 300;
constexpr uint16_t kKey = 2002;

// Root: blocks "Q" of kQuick and "P" of kPlain; a referrer of item 200 with
// reference 1 to Q and 2 to P. The cursor ends on the referrer.
void Build(KSTRN_SessionHandle s) {
  uint32_t marks[2] = {};
  const uint16_t items[2] = {kQuick, kPlain};
  for (int k = 0; k < 2; ++k) {
    ASSERT_TRUE(KSTRN_InsertItemBlocks(items[k], 1, s) && KSTRN_OpenItem(items[k], 0, s));
    ASSERT_TRUE(KSTRN_InsertValue(kKey, k == 0 ? "Q" : "P", s) && KSTRN_AddBookMark(&marks[k], s));
    KSTRN_CloseItem(s);
  }
  ASSERT_TRUE(KSTRN_InsertItemBlocks(200, 1, s) && KSTRN_OpenItem(200, 0, s));
  ASSERT_TRUE(KSTRN_CreateReference(marks[0], 1, kKey, s));
  ASSERT_TRUE(KSTRN_CreateReference(marks[1], 2, kKey, s));
}

TEST(BookmarkNumbers, OperationsWithABookmarkOfTheirOwnUseUpItsNumber) {
  ScratchDir dir;
  const std::string path = dir.File("s.kst");
  uint32_t count = 0;
  uint8_t buffer[512];
  struct Case {
    const char* name;
    std::function<bool(KSTRN_SessionHandle)> op;
    uint32_t spent;
  };
  const Case cases[] = {
      {"save", [&](auto s) { return KSTRN_SaveSession(path.c_str(), s); }, 1},
      {"save H",
       [&](auto s) {
         const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
         const bool ok = KSTRN_SaveSessionH(fd, s);
         close(fd);
         return ok;
       },
       1},
      {"save buffer", [&](auto s) { return KSTRN_SaveSessionBuffer(buffer, sizeof buffer, s); }, 0},
      {"follow to quick-find", [](auto s) { return KSTRN_GotoReference(1, s); }, 1},
      {"follow to plain", [](auto s) { return KSTRN_GotoReference(2, s); }, 0},
      {"integrity", [&](auto s) { return KSTRN_CheckIntegrity(&count, s); }, 1},
  };
  for (const Case& c : cases) {
    ScopedSession s;
    Build(s);
    uint32_t before = 0, after = 0;
    ASSERT_TRUE(KSTRN_AddBookMark(&before, s));
    EXPECT_TRUE(c.op(s)) << c.name;
    ASSERT_TRUE(KSTRN_AddBookMark(&after, s));
    EXPECT_EQ(after, before + 1 + c.spent) << c.name;
  }
  ScopedSession fresh;
  uint32_t first = 0;
  ASSERT_TRUE(KSTRN_SaveSession(path.c_str(), fresh) && KSTRN_AddBookMark(&first, fresh));
  EXPECT_EQ(first, 2u);
}

}  // namespace
}  // namespace kestron4
