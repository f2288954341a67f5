#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "session/reference_test_tree.h"

namespace kestron4 {
namespace {

using testing::kName;
using testing::kNumber;
using testing::TestTree;

constexpr Tid kChannels = 105;  // a quick-find item
constexpr Tid kSheets = 300;    // ordinary items
constexpr Tid kRows = 400;

uint16_t U16Of(TestTree& t, ItemBlock* block, Tid tid) {
  const Value* value = SessionCore::FindValue(block, tid);
  uint8_t bytes[2] = {0, 0};
  if (value != nullptr) t.core().ReadBytes(*value, 0, bytes, 2);
  return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

TEST(References, CreateWritesOneEntryAndFollowsIt) {
  TestTree t;
  t.Add(t.root(), kChannels, "A");
  ItemBlock* b = t.Add(t.root(), kChannels, "B");
  ItemBlock* referrer = t.Add(t.root(), kSheets);
  const uint32_t mark = t.Mark(b);

  t.Go(referrer);
  ASSERT_EQ(t.s().CreateReference(mark, 5, kName), ErrNone);
  EXPECT_EQ(t.at(), referrer);
  const Item* refs = SessionCore::FindItem(referrer, kTidReferenceItem);
  ASSERT_NE(refs, nullptr);
  ASSERT_EQ(refs->blocks.size(), 1u);
  ItemBlock* entry = refs->blocks[0];
  EXPECT_EQ(U16Of(t, entry, kTidRefNumber), 5);
  EXPECT_EQ(U16Of(t, entry, kTidRefTarget), kChannels);
  EXPECT_EQ(t.Text(entry), "B");
  std::vector<Tid> order;
  for (const Value* v = entry->firstValue; v != nullptr; v = v->next) order.push_back(v->tid);
  EXPECT_EQ(order, (std::vector<Tid>{kTidRefNumber, kTidRefTarget, kName}));

  EXPECT_EQ(t.s().GotoReference(5), ErrNone);
  EXPECT_EQ(t.at(), b);
}

TEST(References, SameNumberTwiceKeepsOnlyTheNewerAsLastEntry) {
  TestTree t;
  ItemBlock* a = t.Add(t.root(), kChannels, "A");
  ItemBlock* b = t.Add(t.root(), kChannels, "B");
  ItemBlock* c = t.Add(t.root(), kChannels, "C");
  ItemBlock* referrer = t.Add(t.root(), kSheets);
  t.Go(referrer);
  ASSERT_EQ(t.s().CreateReference(t.Mark(a), 5, kName), ErrNone);
  ASSERT_EQ(t.s().CreateReference(t.Mark(c), 6, kName), ErrNone);
  ASSERT_EQ(t.s().CreateReference(t.Mark(b), 5, kName), ErrNone);

  const Item* refs = SessionCore::FindItem(referrer, kTidReferenceItem);
  ASSERT_EQ(refs->blocks.size(), 2u);
  EXPECT_EQ(refs->blockCount, 2);
  EXPECT_EQ(U16Of(t, refs->blocks[0], kTidRefNumber), 6);
  EXPECT_EQ(U16Of(t, refs->blocks[1], kTidRefNumber), 5);
  EXPECT_EQ(t.Text(refs->blocks[1]), "B");
  ASSERT_EQ(t.s().GotoReference(5), ErrNone);
  EXPECT_EQ(t.at(), b);
  t.Go(referrer);
  ASSERT_EQ(t.s().GotoReference(6), ErrNone);
  EXPECT_EQ(t.at(), c);

  // Replacing the only entry recreates the reference item after the others.
  ItemBlock* lone = t.Add(t.root(), kSheets);
  t.Add(lone, 900);
  t.Go(lone);
  ASSERT_EQ(t.s().CreateReference(t.Mark(a), 1, kName), ErrNone);
  t.Add(lone, 901);
  ASSERT_EQ(t.s().CreateReference(t.Mark(b), 1, kName), ErrNone);
  std::vector<uint16_t> types(t.s().GetTypeCount());
  t.s().GetTypeList(types.data());
  EXPECT_EQ(types, (std::vector<uint16_t>{900, 901, kTidReferenceItem}));
}

TEST(References, CreateFailuresChangeNothing) {
  TestTree t;
  ItemBlock* a = t.Add(t.root(), kChannels, "A");
  ItemBlock* gone = t.Add(t.root(), kChannels, "Gone");
  ItemBlock* referrer = t.Add(t.root(), kSheets);
  const uint32_t goneMark = t.Mark(gone);
  t.Go(t.root());
  ASSERT_EQ(t.s().DeleteItem(kChannels, 1), ErrNone);

  t.Go(referrer);
  EXPECT_EQ(t.s().CreateReference(goneMark, 1, kName), ErrNoBookmark);
  EXPECT_EQ(t.s().CreateReference(9999, 1, kName), ErrNoBookmark);
  EXPECT_EQ(t.at(), referrer);
  EXPECT_EQ(t.s().CreateReference(t.Mark(a), 1, kNumber), ErrValueNotFound);
  EXPECT_EQ(t.at(), referrer);
  // A data value without its size cannot be measured.
  const uint8_t blob[3] = {1, 2, 3};
  t.PutRaw(a, kTidData, blob, 3);
  EXPECT_EQ(t.s().CreateReference(t.Mark(a), 1, kTidData), ErrDataSize);
  EXPECT_EQ(SessionCore::FindItem(referrer, kTidReferenceItem), nullptr);
}

TEST(References, FollowFailures) {
  TestTree t;
  ItemBlock* a = t.Add(t.root(), kChannels, "A");
  ItemBlock* referrer = t.Add(t.root(), kSheets);
  t.Go(referrer);
  EXPECT_EQ(t.s().GotoReference(1), ErrRefNotFound);  // no item 112
  ASSERT_EQ(t.s().CreateReference(t.Mark(a), 1, kName), ErrNone);
  EXPECT_EQ(t.s().GotoReference(2), ErrRefNotFound);  // no such number
  EXPECT_EQ(t.at(), referrer);

  ItemBlock* noKey = t.Entry(referrer, 3, kChannels, nullptr);
  EXPECT_EQ(t.s().GotoReference(3), ErrRefNotFound);
  ItemBlock* zero = t.Entry(referrer, 4, 0, "A");
  EXPECT_EQ(t.s().GotoReference(4), ErrBlockRefNotFound);
  t.Entry(referrer, 7, kChannels, "nobody");
  EXPECT_EQ(t.s().GotoReference(7), ErrBlockRefNotFound);
  EXPECT_EQ(t.at(), referrer);
  (void)noKey;
  (void)zero;

  // The target deleted: the entry stays and reports 10.
  t.Go(t.root());
  ASSERT_EQ(t.s().DeleteItem(kChannels, 0), ErrNone);
  t.Go(referrer);
  EXPECT_EQ(t.s().GotoReference(1), ErrBlockRefNotFound);
  EXPECT_EQ(t.at(), referrer);
}

TEST(References, OutwardSearchPrefersTheNearestSubtree) {
  TestTree t;
  // Two rows named "X": one in a far sheet listed first, one next to the
  // referrer. The search widens from the referrer, so the near one wins.
  ItemBlock* far = t.Add(t.root(), kSheets);
  ItemBlock* farRow = t.Add(far, kRows, "X");
  ItemBlock* near = t.Add(t.root(), kSheets);
  ItemBlock* nearRow = t.Add(near, kRows, "X");
  ItemBlock* referrer = t.Add(near, 500);
  t.Entry(referrer, 1, kRows, "X");
  t.Go(referrer);
  ASSERT_EQ(t.s().GotoReference(1), ErrNone);
  EXPECT_EQ(t.at(), nearRow);
  // From the root's own referrer the whole session is searched in order.
  t.Entry(t.root(), 1, kRows, "X");
  t.Go(t.root());
  ASSERT_EQ(t.s().GotoReference(1), ErrNone);
  EXPECT_EQ(t.at(), farRow);
}

TEST(References, NestedReferenceLandsInsideTheTarget) {
  TestTree t;
  ItemBlock* sheet = t.Add(t.root(), kChannels, "S");
  t.Add(sheet, kRows, "r0");
  ItemBlock* row = t.Add(sheet, kRows, "r1");
  ItemBlock* referrer = t.Add(t.root(), kSheets);
  ItemBlock* good = t.Entry(referrer, 1, kChannels, "S");
  t.Nest(good, kRows, "r1");
  ItemBlock* missing = t.Entry(referrer, 2, kChannels, "S");
  t.Nest(missing, kRows, "r9");
  ItemBlock* malformed = t.Entry(referrer, 3, kChannels, "S");
  ItemBlock* inner = t.Add(malformed, 113);
  t.PutU16(inner, 8001, kRows);  // no second value

  t.Go(referrer);
  ASSERT_EQ(t.s().GotoReference(1), ErrNone);
  EXPECT_EQ(t.at(), row);
  // The inner block is missing: 10, and the cursor stays on the outer target.
  t.Go(referrer);
  EXPECT_EQ(t.s().GotoReference(2), ErrBlockRefNotFound);
  EXPECT_EQ(t.at(), sheet);
  t.Go(referrer);
  EXPECT_EQ(t.s().GotoReference(3), ErrRefNotFound);
  EXPECT_EQ(t.at(), referrer);
}

TEST(References, GetRefdValueListsReferrersBeyondCapacity) {
  TestTree t;
  ItemBlock* target = t.Add(t.root(), kChannels, "T");
  t.Add(t.root(), kChannels, "U");
  std::vector<ItemBlock*> referrers;
  for (int i = 0; i < 5; ++i) {
    ItemBlock* referrer = t.Add(t.root(), kSheets);
    referrers.push_back(referrer);
    t.Go(referrer);
    ASSERT_EQ(t.s().CreateReference(t.Mark(target), static_cast<uint16_t>(i), kName), ErrNone);
  }
  t.Entry(referrers[0], 9, kChannels, "U");  // refers elsewhere

  t.Go(target);
  uint32_t marks[2] = {0, 0};
  uint32_t count = 0;
  ASSERT_EQ(t.s().GetRefdValue(kName, marks, 2, &count), ErrNone);
  EXPECT_EQ(count, 5u);
  EXPECT_EQ(t.at(), target);
  ASSERT_TRUE(t.s().GotoBookMark(marks[0]));
  EXPECT_EQ(t.at(), referrers[0]);
  ASSERT_TRUE(t.s().GotoBookMark(marks[1]));
  EXPECT_EQ(t.at(), referrers[1]);

  // No array and no count: still a clean walk.
  t.Go(target);
  EXPECT_EQ(t.s().GetRefdValue(kName, nullptr, 10, nullptr), ErrNone);
  count = 99;
  EXPECT_EQ(t.s().GetRefdValue(kNumber, nullptr, 0, &count), ErrValueNotFound);
  EXPECT_EQ(count, 0u);
}

TEST(References, KeysMatchAcrossEncodings) {
  TestTree t;
  ItemBlock* marked = t.Add(t.root(), kChannels);
  t.PutUtf8(marked, kName, "Gr\xC3\xBC\xC3\x9F" "e");  // UTF-8, marked
  ItemBlock* holder = t.Add(t.root(), kSheets);
  t.Entry(holder, 1, kChannels, "Gr\xFC\xDF" "e");  // the same text in 8-bit
  t.Entry(holder, 2, kChannels, "Grusse");
  ItemBlock* copy = t.Entry(holder, 3, kChannels, nullptr);
  t.PutUtf8(copy, kName, "Gr\xC3\xBC\xC3\x9F" "e");
  // An 8-bit entry with the UTF-8 bytes is a different text.
  t.Entry(holder, 4, kChannels, "Gr\xC3\xBC\xC3\x9F" "e");

  t.Go(marked);
  uint32_t count = 0;
  ASSERT_EQ(t.s().GetRefdValue(kName, nullptr, 0, &count), ErrNone);
  EXPECT_EQ(count, 2u);

  // And the other way round: an 8-bit block key, a marked entry.
  ItemBlock* plain = t.Add(t.root(), kChannels, "Caf\xE9");
  ItemBlock* entry = t.Entry(holder, 5, kChannels, nullptr);
  t.PutUtf8(entry, kName, "Caf\xC3\xA9");
  t.Entry(holder, 6, kChannels, "Caf\xE9");
  t.Go(plain);
  uint16_t small = 0;
  ASSERT_EQ(t.s().CheckRefdValue(kName, &small, nullptr), ErrNone);
  EXPECT_EQ(small, 2);
  EXPECT_EQ(t.Text(plain), "Caf\xE9");
}

TEST(References, RenameKeepsEveryReferrerPointingAtTheBlock) {
  TestTree t;
  ItemBlock* target = t.Add(t.root(), kChannels, "Old");
  ItemBlock* other = t.Add(t.root(), kChannels, "Other");
  std::vector<uint32_t> referrers;
  for (int i = 0; i < 3; ++i) {
    ItemBlock* sheet = t.Add(t.root(), kSheets);
    ItemBlock* referrer = t.Add(sheet, kRows);
    referrers.push_back(t.Mark(referrer));
    t.Go(referrer);
    ASSERT_EQ(t.s().CreateReference(t.Mark(target), 1, kName), ErrNone);
    ASSERT_EQ(t.s().CreateReference(t.Mark(other), 2, kName), ErrNone);
  }

  // Counting only changes nothing.
  t.Go(target);
  uint16_t count = 0;
  ASSERT_EQ(t.s().CheckRefdValue(kName, &count, nullptr), ErrNone);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(t.Text(target), "Old");

  ASSERT_EQ(t.s().CheckRefdValueUTF8(kName, &count, "New"), ErrNone);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(t.at(), target);
  EXPECT_EQ(t.Text(target), "New");
  for (uint32_t mark : referrers) {
    ASSERT_TRUE(t.s().GotoBookMark(mark));
    ASSERT_EQ(t.s().GotoReference(1), ErrNone);
    EXPECT_EQ(t.at(), target);
    ASSERT_TRUE(t.s().GotoBookMark(mark));
    ASSERT_EQ(t.s().GotoReference(2), ErrNone);
    EXPECT_EQ(t.at(), other);
  }

  // The UTF-16 form renames again; the stored text is marked UTF-8.
  t.Go(target);
  ASSERT_EQ(t.s().CheckRefdValueUTF16(kName, &count, u"N\u00e9u"), ErrNone);
  EXPECT_EQ(count, 3);
  char text[16] = {};
  EXPECT_EQ(t.s().ReadStringUTF8(kName, text, sizeof text), 5u);
  EXPECT_STREQ(text, "N\xC3\xA9u");
  ASSERT_TRUE(t.s().GotoBookMark(referrers[2]));
  ASSERT_EQ(t.s().GotoReference(1), ErrNone);
  EXPECT_EQ(t.at(), target);
}

TEST(References, RenameOfAFixedKeyAndOnTheRoot) {
  TestTree t;
  ItemBlock* target = t.Add(t.root(), kSheets);
  const uint8_t id[4] = {1, 2, 3, 4};
  t.PutRaw(target, kNumber, id, 0);
  ItemBlock* referrer = t.Add(t.root(), 500);
  t.Go(referrer);
  ASSERT_EQ(t.s().CreateReference(t.Mark(target), 1, kNumber), ErrNone);
  t.Go(target);
  const uint8_t renamed[4] = {9, 9, 9, 9};
  uint16_t count = 0;
  ASSERT_EQ(t.s().CheckRefdValue(kNumber, &count, renamed), ErrNone);
  EXPECT_EQ(count, 1);
  t.Go(referrer);
  ASSERT_EQ(t.s().GotoReference(1), ErrNone);
  EXPECT_EQ(t.at(), target);

  // On the root the value changes but nothing is counted or renamed.
  t.Put(t.root(), kName, "root");
  t.Entry(referrer, 2, kSheets, "root");
  t.Go(t.root());
  ASSERT_EQ(t.s().CheckRefdValue(kName, &count, "moved"), ErrNone);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(t.Text(t.root()), "moved");
  const Item* refs = SessionCore::FindItem(referrer, kTidReferenceItem);
  EXPECT_EQ(t.Text(refs->blocks.back()), "root");
}

TEST(References, DataKeysCompareByContent) {
  TestTree t;
  const uint8_t blob[5] = {1, 2, 3, 4, 5};
  const uint8_t otherBlob[5] = {1, 2, 3, 4, 6};
  const uint32_t five = 5;
  ItemBlock* target = t.Add(t.root(), kSheets);
  t.PutRaw(target, kTidDataSize, &five, 0);
  t.PutRaw(target, kTidData, blob, 5);
  ItemBlock* lookalike = t.Add(t.root(), kSheets);
  t.PutRaw(lookalike, kTidDataSize, &five, 0);
  t.PutRaw(lookalike, kTidData, otherBlob, 5);
  ItemBlock* referrer = t.Add(t.root(), 500);
  t.Go(referrer);
  ASSERT_EQ(t.s().CreateReference(t.Mark(target), 1, kTidData), ErrNone);
  ASSERT_EQ(t.s().CreateReference(t.Mark(lookalike), 2, kTidData), ErrNone);

  for (ItemBlock* block : {target, lookalike}) {
    t.Go(block);
    uint32_t count = 0;
    ASSERT_EQ(t.s().GetRefdValue(kTidData, nullptr, 0, &count), ErrNone);
    EXPECT_EQ(count, 1u);
  }
}

TEST(References, UnreadableFileKeysTakePartInNoComparison) {
  TestTree t;
  ItemBlock* target = t.Add(t.root(), kSheets);
  t.Go(target);
  ASSERT_TRUE(t.s().InsertDataFile("/nonexistent/kestron4-refs.bin", 0, 4));
  ItemBlock* referrer = t.Add(t.root(), 500);
  t.Go(referrer);
  EXPECT_EQ(t.s().CreateReference(t.Mark(target), 1, kTidData), ErrFileAccess);
  EXPECT_EQ(SessionCore::FindItem(referrer, kTidReferenceItem), nullptr);
  t.Go(target);
  uint32_t count = 7;
  EXPECT_EQ(t.s().GetRefdValue(kTidData, nullptr, 0, &count), ErrFileAccess);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(t.at(), target);

  // An entry whose key is such a file is never counted, even against a blob
  // of the same length.
  const uint8_t zeros[4] = {0, 0, 0, 0};
  const uint32_t four = 4;
  ItemBlock* blank = t.Add(t.root(), kSheets);
  t.PutRaw(blank, kTidDataSize, &four, 0);
  t.PutRaw(blank, kTidData, zeros, 4);
  ItemBlock* entry = t.Entry(referrer, 2, kSheets, nullptr);
  t.Go(entry);
  ASSERT_TRUE(t.s().InsertDataFile("/nonexistent/kestron4-refs.bin", 0, 4));
  t.Go(blank);
  ASSERT_EQ(t.s().GetRefdValue(kTidData, nullptr, 0, &count), ErrNone);
  EXPECT_EQ(count, 0u);
}

}  // namespace
}  // namespace kestron4
