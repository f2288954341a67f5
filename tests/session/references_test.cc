#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "session/reference_test_tree.h"

namespace kestron4 {
namespace {

using namespace kestron4::testing;

uint16_t U16Of(TestTree& t, ItemBlock* block, Tid tid) {
  uint8_t bytes[2] = {0, 0};
  t.core().ReadBytes(*SessionCore::FindValue(block, tid), 0, bytes, 2);
  return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

TEST(References, CreateReplaceAndFollow) {
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
  ItemBlock* entry = refs->blocks[1];
  EXPECT_EQ(U16Of(t, refs->blocks[0], kTidRefNumber), 6);
  EXPECT_EQ(U16Of(t, entry, kTidRefNumber), 5);
  EXPECT_EQ(U16Of(t, entry, kTidRefTarget), kChannels);
  EXPECT_EQ(t.Text(entry), "B");
  ASSERT_EQ(t.s().GotoReference(5), ErrNone);
  EXPECT_EQ(t.at(), b);

  // Failures leave the cursor and the entries alone.
  t.Go(referrer);
  EXPECT_EQ(t.s().CreateReference(9999, 7, kName), ErrNoBookmark);
  EXPECT_EQ(t.s().CreateReference(t.Mark(a), 7, kNumber), ErrValueNotFound);
  t.Put(a, kTidData, "xyz", 3);  // a blob without its size value
  EXPECT_EQ(t.s().CreateReference(t.Mark(a), 7, kTidData), ErrDataSize);
  EXPECT_EQ(t.s().GotoReference(7), ErrRefNotFound);
  EXPECT_EQ(t.at(), referrer);
  EXPECT_EQ(refs->blocks.size(), 2u);

  // A deleted target: its bookmark is gone (13) and following reports 10.
  const uint32_t markB = t.Mark(b);
  t.Go(b);
  ASSERT_EQ(t.s().DeleteCurrentItem(), ErrNone);
  t.Go(referrer);
  EXPECT_EQ(t.s().CreateReference(markB, 8, kName), ErrNoBookmark);
  EXPECT_EQ(t.s().GotoReference(5), ErrBlockRefNotFound);
  EXPECT_EQ(t.at(), referrer);
  t.Go(t.root());
  EXPECT_EQ(t.s().GotoReference(5), ErrRefNotFound);  // no references here
}

TEST(References, MalformedEntriesAndTheOutwardSearch) {
  TestTree t;
  ItemBlock* far = t.Add(t.root(), kSheets);
  ItemBlock* farRow = t.Add(far, kRows, "X");
  ItemBlock* near = t.Add(t.root(), kSheets);
  ItemBlock* nearRow = t.Add(near, kRows, "X");
  ItemBlock* referrer = t.Add(near, 500);
  t.Entry(referrer, 1, kRows, "X");
  t.Entry(referrer, 2, kRows, nullptr);  // no key
  t.Entry(referrer, 3, 0, "X");          // no target TID
  t.Go(referrer);
  // The search widens from the referrer: the row next to it wins.
  ASSERT_EQ(t.s().GotoReference(1), ErrNone);
  EXPECT_EQ(t.at(), nearRow);
  t.Go(referrer);
  EXPECT_EQ(t.s().GotoReference(2), ErrRefNotFound);
  EXPECT_EQ(t.s().GotoReference(3), ErrBlockRefNotFound);
  EXPECT_EQ(t.at(), referrer);
  // From the root the whole session is searched in order.
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
  t.Nest(t.Entry(referrer, 1, kChannels, "S"), kRows, "r1");
  t.Nest(t.Entry(referrer, 2, kChannels, "S"), kRows, "r9");
  t.PutU16(t.Add(t.Entry(referrer, 3, kChannels, "S"), 113), 8001, kRows);  // no inner key
  t.Go(referrer);
  ASSERT_EQ(t.s().GotoReference(1), ErrNone);
  EXPECT_EQ(t.at(), row);
  // Only the inner block is missing: 10, on the outer target.
  t.Go(referrer);
  EXPECT_EQ(t.s().GotoReference(2), ErrBlockRefNotFound);
  EXPECT_EQ(t.at(), sheet);
  t.Go(referrer);
  EXPECT_EQ(t.s().GotoReference(3), ErrRefNotFound);
  EXPECT_EQ(t.at(), referrer);
}

TEST(References, ListingCountsPastCapacityAndMatchesAcrossEncodings) {
  TestTree t;
  ItemBlock* target = t.Add(t.root(), kChannels);
  t.PutUtf8(target, kName,
            "Gr\xC3\xBC\xC3\x9F"
            "e");
  std::vector<ItemBlock*> referrers;
  for (int i = 0; i < 4; ++i) {
    referrers.push_back(t.Add(t.root(), kSheets));
    t.Go(referrers.back());
    ASSERT_EQ(t.s().CreateReference(t.Mark(target), 1, kName), ErrNone);
  }
  t.Entry(referrers[3], 2, kChannels,
          "Gr\xFC\xDF"
          "e");  // 8-bit: equal
  t.Entry(referrers[3], 3, kChannels,
          "Gr\xC3\xBC\xC3\x9F"
          "e");  // UTF-8 bytes unmarked
  t.Entry(referrers[3], 4, kChannels, "Grusse");

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
  t.Go(target);
  EXPECT_EQ(t.s().GetRefdValue(kName, nullptr, 9, nullptr), ErrNone);
  EXPECT_EQ(t.s().GetRefdValue(kNumber, nullptr, 0, &count), ErrValueNotFound);
  EXPECT_EQ(count, 0u);

  // An 8-bit block key against a marked entry.
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
  std::vector<uint32_t> referrers;
  for (int i = 0; i < 3; ++i) {
    ItemBlock* referrer = t.Add(t.Add(t.root(), kSheets), kRows);
    referrers.push_back(t.Mark(referrer));
    t.Go(referrer);
    ASSERT_EQ(t.s().CreateReference(t.Mark(target), 1, kName), ErrNone);
    ASSERT_EQ(t.s().CreateReference(t.Mark(other), 2, kName), ErrNone);
  }
  auto expectAllFollow = [&] {
    for (uint32_t mark : referrers) {
      ASSERT_TRUE(t.s().GotoBookMark(mark));
      ASSERT_EQ(t.s().GotoReference(1), ErrNone);
      EXPECT_EQ(t.at(), target);
      ASSERT_TRUE(t.s().GotoBookMark(mark));
      ASSERT_EQ(t.s().GotoReference(2), ErrNone);
      EXPECT_EQ(t.at(), other);
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
  ASSERT_TRUE(t.s().GotoBookMark(referrers[0]));
  ASSERT_EQ(t.s().CreateReference(t.Mark(target), 3, kNumber), ErrNone);
  t.Go(target);
  ASSERT_EQ(t.s().CheckRefdValue(kNumber, &count, renamed), ErrNone);
  EXPECT_EQ(count, 1);
  t.Put(t.root(), kNumber, renamed);
  t.Go(t.root());
  ASSERT_EQ(t.s().CheckRefdValue(kNumber, &count, id), ErrNone);
  EXPECT_EQ(count, 0);
  ASSERT_TRUE(t.s().GotoBookMark(referrers[0]));
  ASSERT_EQ(t.s().GotoReference(3), ErrNone);
  EXPECT_EQ(t.at(), target);
}

TEST(References, DataKeysCompareByContentAndUnreadableFilesNever) {
  TestTree t;
  const uint32_t four = 4;
  ItemBlock* blobs[2] = {t.Add(t.root(), kSheets), t.Add(t.root(), kSheets)};
  ItemBlock* referrer = t.Add(t.root(), 500);
  for (int i = 0; i < 2; ++i) {
    t.Put(blobs[i], kTidDataSize, &four);
    t.Put(blobs[i], kTidData, i == 0 ? "abcd" : "abce", 4);
    t.Go(referrer);
    ASSERT_EQ(t.s().CreateReference(t.Mark(blobs[i]), static_cast<uint16_t>(i), kTidData), ErrNone);
  }
  // A key in an outside file that cannot be read: refused when it is the
  // block's own key, never equal when it is an entry's.
  ItemBlock* entry = t.Entry(referrer, 2, kSheets, nullptr);
  ItemBlock* missing = t.Add(t.root(), kSheets);
  for (ItemBlock* block : {entry, missing}) {
    t.Go(block);
    ASSERT_TRUE(t.s().InsertDataFile("/nonexistent/kestron4-refs.bin", 0, 4));
  }
  for (ItemBlock* block : blobs) {
    t.Go(block);
    uint32_t count = 0;
    ASSERT_EQ(t.s().GetRefdValue(kTidData, nullptr, 0, &count), ErrNone);
    EXPECT_EQ(count, 1u);
  }
  // A readable file takes part like bytes in memory.
  const std::string path = ::testing::TempDir() + "kestron4-refs-key.bin";
  std::ofstream(path, std::ios::binary) << "abcd";
  ItemBlock* onDisk = t.Add(t.root(), kSheets);
  t.Go(onDisk);
  ASSERT_TRUE(t.s().InsertDataFile(path.c_str(), 0, 4));
  uint32_t found = 0;
  ASSERT_EQ(t.s().GetRefdValue(kTidData, nullptr, 0, &found), ErrNone);
  EXPECT_EQ(found, 1u);
  t.Go(referrer);
  EXPECT_EQ(t.s().CreateReference(t.Mark(onDisk), 4, kTidData), ErrNone);
  std::remove(path.c_str());
  EXPECT_EQ(t.s().CreateReference(t.Mark(missing), 3, kTidData), ErrFileAccess);
  t.Go(missing);
  uint32_t count = 7;
  EXPECT_EQ(t.s().GetRefdValue(kTidData, nullptr, 0, &count), ErrFileAccess);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(t.at(), missing);
}

TEST(References, SurviveSaveAndLoad) {
  TestTree t;
  ItemBlock* sheet = t.Add(t.root(), kChannels, "S");
  t.Add(sheet, kRows, "r1");
  ItemBlock* referrer = t.Add(t.Add(t.root(), kSheets), kRows);
  t.Go(referrer);
  ASSERT_EQ(t.s().CreateReference(t.Mark(sheet), 1, kName), ErrNone);
  t.Nest(t.Entry(referrer, 2, kChannels, "S"), kRows, "r1");
  std::string bytes(t.s().SessionSize(), '\0');
  ASSERT_EQ(t.s().SaveBuffer(bytes.data(), static_cast<uint32_t>(bytes.size())), ErrNone);

  TestTree loaded;
  ASSERT_EQ(loaded.s().LoadBuffer(bytes.data(), static_cast<uint32_t>(bytes.size())), ErrNone);
  ASSERT_EQ(loaded.s().AfterOpen(), ErrNone);
  uint32_t count = 0;
  EXPECT_EQ(loaded.s().CheckIntegrity(&count), ErrNone);
  EXPECT_EQ(count, 2u);
  ASSERT_EQ(loaded.s().OpenItem(kSheets, 0), ErrNone);
  ASSERT_EQ(loaded.s().OpenItem(kRows, 0), ErrNone);
  ItemBlock* from = loaded.at();
  ASSERT_EQ(loaded.s().GotoReference(1), ErrNone);
  EXPECT_EQ(loaded.Text(loaded.at()), "S");
  loaded.Go(from);
  ASSERT_EQ(loaded.s().GotoReference(2), ErrNone);
  EXPECT_EQ(loaded.Text(loaded.at()), "r1");
}

}  // namespace
}  // namespace kestron4
