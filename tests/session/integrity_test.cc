#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "session/edit/block_walk.h"
#include "session/edit/integrity_check.h"
#include "session/edit/reference_resolver.h"
#include "session/reference_test_tree.h"

namespace kestron4 {
namespace {

using testing::kName;
using testing::kNumber;
using testing::TestTree;

constexpr Tid kChannels = 105;  // quick-find
constexpr Tid kGroups = 120;    // quick-find
constexpr Tid kSheets = 300;
constexpr Tid kRows = 400;

TEST(Integrity, CountsResolvedReferencesAndStopsAtTheFirstFailure) {
  TestTree t;
  uint32_t count = 99;
  EXPECT_EQ(t.s().CheckIntegrity(&count), ErrNone);  // no references at all
  EXPECT_EQ(count, 0u);

  t.Add(t.root(), kChannels, "A");
  ItemBlock* sheet = t.Add(t.root(), kSheets);
  ItemBlock* row = t.Add(sheet, kRows, "r");
  ItemBlock* holder = t.Add(t.root(), 500);
  t.Entry(holder, 1, kChannels, "A");
  t.Entry(holder, 2, kRows, "r");
  ItemBlock* unnumbered = t.Add(holder, kTidReferenceItem);  // not a reference: skipped
  t.Put(unnumbered, kName, "x");
  t.Entry(row, 3, kChannels, "A");
  t.Go(row);
  EXPECT_EQ(t.s().CheckIntegrity(&count), ErrNone);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(t.at(), row);
  EXPECT_EQ(t.s().CheckIntegrity(nullptr), ErrNone);

  // A dangling reference after the three: 11, the count of those before it,
  // and the cursor back where it was.
  t.Entry(t.Add(t.root(), 501), 1, kChannels, "missing");
  t.Entry(t.Add(t.root(), 502), 1, kChannels, "A");
  EXPECT_EQ(t.s().CheckIntegrity(&count), ErrRefNotFound);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(t.at(), row);
  EXPECT_EQ(t.s().CheckIntegrity(nullptr), ErrRefNotFound);
}

TEST(Integrity, DuplicateNumbersAreResolvedAsFollowingWould) {
  TestTree t;
  t.Add(t.root(), kChannels, "A");
  ItemBlock* holder = t.Add(t.root(), kSheets);
  t.Entry(holder, 1, kChannels, "A");
  t.Entry(holder, 1, kChannels, "nowhere");  // shadowed by the first entry 1
  uint32_t count = 0;
  EXPECT_EQ(t.s().CheckIntegrity(&count), ErrNone);
  EXPECT_EQ(count, 2u);
  // A number that cannot be read fails the check.
  ItemBlock* broken = t.Add(holder, kTidReferenceItem);
  const uint8_t one = 1;
  t.PutRaw(broken, kTidRefNumber, &one, 1);
  EXPECT_EQ(t.s().CheckIntegrity(&count), ErrRefNotFound);
  EXPECT_EQ(count, 2u);
}

TEST(Integrity, DeepTreesAreWalkedWithoutRecursion) {
  TestTree t;
  ItemBlock* target = t.Add(t.root(), kChannels, "top");
  ItemBlock* block = t.root();
  constexpr int kDepth = 4000;
  for (int i = 0; i < kDepth; ++i) {
    block = t.Add(block, kSheets);
    if (i % 100 == 99) t.Entry(block, 1, kChannels, "top");
  }
  uint32_t count = 0;
  EXPECT_EQ(t.s().CheckIntegrity(&count), ErrNone);
  EXPECT_EQ(count, kDepth / 100u);
  t.Go(target);
  ASSERT_EQ(t.s().GetRefdValue(kName, nullptr, 0, &count), ErrNone);
  EXPECT_EQ(count, kDepth / 100u);
  uint16_t renamed = 0;
  ASSERT_EQ(t.s().CheckRefdValue(kName, &renamed, "bottom"), ErrNone);
  EXPECT_EQ(renamed, kDepth / 100);
  EXPECT_EQ(t.s().CheckIntegrity(&count), ErrNone);
  EXPECT_EQ(count, kDepth / 100u);
}

// --- The index of targets gives exactly the scan's answers --------------

struct Answer {
  ErrorCode code;
  ItemBlock* landing;
  bool operator==(const Answer& o) const { return code == o.code && landing == o.landing; }
};

// Resolves every entry of the session with both finders (one finder for the
// whole walk, as the check uses it) and expects the same code and block.
void ExpectSameResolutions(TestTree& t, int* resolved = nullptr) {
  PlainTargetFinder plain(t.core());
  IndexedTargetFinder indexed(t.core());
  int entries = 0;
  int found = 0;
  WalkBlocks(t.root(), [&](ItemBlock* block) {
    if (block->parent == nullptr || block->parent->tid != kTidReferenceItem) return true;
    ItemBlock* holder = block->parent->parent;
    for (uint16_t number = 0; number < 5; ++number) {
      const Resolution a = ResolveReference(t.core(), holder, number, plain);
      const Resolution b = ResolveReference(t.core(), holder, number, indexed);
      EXPECT_EQ(a.code, b.code) << "entry " << entries << " number " << number;
      EXPECT_EQ(a.landing, b.landing) << "entry " << entries << " number " << number;
      if (a.code == ErrNone) ++found;
    }
    ++entries;
    return true;
  });
  if (resolved != nullptr) *resolved = found;

  ItemBlock* const start = t.at();
  uint32_t plainCount = 0;
  uint32_t indexedCount = 0;
  const ErrorCode plainCode = RunIntegrityCheck(t.core(), &plainCount, false);
  EXPECT_EQ(t.at(), start);
  const ErrorCode indexedCode = RunIntegrityCheck(t.core(), &indexedCount, true);
  EXPECT_EQ(t.at(), start);
  EXPECT_EQ(plainCode, indexedCode);
  EXPECT_EQ(plainCount, indexedCount);
}

TEST(TargetIndex, AgreesWithTheScanOnTrickyOrders) {
  TestTree t;
  // Duplicate keys at every level: the root's own channels, channels one
  // level down, and channels deep below; the quick search prefers the root,
  // then level one in order, then the start's subtree.
  ItemBlock* sheetA = t.Add(t.root(), kSheets, "A");
  ItemBlock* sheetB = t.Add(t.root(), kSheets, "B");
  t.Add(sheetA, kChannels, "dup");
  t.Add(sheetB, kChannels, "dup");
  ItemBlock* deep = t.Add(t.Add(sheetB, kRows, "r"), kRows, "r");
  ItemBlock* deepChannel = t.Add(deep, kChannels, "deep");
  t.Add(deep, kGroups, "g");
  ItemBlock* rowsA = t.Add(sheetA, kRows, "r");
  t.Add(rowsA, kRows, "x");
  t.Add(sheetB, kRows, "x");
  t.PutUtf8(t.Add(sheetB, kRows), kName, "x");  // marked: equal under the plain compare

  // Referrers in different subtrees.
  for (ItemBlock* holder : {t.root(), sheetA, sheetB, deep, rowsA, deepChannel}) {
    t.Entry(holder, 0, kChannels, "dup");
    t.Entry(holder, 1, kRows, "x");
    t.Entry(holder, 2, kRows, "r");
    t.Entry(holder, 3, kChannels, "deep");
    t.Nest(t.Entry(holder, 4, kSheets, "B"), kRows, "x");
  }
  // A second entry with a used number, one with a target that is nowhere,
  // one whose first value after the number is an extra fixed value.
  t.Entry(sheetA, 1, kRows, "nowhere");
  t.Entry(deep, 7, 403, "r");
  ItemBlock* odd = t.Add(rowsA, kTidReferenceItem);
  t.PutU16(odd, kTidRefNumber, 2);
  t.PutRaw(odd, kNumber, "\1\2\3\4", 0);
  t.PutU16(odd, kTidRefTarget, kRows);
  t.Put(odd, kName, "r");
  // A holder with many entries and repeated numbers, the first of each
  // number dangling or not in turn.
  ItemBlock* busy = t.Add(sheetB, 500);
  for (int i = 0; i < 24; ++i)
    t.Entry(busy, static_cast<uint16_t>(i % 5), kRows, (i / 5) % 2 == 0 ? "x" : "none");
  int resolved = 0;
  ExpectSameResolutions(t, &resolved);
  EXPECT_GT(resolved, 20);

  // After adding the root channel "dup", the quick search stops at the root.
  t.Add(t.root(), kChannels, "dup");
  ExpectSameResolutions(t);
}

// Random sessions with few distinct keys, so duplicates and near misses are
// the rule: every entry resolves the same way through both paths.
TEST(TargetIndex, AgreesWithTheScanOnRandomSessions) {
  const Tid itemTids[] = {kChannels, kGroups, kRows, 401, kSheets};
  const char* names[] = {"a", "b", "c", "d", "e"};
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    std::mt19937 random(seed);
    auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    TestTree t;
    std::vector<ItemBlock*> blocks{t.root()};
    const int size = 20 + static_cast<int>(pick(120));
    for (int i = 0; i < size; ++i) {
      ItemBlock* parent = blocks[pick(blocks.size())];
      ItemBlock* block = t.Add(parent, itemTids[pick(5)]);
      switch (pick(4)) {
        case 0: break;  // no key at all
        case 1: t.PutUtf8(block, kName, names[pick(5)]); break;
        default: t.Put(block, kName, names[pick(5)]);
      }
      if (pick(3) == 0) {
        const uint32_t id = static_cast<uint32_t>(pick(3));
        t.PutRaw(block, kNumber, &id, 0);
      }
      blocks.push_back(block);
    }
    const int references = 10 + static_cast<int>(pick(40));
    for (int i = 0; i < references; ++i) {
      ItemBlock* holder = blocks[pick(blocks.size())];
      const Tid target = pick(10) == 0 ? 403 : itemTids[pick(5)];
      ItemBlock* entry = t.Entry(holder, static_cast<uint16_t>(pick(5)), target, nullptr);
      if (pick(2) == 0) {
        t.Put(entry, kName, names[pick(5)]);
      } else {
        const uint32_t id = static_cast<uint32_t>(pick(3));
        t.PutRaw(entry, kNumber, &id, 0);
      }
      if (pick(4) == 0) t.Nest(entry, itemTids[pick(5)], names[pick(5)]);
    }
    t.Go(blocks[pick(blocks.size())]);
    SCOPED_TRACE(::testing::Message() << "seed " << seed);
    ExpectSameResolutions(t);
  }
}

}  // namespace
}  // namespace kestron4
