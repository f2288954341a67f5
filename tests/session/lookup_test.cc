// Finding item blocks through every search of the interface: the cursor
// lands on the match, or stays with code 5.
#include <gtest/gtest.h>

#include <string>

#include "api/scoped_session.h"
#include "support/api_tree.h"
#include "support/caller_file.h"

namespace kestron4 {
namespace {

using namespace kestron4::testing;

enum How { kLocal, kLocal8, kLocal16, kDeep, kDeep8, kDeep16 };

bool Find(How how, uint16_t tid, uint16_t vtid, const void* key, KSTRN_SessionHandle s) {
  const auto* text = static_cast<const char*>(key);
  const auto* text16 = static_cast<const char16_t*>(key);
  switch (how) {
    case kLocal: return KSTRN_FindLocalType(tid, vtid, key, s);
    case kLocal8: return KSTRN_FindLocalTypeUTF8(tid, vtid, text, s);
    case kLocal16: return KSTRN_FindLocalTypeUTF16(tid, vtid, W(text16), s);
    case kDeep: return KSTRN_FindType(tid, vtid, key, s);
    case kDeep8: return KSTRN_FindTypeUTF8(tid, vtid, text, s);
    case kDeep16: return KSTRN_FindTypeUTF16(tid, vtid, W(text16), s);
  }
  return false;
}

TEST(Lookup, EverySearchLandsOnItsMatchOrLeavesTheCursor) {
  ScopedSession s;
  Add(s, "", 105, "A");
  Add(s, "", 105);
  KSTRN_InsertStringUTF8(2001, "Zo\xC3\xAB", s);  // marked UTF-8
  Add(s, "", 105, "Caf\xE9");                     // 8-bit, unmarked
  Add(s, "", 50);
  KSTRN_InsertValueS(1063, "abc", 3, s);  // a blob without its size never matches
  Add(s, "", 50);
  KSTRN_InsertData(3, "xyz", s);
  for (const uint8_t small : {1, 2}) {  // one-byte keys
    Add(s, "", 60);
    KSTRN_InsertValue(6000, &small, s);
  }
  // root/10/20/30 and root/30 with equal keys.
  const std::string ten = Add(s, "", 10), deep = Add(s, Add(s, ten, 20), 30);
  KSTRN_InsertValue(10000, "KKKK", s);
  Add(s, "", 30);
  KSTRN_InsertValue(10000, "KKKK", s);
  const struct {
    const char* from;
    How how;
    uint16_t tid, vtid;
    const void* key;
    const char* want;  // null: no match
  } cases[] = {
      {"", kLocal, 105, 0, nullptr, "105.0"},
      {"", kLocal, 105, 2001, "Caf\xE9", "105.2"},
      {"", kLocal8, 105, 2001, "Zo\xC3\xAB", "105.1"},
      {"", kLocal8, 105, 2001, "Caf\xC3\xA9", "105.2"},
      {"", kLocal16, 105, 2001, u"Caf\u00e9", "105.2"},
      {"", kLocal16, 105, 2001, u"Zo\u00eb", "105.1"},
      {"", kDeep, 105, 2001, "Zo\xC3\xAB", "105.1"},
      {"", kDeep8, 105, 2001, "Zo\xC3\xAB", "105.1"},
      {"", kDeep16, 105, 2001, u"Caf\u00e9", "105.2"},
      {"", kLocal, 50, 1063, "ignored", "50.1"},
      {"", kLocal, 60, 6000, "\2", "60.1"},
      {"", kDeep, 105, 2001, "Caf\xC3\xA9", nullptr},  // plain: bytes as they are
      {"", kLocal8, 105, 2001, "C", nullptr},
      {"", kLocal16, 105, 2001, u"Zoe", nullptr},
      {"", kLocal, 106, 0, nullptr, nullptr},
      {"", kDeep, 30, 10000, "KKKK", "30.0"},  // the shallower wins
      {ten.c_str(), kDeep, 30, 10000, "KKKK", deep.c_str()},
      {ten.c_str(), kLocal, 30, 10000, "KKKK", nullptr},
      {deep.c_str(), kDeep, 30, 0, nullptr, nullptr},  // never the block itself
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "from '" << c.from << "' how " << c.how << " tid "
                                      << c.tid);
    ASSERT_TRUE(Go(s, c.from));
    EXPECT_EQ(Find(c.how, c.tid, c.vtid, c.key, s), c.want != nullptr);
    EXPECT_EQ(KSTRN_GetLastEE(), c.want != nullptr ? 0u : 5u);
    EXPECT_EQ(Where(s), c.want != nullptr ? c.want : c.from);
  }
}

// A reference to a quick-find item tries the top levels first: from deep
// inside, the shallower of two equal keys wins.
TEST(Lookup, QuickFindTargetsAreSoughtNearTheRootFirst) {
  ScopedSession s;
  const std::string ten = Add(s, "", 10), two = Add(s, ten, 2);
  const uint16_t key = 7;
  const std::string inner = Add(s, two, 100);
  KSTRN_InsertValue(8000, &key, s);
  uint32_t mark = 0;
  KSTRN_AddBookMark(&mark, s);
  const std::string level2 = Add(s, ten, 100);
  KSTRN_InsertValue(8000, &key, s);
  Go(s, two);
  ASSERT_TRUE(KSTRN_CreateReference(mark, 1, 8000, s));
  ASSERT_TRUE(KSTRN_GotoReference(1, s));
  EXPECT_EQ(Where(s), level2);
}

TEST(Lookup, DeepTreeSearchDoesNotRecurse) {
  ScopedSession s;
  for (int i = 0; i < 3000; ++i) {
    KSTRN_InsertItemBlocks(1, 1, s);
    KSTRN_OpenItem(1, 0, s);
  }
  KSTRN_InsertItemBlocks(2, 1, s);
  KSTRN_GotoRoot(s);
  ASSERT_TRUE(KSTRN_FindType(2, 0, nullptr, s));
  uint16_t tid = 0;
  uint32_t index = 9;
  EXPECT_TRUE(KSTRN_GetParentTID(&tid, &index, s));
  EXPECT_EQ(tid, 2);
}

}  // namespace
}  // namespace kestron4
