#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <vector>

#include "session/edit/block_walk.h"
#include "session/edit/integrity_check.h"
#include "session/session_test_tree.h"

namespace kestron4 {
namespace {

using namespace kestron4::testing;

TEST(Integrity, CountsResolvedReferencesUpToTheFirstFailure) {
  TestTree t;
  uint32_t count = 99;
  EXPECT_EQ(t.s().CheckIntegrity(&count), ErrNone);
  EXPECT_EQ(count, 0u);
  t.Add(t.root(), kChannels, "A");
  ItemBlock* row = t.Add(t.Add(t.root(), kSheets), kRows, "r");
  ItemBlock* holder = t.Add(t.root(), 500);
  t.Entry(holder, 1, kChannels, "A");
  t.Entry(holder, 2, kRows, "r");
  t.Entry(holder, 2, kRows, "shadowed");           // number 2 again: checked as the first
  t.Add(holder, kTidReferenceItem, "unnumbered");  // not a reference: skipped
  t.Go(row);
  EXPECT_EQ(t.s().CheckIntegrity(&count), ErrNone);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(t.at(), row);
  EXPECT_EQ(t.s().CheckIntegrity(nullptr), ErrNone);

  t.Entry(t.Add(t.root(), 501), 1, kChannels, "missing");
  t.Entry(t.Add(t.root(), 502), 1, kChannels, "A");
  EXPECT_EQ(t.s().CheckIntegrity(&count), ErrRefNotFound);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(t.at(), row);
  // A number that cannot be read fails at once.
  t.Put(t.Add(row, kTidReferenceItem), kTidRefNumber, "\1", 1);
  EXPECT_EQ(t.s().CheckIntegrity(&count), ErrRefNotFound);
  EXPECT_EQ(count, 0u);
}

TEST(Integrity, DeepTreesAreWalkedWithoutRecursion) {
  TestTree t;
  ItemBlock* target = t.Add(t.root(), kChannels, "top");
  ItemBlock* block = t.root();
  constexpr uint32_t kDepth = 4000;
  for (uint32_t i = 1; i <= kDepth; ++i) {
    block = t.Add(block, kSheets);
    if (i % 100 == 0) t.Entry(block, 1, kChannels, "top");
  }
  uint32_t count = 0;
  EXPECT_EQ(t.s().CheckIntegrity(&count), ErrNone);
  EXPECT_EQ(count, kDepth / 100);
  t.Go(target);
  ASSERT_EQ(t.s().GetRefdValue(kName, nullptr, 0, &count), ErrNone);
  EXPECT_EQ(count, kDepth / 100);
  uint16_t renamed = 0;
  ASSERT_EQ(t.s().CheckRefdValue(kName, &renamed, "bottom"), ErrNone);
  EXPECT_EQ(renamed, kDepth / 100);
}

// Resolves every entry as the check does, and every number 0..4 of every
// holder on its own, through both paths: same code, same block. Then the
// whole check both ways: same code, count and cursor.
int ExpectIndexAgrees(TestTree& t) {
  std::vector<Resolution> walks[2];
  for (bool indexed : {false, true}) {
    ResolveAllReferences(t.s(), indexed, [&](const ItemBlock*, const Resolution& r) {
      walks[indexed].push_back(r);
      return true;
    });
  }
  int resolved = 0;
  EXPECT_EQ(walks[0].size(), walks[1].size());
  for (std::size_t i = 0; i < std::min(walks[0].size(), walks[1].size()); ++i) {
    EXPECT_EQ(walks[0][i].code, walks[1][i].code) << "entry " << i;
    EXPECT_EQ(walks[0][i].landing, walks[1][i].landing) << "entry " << i;
    resolved += walks[0][i].code == ErrNone;
  }
  PlainTargetFinder plain(t.s());
  IndexedTargetFinder indexed(t.s());
  WalkBlocks(t.root(), [&](ItemBlock* block) {
    if (block->parent == nullptr || block->parent->tid != kTidReferenceItem) return true;
    for (uint16_t number = 0; number < 5; ++number) {
      const Resolution a = ResolveReference(t.s(), block->parent->parent, number, plain);
      const Resolution b = ResolveReference(t.s(), block->parent->parent, number, indexed);
      EXPECT_EQ(a.code, b.code);
      EXPECT_EQ(a.landing, b.landing);
    }
    return true;
  });
  ItemBlock* const start = t.at();
  uint32_t counts[2] = {0, 0};
  const ErrorCode plainCode = RunIntegrityCheck(t.s(), &counts[0], false);
  EXPECT_EQ(t.at(), start);
  EXPECT_EQ(RunIntegrityCheck(t.s(), &counts[1], true), plainCode);
  EXPECT_EQ(t.at(), start);
  EXPECT_EQ(counts[0], counts[1]);
  return resolved;
}

// A two-byte blob key whose size value (1066) comes before it, after it or
// not at all.
void PutBlob(TestTree& t, ItemBlock* block, const char* bytes, std::size_t sizeAt) {
  const uint32_t two = 2;
  if (sizeAt == 0) t.Put(block, kTidDataSize, &two);
  t.Put(block, kTidData, bytes, 2);
  if (sizeAt == 1) t.Put(block, kTidDataSize, &two);
}

// Random sessions with few distinct keys, so that duplicates and near
// misses are the rule.
TEST(TargetIndex, AgreesWithTheScanOnRandomSessions) {
  // 361 and 105 differ in their high byte only, 401 and 145 in their low.
  const Tid itemTids[] = {kChannels, 120, kRows, 401, kSheets, 361, 145};
  const char* names[] = {"a", "b", "c", "d", "e"};
  int resolved = 0;
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    std::mt19937 random(seed);
    auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    TestTree t;
    std::vector<ItemBlock*> blocks{t.root()};
    for (std::size_t i = 20 + pick(120); i > 0; --i) {
      ItemBlock* parent = blocks[pick(blocks.size())];
      ItemBlock* block = t.Add(parent, itemTids[pick(std::size(itemTids))]);
      if (pick(4) == 1) t.PutUtf8(block, kName, names[pick(5)]);
      if (pick(4) >= 2) t.Put(block, kName, names[pick(5)]);
      const uint32_t id = static_cast<uint32_t>(pick(3));
      if (pick(3) == 0) t.Put(block, kNumber, &id);
      if (pick(4) == 0) PutBlob(t, block, names[pick(2)], pick(3));
      blocks.push_back(block);
    }
    for (std::size_t i = 10 + pick(40); i > 0; --i) {
      const Tid target = pick(10) == 0 ? 403 : itemTids[pick(std::size(itemTids))];
      ItemBlock* holder = blocks[pick(blocks.size())];
      const auto number = static_cast<uint16_t>(pick(5));
      const std::size_t keyKind = pick(4);
      const char* key = keyKind < 2 ? names[pick(5)] : nullptr;
      ItemBlock* entry = t.Entry(holder, number, target, key);
      const uint32_t id = static_cast<uint32_t>(pick(3));
      if (keyKind == 2) t.Put(entry, kNumber, &id);
      if (keyKind == 3) PutBlob(t, entry, names[pick(2)], pick(3));
      if (pick(4) == 0) t.Nest(entry, itemTids[pick(std::size(itemTids))], names[pick(5)]);
    }
    // One entry whose fixed key comes before its target TID.
    ItemBlock* odd = t.Add(blocks[pick(blocks.size())], kTidReferenceItem);
    t.PutU16(odd, kTidRefNumber, 2);
    t.Put(odd, kNumber, "\1\0\0\0");
    t.PutU16(odd, kTidRefTarget, kRows);
    t.Go(blocks[pick(blocks.size())]);
    SCOPED_TRACE(::testing::Message() << "seed " << seed);
    resolved += ExpectIndexAgrees(t);
  }
  EXPECT_GT(resolved, 400);
}

}  // namespace
}  // namespace kestron4
