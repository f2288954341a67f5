// Structural edits through the C interface, as one script per area: each
// step's result, code, the shape of the root's items and the cursor.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "api/scoped_session.h"
#include "support/api_tree.h"

namespace kestron4 {
namespace {

using namespace kestron4::testing;
using H = KSTRN_SessionHandle;
constexpr uint32_t kAny = ~0u;  // a code the step does not fix

// Gives the blocks of the root's item tid their index as value 10000.
void Number(H s, uint16_t tid) {
  uint16_t count = 0;
  KSTRN_GotoRoot(s);
  KSTRN_GetItemCount(tid, &count, s);
  for (uint32_t i = 0; i < count; ++i) {
    KSTRN_OpenItem(tid, static_cast<int32_t>(i), s);
    KSTRN_InsertValue(10000, &i, s);
    KSTRN_CloseItem(s);
  }
}

// The root's items as "tid:numbers" (the blocks' values 10000 in order).
std::string Shape(H s) {
  uint32_t mark = 0;
  KSTRN_AddBookMark(&mark, s);
  KSTRN_GotoRoot(s);
  uint16_t count = 0, tids[16];
  KSTRN_GetTypeCount(&count, s);
  KSTRN_GetTypeList(tids, s);
  std::string shape;
  for (uint16_t t = 0; t < count; ++t) {
    uint16_t blocks = 0;
    KSTRN_GetItemCount(tids[t], &blocks, s);
    shape += (shape.empty() ? "" : " ") + std::to_string(tids[t]) + ":";
    for (int32_t b = 0; b < blocks; ++b) {
      uint32_t number = 9;
      KSTRN_OpenItem(tids[t], b, s);
      KSTRN_GetValue(10000, &number, s);
      KSTRN_CloseItem(s);
      shape += std::to_string(number);
    }
  }
  KSTRN_GotoBookMark(mark, s);
  KSTRN_RemoveBookMark(mark, s);
  return shape;
}

struct Step {
  std::function<bool(H)> call;
  bool ok;
  uint32_t code;
  const char* shape;
  const char* cursor;
};

void RunSteps(H s, std::initializer_list<Step> steps) {
  int n = 0;
  for (const Step& step : steps) {
    SCOPED_TRACE(::testing::Message() << "step " << ++n);
    EXPECT_EQ(step.call(s), step.ok);
    if (step.code != kAny) {
      EXPECT_EQ(KSTRN_GetLastEE(), step.code);
    }
    EXPECT_EQ(Shape(s), step.shape);
    EXPECT_EQ(Where(s), step.cursor);
  }
}

TEST(TreeEdit, TheCursorStopsAtTheEnds) {
  ScopedSession s;
  KSTRN_InsertItemBlocks(100, 3, s);
  Number(s, 100);
  const char* shape = "100:012";
  RunSteps(s, {{[](H h) { return KSTRN_OpenItem(100, 7, h); }, true, 0, shape, "100.2"},
          {[](H h) { return KSTRN_NextItem(h); }, false, 6, shape, "100.2"},
          {[](H h) { return KSTRN_PreviousItem(h); }, true, 0, shape, "100.1"},
          {[](H h) { return KSTRN_PreviousItem(h); }, true, 0, shape, "100.0"},
          {[](H h) { return KSTRN_PreviousItem(h); }, false, 8, shape, "100.0"},
          {[](H h) { return KSTRN_GotoItem(99, h); }, true, 0, shape, "100.2"},
          {[](H h) { return KSTRN_GotoItem(-1, h); }, true, 0, shape, "100.2"},
          {[](H h) { return KSTRN_GotoItem(1, h); }, true, 0, shape, "100.1"},
          {[](H h) { return KSTRN_CloseItem(h) && KSTRN_CloseItem(h); }, true, 0, shape, ""},
          {[](H h) { return KSTRN_OpenItem(101, 0, h); }, false, 5, shape, ""},
          {[](H h) { return KSTRN_NextItem(h); }, false, 6, shape, ""},
          {[](H h) { return KSTRN_PreviousItem(h); }, false, 8, shape, ""},
          {[](H h) { return KSTRN_GotoItem(0, h); }, true, 0, shape, ""}});
}

TEST(TreeEdit, DeletesPickTheLastBlockAndMoveTheCursor) {
  ScopedSession s;
  KSTRN_InsertItemBlocks(5, 5, s);
  KSTRN_InsertItemBlocks(6, 3, s);
  Number(s, 5);
  Number(s, 6);
  RunSteps(s, {{[](H h) { return KSTRN_DeleteItem(5, -1, h); }, true, 0, "5:0123 6:012", ""},
          {[](H h) { return KSTRN_DeleteItem(5, 1000, h); }, true, 0, "5:012 6:012", ""},
          {[](H h) { return KSTRN_DeleteItem(5, 1, h); }, true, 0, "5:02 6:012", ""},
          {[](H h) { return KSTRN_DeleteItem(7, 0, h); }, false, 5, "5:02 6:012", ""},
          {[](H h) { return KSTRN_OpenItem(6, 1, h); }, true, 0, "5:02 6:012", "6.1"},
          // The block that took its place, then the new last one, then the parent.
          {[](H h) { return KSTRN_DeleteCurrentItem(h); }, true, 0, "5:02 6:02", "6.1"},
          {[](H h) { return KSTRN_DeleteCurrentItem(h); }, true, 0, "5:02 6:0", "6.0"},
          {[](H h) { return KSTRN_DeleteCurrentItem(h); }, true, 0, "5:02", ""},
          {[](H h) { return KSTRN_DeleteCurrentItem(h); }, false, 5, "5:02", ""},
          {[](H h) { return KSTRN_DeleteItemBlocks(5, h); }, true, 0, "", ""},
          {[](H h) { return KSTRN_DeleteItemBlocks(5, h); }, false, 5, "", ""},
          {[](H h) { return KSTRN_InsertValue(2001, "x", h); }, true, kAny, "", ""},
          {[](H h) { return KSTRN_DeleteValue(2002, h); }, false, 7, "", ""},
          {[](H h) { return KSTRN_DeleteValue(2001, h); }, true, 0, "", ""}});
  EXPECT_EQ(KSTRN_SaveSessionSize(s), 25u);  // as new
}

TEST(TreeEdit, MoveAndChangeTidKeepTheCursorOnTheBlock) {
  ScopedSession s;
  KSTRN_InsertItemBlocks(5, 4, s);
  KSTRN_InsertItemBlocks(6, 1, s);
  KSTRN_InsertItemBlocks(8, 1, s);
  for (uint16_t tid : {5, 6, 8}) Number(s, tid);
  RunSteps(s, {{[](H h) { return KSTRN_OpenItem(5, 2, h); }, true, 0, "5:0123 6:0 8:0", "5.2"},
          {[](H h) { return KSTRN_MoveCurrentItem(0, h); }, true, 0, "5:2013 6:0 8:0", "5.0"},
          {[](H h) { return KSTRN_MoveCurrentItem(4, h); }, false, 12, "5:2013 6:0 8:0", "5.0"},
          {[](H h) { return KSTRN_MoveCurrentItem(3, h); }, true, 0, "5:0132 6:0 8:0", "5.3"},
          {[](H h) { return KSTRN_ChangeTID(6, h); }, true, 0, "5:013 6:02 8:0", "6.1"},
          {[](H h) { return KSTRN_ChangeTID(2000, h); }, false, kAny, "5:013 6:02 8:0", "6.1"},
          {[](H h) { return KSTRN_ChangeTID(9, h); }, true, 0, "5:013 6:0 8:0 9:2", "9.0"},
          {[](H h) { return KSTRN_GotoRoot(h) && KSTRN_OpenItem(8, 0, h); }, true, 0,
           "5:013 6:0 8:0 9:2", "8.0"},
          {[](H h) { return KSTRN_ChangeTID(7, h); }, true, 0, "5:013 6:0 9:2 7:0", "7.0"},
          {[](H h) { return KSTRN_CloseItem(h); }, true, 0, "5:013 6:0 9:2 7:0", ""},
          {[](H h) { return KSTRN_MoveCurrentItem(0, h); }, false, 5, "5:013 6:0 9:2 7:0", ""},
          {[](H h) { return KSTRN_ChangeTID(7, h); }, false, 6, "5:013 6:0 9:2 7:0", ""}});
}

TEST(TreeEdit, DepthIsLimitedAndDeepTreesDieWithoutRecursion) {
  ScopedSession s;
  uint32_t depth = 0;
  while (depth < 5000 && KSTRN_InsertItemBlocks(1, 1, s) && KSTRN_OpenItem(1, 0, s)) ++depth;
  EXPECT_EQ(depth, 4096u);
  KSTRN_GotoRoot(s);
  EXPECT_TRUE(KSTRN_DeleteItem(1, 0, s));
  EXPECT_EQ(KSTRN_SaveSessionSize(s), 25u);
}

TEST(TreeEdit, BookmarksDieWithTheirBlock) {
  ScopedSession s;
  uint32_t a = 0, b = 0, inner = 0, deeper = 0;
  EXPECT_FALSE(KSTRN_GotoBookMark(0, s));
  KSTRN_AddBookMark(&a, s);
  KSTRN_AddBookMark(&b, s);
  EXPECT_EQ(b, a + 1);
  EXPECT_TRUE(KSTRN_BookMarksEquivalent(a, b, s));
  EXPECT_TRUE(KSTRN_RemoveBookMark(a, s));
  EXPECT_FALSE(KSTRN_RemoveBookMark(a, s));
  KSTRN_InsertItemBlocks(4, 1, s);
  KSTRN_OpenItem(4, 0, s);
  KSTRN_AddBookMark(&inner, s);
  EXPECT_EQ(inner, b + 1);  // numbers are not reused
  KSTRN_InsertItemBlocks(8, 1, s);
  KSTRN_OpenItem(8, 0, s);
  KSTRN_AddBookMark(&deeper, s);
  EXPECT_FALSE(KSTRN_BookMarksEquivalent(b, inner, s));
  Go(s, "4.0");
  EXPECT_TRUE(KSTRN_DeleteCurrentItem(s));
  EXPECT_FALSE(KSTRN_GotoBookMark(inner, s));
  EXPECT_EQ(KSTRN_GetLastEE(), 13u);
  EXPECT_FALSE(KSTRN_GotoBookMark(deeper, s));
  EXPECT_FALSE(KSTRN_BookMarksEquivalent(inner, inner, s));
  EXPECT_TRUE(KSTRN_RemoveBookMark(inner, s));
  EXPECT_TRUE(KSTRN_GotoBookMark(b, s));
  EXPECT_EQ(Where(s), "");
}

}  // namespace
}  // namespace kestron4
