// Operations that remember the cursor by a bookmark of their own use up its
// number, so the next number a caller gets is one further on.
#include <gtest/gtest.h>

#include <functional>
#include <iterator>
#include <string>
#include <utility>

#include "api/scoped_session.h"
#include "kestron4/kestron4.h"
#include "support/scratch_dir.h"

namespace kestron4 {
namespace {

TEST(BookmarkNumbers, OperationsWithABookmarkOfTheirOwnUseUpItsNumber) {
  ScratchDir dir;
  const std::string path = dir.File("s.kst");
  uint8_t buffer[512];
  uint32_t count = 0, mark = 0;
  const std::pair<std::function<bool(KSTRN_SessionHandle)>, uint32_t> cases[] = {
      {[&](auto s) { return KSTRN_SaveSession(path.c_str(), s); }, 1},
      {[&](auto s) { return KSTRN_SaveSessionBuffer(buffer, sizeof buffer, s); }, 0},
      {[](auto s) { return KSTRN_GotoReference(1, s); }, 1},  // to a quick-find item
      {[](auto s) { return KSTRN_GotoReference(2, s); }, 0},
      {[&](auto s) { return KSTRN_CheckIntegrity(&count, s); }, 1},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    // Blocks "Q" of the quick-find item 105 and "P" of item 300, bookmarked
    // 1 and 2, which a block of item 200 refers to by numbers 1 and 2.
    ScopedSession s;
    for (const uint16_t tid : {105, 300}) {
      ASSERT_TRUE(KSTRN_InsertItemBlocks(tid, 1, s) && KSTRN_OpenItem(tid, 0, s));
      ASSERT_TRUE(KSTRN_InsertValue(2002, tid == 105 ? "Q" : "P", s) && KSTRN_AddBookMark(&mark, s));
      KSTRN_CloseItem(s);
    }
    ASSERT_TRUE(KSTRN_InsertItemBlocks(200, 1, s) && KSTRN_OpenItem(200, 0, s));
    ASSERT_TRUE(KSTRN_CreateReference(1, 1, 2002, s) && KSTRN_CreateReference(2, 2, 2002, s));
    uint32_t before = 0, after = 0;
    ASSERT_TRUE(KSTRN_AddBookMark(&before, s));
    EXPECT_TRUE(cases[i].first(s)) << i;
    ASSERT_TRUE(KSTRN_AddBookMark(&after, s));
    EXPECT_EQ(after, before + 1 + cases[i].second) << i;
  }
}

}  // namespace
}  // namespace kestron4
