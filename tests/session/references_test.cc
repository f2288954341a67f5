#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "session/session_test_tree.h"

namespace kestron4 {
namespace {

using namespace kestron4::testing;

// Follows reference number from `from`; true when it answered code and the
// cursor ended on where.
bool Follows(TestTree& t, ItemBlock* from, uint16_t number, ErrorCode code, ItemBlock* where) {
  t.Go(from);
  const ErrorCode got = t.s().GotoReference(number);
  EXPECT_EQ(got, code) << "number " << number;
  return got == code && t.at() == where;
}

TEST(References, CreateReplaceFollowAndFailWithoutSideEffects) {
  TestTree t;
  ItemBlock* a = t.Add(t.root(), kChannels, "A");
  ItemBlock* b = t.Add(t.root(), kChannels, "B");
  ItemBlock* referrer = t.Add(t.root(), kSheets);
  t.Go(referrer);
  ASSERT_EQ(t.s().CreateReference(t.Mark(a), 5, kName), ErrNone);
  ASSERT_EQ(t.s().CreateReference(t.Mark(b), 6, kName), ErrNone);
  ASSERT_EQ(t.s().CreateReference(t.Mark(b), 5, kName), ErrNone);
  EXPECT_EQ(t.at(), referrer);
  // Number 5 twice: one entry, the newer, as the last block.
  const Item* refs = SessionCore::FindItem(referrer, kTidReferenceItem);
  ASSERT_EQ(refs->blocks.size(), 2u);
  EXPECT_EQ(t.Bytes(refs->blocks[0], kTidRefNumber), std::string("\6\0", 2));
  EXPECT_EQ(t.Bytes(refs->blocks[1], kTidRefNumber), std::string("\5\0", 2));
  EXPECT_EQ(t.Bytes(refs->blocks[1], kTidRefTarget), std::string("\x69\0", 2));
  EXPECT_EQ(t.Text(refs->blocks[1]), "B");
  EXPECT_TRUE(Follows(t, referrer, 5, ErrNone, b));

  t.Go(referrer);
  EXPECT_EQ(t.s().CreateReference(9999, 7, kName), ErrNoBookmark);
  EXPECT_EQ(t.s().CreateReference(t.Mark(a), 7, kNumber), ErrValueNotFound);
  t.Put(a, kTidData, "xyz", 3);  // a blob without its size value
  EXPECT_EQ(t.s().CreateReference(t.Mark(a), 7, kTidData), ErrDataSize);
  EXPECT_TRUE(Follows(t, referrer, 7, ErrRefNotFound, referrer));
  EXPECT_EQ(refs->blocks.size(), 2u);
  // A deleted target: its bookmark is gone and following it fails.
  const uint32_t markB = t.Mark(b);
  t.Go(b);
  ASSERT_EQ(t.s().DeleteCurrentItem(), ErrNone);
  t.Go(referrer);
  EXPECT_EQ(t.s().CreateReference(markB, 8, kName), ErrNoBookmark);
  EXPECT_TRUE(Follows(t, referrer, 5, ErrBlockRefNotFound, referrer));
  EXPECT_TRUE(Follows(t, t.root(), 5, ErrRefNotFound, t.root()));
}

TEST(References, MalformedNestedAndOutwardSearch) {
  TestTree t;
  ItemBlock* farRow = t.Add(t.Add(t.root(), kSheets), kRows, "X");
  ItemBlock* near = t.Add(t.root(), kSheets);
  ItemBlock* nearRow = t.Add(near, kRows, "X");
  ItemBlock* referrer = t.Add(near, 500);
  t.Entry(referrer, 1, kRows, "X");
  t.Entry(referrer, 2, kRows, nullptr);                    // no key
  t.Entry(referrer, 3, 0, "X");                            // no target TID
  EXPECT_TRUE(Follows(t, referrer, 1, ErrNone, nearRow));  // the nearest wins
  EXPECT_TRUE(Follows(t, referrer, 2, ErrRefNotFound, referrer));
  EXPECT_TRUE(Follows(t, referrer, 3, ErrBlockRefNotFound, referrer));
  t.Entry(t.root(), 1, kRows, "X");  // from the root: the whole session in order
  EXPECT_TRUE(Follows(t, t.root(), 1, ErrNone, farRow));

  ItemBlock* sheet = t.Add(t.root(), kChannels, "S");
  t.Add(sheet, kRows, "r0");
  ItemBlock* row = t.Add(sheet, kRows, "r1");
  t.Nest(t.Entry(referrer, 4, kChannels, "S"), kRows, "r1");
  t.Nest(t.Entry(referrer, 5, kChannels, "S"), kRows, "r9");
  t.PutU16(t.Add(t.Entry(referrer, 6, kChannels, "S"), 113), 8001, kRows);  // no inner key
  EXPECT_TRUE(Follows(t, referrer, 4, ErrNone, row));
  EXPECT_TRUE(Follows(t, referrer, 5, ErrBlockRefNotFound, sheet));  // stops on the outer
  EXPECT_TRUE(Follows(t, referrer, 6, ErrRefNotFound, referrer));
}

TEST(References, ListingCountsPastCapacityAndMatchesAcrossEncodings) {
  TestTree t;
  ItemBlock* target = t.Add(t.root(), kChannels);
  t.PutUtf8(target, kName,
            "Gr\xC3\xBC\xC3\x9F"
            "e");
  std::vector<ItemBlock*> referrers;
  for (int i = 0; i < 4; ++i) {
    t.Go(referrers.emplace_back(t.Add(t.root(), kSheets)));
    ASSERT_EQ(t.s().CreateReference(t.Mark(target), 1, kName), ErrNone);
  }
  t.Entry(referrers[3], 2, kChannels,
          "Gr\xFC\xDF"
          "e");  // 8-bit: equal
  t.Entry(referrers[3], 3, kChannels,
          "Gr\xC3\xBC\xC3\x9F"
          "e");  // UTF-8 unmarked: not
  t.Entry(referrers[3], 4, kChannels, "Grusse");
  t.Go(target);
  uint32_t marks[2] = {0, 0}, count = 0;
  ASSERT_EQ(t.s().GetRefdValue(kName, marks, 2, &count), ErrNone);
  EXPECT_EQ(count, 5u);
  EXPECT_EQ(t.at(), target);
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(t.s().GotoBookMark(marks[i]));
    EXPECT_EQ(t.at(), referrers[i]);
  }
  t.Go(target);
  EXPECT_EQ(t.s().GetRefdValue(kName, nullptr, 9, nullptr), ErrNone);
  EXPECT_EQ(t.s().GetRefdValue(kNumber, nullptr, 0, &count), ErrValueNotFound);
  EXPECT_EQ(count, 0u);
  // An 8-bit block key against a marked entry; a check without a new key
  // changes nothing.
  ItemBlock* cafe = t.Add(t.root(), kChannels, "Caf\xE9");
  t.PutUtf8(t.Entry(referrers[0], 9, kChannels, nullptr), kName, "Caf\xC3\xA9");
  t.Go(cafe);
  uint16_t small = 0;
  ASSERT_EQ(t.s().CheckRefdValue(kName, &small, nullptr), ErrNone);
  EXPECT_EQ(small, 1);
  EXPECT_EQ(t.Text(cafe), "Caf\xE9");
}

TEST(References, RenameKeepsEveryReferrerPointingAtTheBlock) {
  TestTree t;
  ItemBlock* target = t.Add(t.root(), kChannels, "Old");
  ItemBlock* other = t.Add(t.root(), kChannels, "Other");
  std::vector<ItemBlock*> referrers;
  for (int i = 0; i < 3; ++i) {
    t.Go(referrers.emplace_back(t.Add(t.Add(t.root(), kSheets), kRows)));
    ASSERT_EQ(t.s().CreateReference(t.Mark(target), 1, kName), ErrNone);
    ASSERT_EQ(t.s().CreateReference(t.Mark(other), 2, kName), ErrNone);
  }
  auto expectAllFollow = [&] {
    for (ItemBlock* referrer : referrers) {
      EXPECT_TRUE(Follows(t, referrer, 1, ErrNone, target));
      EXPECT_TRUE(Follows(t, referrer, 2, ErrNone, other));
    }
  };
  t.Go(target);
  uint16_t count = 0;
  ASSERT_EQ(t.s().CheckRefdValueUTF8(kName, &count, "New"), ErrNone);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(t.at(), target);
  EXPECT_EQ(t.Text(target), "New");
  expectAllFollow();
  t.Go(target);
  ASSERT_EQ(t.s().CheckRefdValueUTF16(kName, &count, u"N\u00e9u"), ErrNone);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(t.Text(target), "N\xC3\xA9u");
  expectAllFollow();
  // A fixed key renamed raw; on the root the value changes, nothing else.
  const uint8_t id[4] = {1, 2, 3, 4}, renamed[4] = {9, 9, 9, 9};
  t.Put(target, kNumber, id);
  t.Go(referrers[0]);
  ASSERT_EQ(t.s().CreateReference(t.Mark(target), 3, kNumber), ErrNone);
  t.Go(target);
  ASSERT_EQ(t.s().CheckRefdValue(kNumber, &count, renamed), ErrNone);
  EXPECT_EQ(count, 1);
  t.Put(t.root(), kNumber, renamed);
  t.Go(t.root());
  ASSERT_EQ(t.s().CheckRefdValue(kNumber, &count, id), ErrNone);
  EXPECT_EQ(count, 0);
  EXPECT_TRUE(Follows(t, referrers[0], 3, ErrNone, target));
}

// Blob keys compare by content, also from a readable outside file; an
// unreadable one is refused as the block's own key and never equal as an
// entry's.
TEST(References, DataKeysCompareByContentAndUnreadableFilesNever) {
  TestTree t;
  const uint32_t four = 4;
  ItemBlock* referrer = t.Add(t.root(), 500);
  ItemBlock* blobs[3] = {t.Add(t.root(), kSheets), t.Add(t.root(), kSheets),
                         t.Add(t.root(), kSheets)};
  for (uint16_t i = 0; i < 2; ++i) {
    t.Put(blobs[i], kTidDataSize, &four);
    t.Put(blobs[i], kTidData, i == 0 ? "abcd" : "abce", 4);
    t.Go(referrer);
    ASSERT_EQ(t.s().CreateReference(t.Mark(blobs[i]), i, kTidData), ErrNone);
  }
  const std::string path = ::testing::TempDir() + "kestron4-refs-key.bin";
  std::ofstream(path, std::ios::binary) << "abcd";
  t.Go(blobs[2]);
  ASSERT_TRUE(t.s().InsertDataFile(path.c_str(), 0, 4));
  t.Go(t.Entry(referrer, 2, kSheets, nullptr));
  ASSERT_TRUE(t.s().InsertDataFile("/nonexistent/kestron4-refs.bin", 0, 4));
  uint32_t count = 0;
  for (ItemBlock* block : blobs) {
    t.Go(block);
    ASSERT_EQ(t.s().GetRefdValue(kTidData, nullptr, 0, &count), ErrNone);
    EXPECT_EQ(count, 1u);
  }
  t.Go(referrer);
  EXPECT_EQ(t.s().CreateReference(t.Mark(blobs[2]), 4, kTidData), ErrNone);
  std::remove(path.c_str());
  EXPECT_EQ(t.s().CreateReference(t.Mark(blobs[2]), 3, kTidData), ErrFileAccess);
  t.Go(blobs[2]);
  count = 7;
  EXPECT_EQ(t.s().GetRefdValue(kTidData, nullptr, 0, &count), ErrFileAccess);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(t.at(), blobs[2]);
}

}  // namespace
}  // namespace kestron4
