// References through the C interface: entries made by CreateReference or by
// hand, followed, listed, renamed; blocks named by their path from the root.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "api/scoped_session.h"
#include "support/api_tree.h"
#include "support/caller_file.h"

namespace kestron4 {
namespace {

using namespace kestron4::testing;
using H = KSTRN_SessionHandle;
constexpr uint16_t kName = 2001, kNumber = 10005, kChannels = 105, kSheets = 300, kRows = 400;

void PutU16(H s, uint16_t tid, uint16_t value) { KSTRN_InsertValue(tid, &value, s); }

uint32_t Mark(H s, const std::string& path) {
  uint32_t mark = 0;
  Go(s, path);
  KSTRN_AddBookMark(&mark, s);
  return mark;
}

// CreateReference from `from` to the block at `target`, keyed by keyTid.
uint32_t Refer(H s, const std::string& from, uint16_t number, const std::string& target,
               uint16_t keyTid) {
  const uint32_t mark = Mark(s, target);
  Go(s, from);
  return KSTRN_CreateReference(mark, number, keyTid, s) ? 0 : KSTRN_GetLastEE();
}

// A reference entry written by hand: number, target item TID, text key.
std::string Entry(H s, const std::string& holder, uint16_t number, uint16_t target,
                  const char* key) {
  const std::string entry = Add(s, holder, 112);
  PutU16(s, 1052, number);
  PutU16(s, 1024, target);
  if (key != nullptr) KSTRN_InsertValue(kName, key, s);
  return entry;
}

// Makes an entry nested: its inner part names a block of innerTid by text.
void Nest(H s, const std::string& entry, uint16_t innerTid, const char* innerKey) {
  Add(s, entry, 113);
  PutU16(s, 8001, innerTid);
  KSTRN_InsertValue(kName, innerKey, s);
}

std::string Text(H s, const std::string& path) {
  char text[64] = {};
  Go(s, path);
  KSTRN_GetValue(kName, text, s);
  return text;
}

// GotoReference(number) from `from`: "<code> <where the cursor ended>".
std::string Follow(H s, const std::string& from, uint16_t number) {
  Go(s, from);
  KSTRN_GotoReference(number, s);
  const std::string code = std::to_string(KSTRN_GetLastEE());
  return code + " " + Where(s);
}

TEST(References, CreateReplaceFollowAndFailWithoutSideEffects) {
  ScopedSession s;
  const std::string a = Add(s, "", kChannels, "A"), b = Add(s, "", kChannels, "B");
  const std::string referrer = Add(s, "", kSheets);
  EXPECT_EQ(Refer(s, referrer, 5, a, kName), 0u);
  EXPECT_EQ(Refer(s, referrer, 6, b, kName), 0u);
  EXPECT_EQ(Refer(s, referrer, 5, b, kName), 0u);
  EXPECT_EQ(Where(s), referrer);
  // Number 5 twice: one entry, the newer, as the last block.
  uint16_t entries = 0, number = 0, target = 0;
  KSTRN_GetItemCount(112, &entries, s);
  EXPECT_EQ(entries, 2);
  Go(s, referrer + "/112.1");
  KSTRN_GetValue(1052, &number, s);
  KSTRN_GetValue(1024, &target, s);
  EXPECT_EQ(number, 5);
  EXPECT_EQ(target, kChannels);
  EXPECT_EQ(Text(s, referrer + "/112.1"), "B");
  EXPECT_EQ(Follow(s, referrer, 5), "0 " + b);

  Go(s, referrer);
  EXPECT_FALSE(KSTRN_CreateReference(9999, 7, kName, s));
  EXPECT_EQ(KSTRN_GetLastEE(), 13u);
  EXPECT_EQ(Refer(s, referrer, 7, a, kNumber), 7u);
  Go(s, a);
  KSTRN_InsertValueS(1063, "xyz", 3, s);  // a blob without its size value
  EXPECT_EQ(Refer(s, referrer, 7, a, 1063), 16u);
  EXPECT_EQ(Follow(s, referrer, 7), "11 " + referrer);
  KSTRN_GetItemCount(112, &entries, s);
  EXPECT_EQ(entries, 2);
  // A deleted target: its bookmark is gone and following it fails.
  const uint32_t markB = Mark(s, b);
  EXPECT_TRUE(KSTRN_DeleteCurrentItem(s));
  Go(s, referrer);
  EXPECT_FALSE(KSTRN_CreateReference(markB, 8, kName, s));
  EXPECT_EQ(Follow(s, referrer, 5), "10 " + referrer);
  EXPECT_EQ(Follow(s, "", 5), "11 ");
}

TEST(References, MalformedNestedAndOutwardSearch) {
  ScopedSession s;
  const std::string farRow = Add(s, Add(s, "", kSheets), kRows, "X");
  const std::string near = Add(s, "", kSheets), nearRow = Add(s, near, kRows, "X");
  const std::string referrer = Add(s, near, 500);
  Entry(s, referrer, 1, kRows, "X");
  Entry(s, referrer, 2, kRows, nullptr);  // no key
  Entry(s, referrer, 3, 0, "X");          // no target TID
  const std::string sheet = Add(s, "", kChannels, "S");
  Add(s, sheet, kRows, "r0");
  const std::string row = Add(s, sheet, kRows, "r1");
  Nest(s, Entry(s, referrer, 4, kChannels, "S"), kRows, "r1");
  Nest(s, Entry(s, referrer, 5, kChannels, "S"), kRows, "r9");
  Add(s, Entry(s, referrer, 6, kChannels, "S"), 113);  // no inner key
  PutU16(s, 8001, kRows);
  Entry(s, "", 1, kRows, "X");  // from the root: the whole session in order
  const std::pair<uint16_t, std::string> follows[] = {
      {1, "0 " + nearRow},  // the nearest wins
      {2, "11 " + referrer},
      {3, "10 " + referrer},
      {4, "0 " + row},
      {5, "10 " + sheet},  // stops on the outer
      {6, "11 " + referrer}};
  for (const auto& [number, result] : follows) EXPECT_EQ(Follow(s, referrer, number), result);
  EXPECT_EQ(Follow(s, "", 1), "0 " + farRow);
}

TEST(References, ListingCountsPastCapacityAndMatchesAcrossEncodings) {
  ScopedSession s;
  const std::string target = Add(s, "", kChannels);
  KSTRN_InsertStringUTF8(kName, "Gr\xC3\xBC\xC3\x9F" "e", s);
  std::vector<std::string> referrers;
  for (int i = 0; i < 4; ++i) {
    referrers.push_back(Add(s, "", kSheets));
    ASSERT_EQ(Refer(s, referrers.back(), 1, target, kName), 0u);
  }
  Entry(s, referrers[3], 2, kChannels, "Gr\xFC\xDF" "e");            // 8-bit: equal
  Entry(s, referrers[3], 3, kChannels, "Gr\xC3\xBC\xC3\x9F" "e");  // UTF-8 unmarked: not
  Entry(s, referrers[3], 4, kChannels, "Grusse");
  Go(s, target);
  uint32_t marks[2] = {0, 0}, count = 0;
  ASSERT_TRUE(KSTRN_GetRefdValue(kName, marks, 2, &count, s));
  EXPECT_EQ(count, 5u);
  EXPECT_EQ(Where(s), target);
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(KSTRN_GotoBookMark(marks[i], s));
    EXPECT_EQ(Where(s), referrers[i]);
  }
  Go(s, target);
  EXPECT_TRUE(KSTRN_GetRefdValue(kName, nullptr, 9, nullptr, s));
  EXPECT_FALSE(KSTRN_GetRefdValue(kNumber, nullptr, 0, &count, s));
  EXPECT_EQ(KSTRN_GetLastEE(), 7u);
  EXPECT_EQ(count, 0u);
  // An 8-bit block key against a marked entry; a check without a new key
  // changes nothing.
  const std::string cafe = Add(s, "", kChannels, "Caf\xE9");
  Go(s, Entry(s, referrers[0], 9, kChannels, nullptr));
  KSTRN_InsertStringUTF8(kName, "Caf\xC3\xA9", s);
  Go(s, cafe);
  uint16_t small = 0;
  ASSERT_TRUE(KSTRN_CheckRefdValue(kName, &small, nullptr, s));
  EXPECT_EQ(small, 1);
  EXPECT_EQ(Text(s, cafe), "Caf\xE9");
}

TEST(References, RenameKeepsEveryReferrerPointingAtTheBlock) {
  ScopedSession s;
  const std::string target = Add(s, "", kChannels, "Old"), other = Add(s, "", kChannels, "Other");
  std::vector<std::string> referrers;
  for (int i = 0; i < 3; ++i) {
    referrers.push_back(Add(s, Add(s, "", kSheets), kRows));
    ASSERT_EQ(Refer(s, referrers.back(), 1, target, kName), 0u);
    ASSERT_EQ(Refer(s, referrers.back(), 2, other, kName), 0u);
  }
  auto expectAllFollow = [&] {
    for (const std::string& referrer : referrers) {
      EXPECT_EQ(Follow(s, referrer, 1), "0 " + target);
      EXPECT_EQ(Follow(s, referrer, 2), "0 " + other);
    }
  };
  uint16_t count = 0;
  Go(s, target);
  ASSERT_TRUE(KSTRN_CheckRefdValueUTF8(kName, &count, "New", s));
  EXPECT_EQ(count, 3);
  EXPECT_EQ(Where(s), target);
  EXPECT_EQ(Text(s, target), "New");
  expectAllFollow();
  Go(s, target);
  ASSERT_TRUE(KSTRN_CheckRefdValueUTF16(kName, &count, W(u"N\u00e9u"), s));
  EXPECT_EQ(count, 3);
  EXPECT_EQ(Text(s, target), "N\xC3\xA9u");
  expectAllFollow();
  // A fixed key renamed raw; on the root the value changes, nothing else.
  const uint8_t id[4] = {1, 2, 3, 4}, renamed[4] = {9, 9, 9, 9};
  Go(s, target);
  KSTRN_InsertValue(kNumber, id, s);
  ASSERT_EQ(Refer(s, referrers[0], 3, target, kNumber), 0u);
  Go(s, target);
  ASSERT_TRUE(KSTRN_CheckRefdValue(kNumber, &count, renamed, s));
  EXPECT_EQ(count, 1);
  Go(s, "");
  KSTRN_InsertValue(kNumber, renamed, s);
  ASSERT_TRUE(KSTRN_CheckRefdValue(kNumber, &count, id, s));
  EXPECT_EQ(count, 0);
  EXPECT_EQ(Follow(s, referrers[0], 3), "0 " + target);
}

// Blob keys compare by content, also from a readable outside file; an
// unreadable one is refused as the block's own key and never equal as an
// entry's.
TEST(References, DataKeysCompareByContentAndUnreadableFilesNever) {
  ScopedSession s;
  const uint64_t offset = 0, four = 4;
  const std::string referrer = Add(s, "", 500);
  const std::string blobs[3] = {Add(s, "", kSheets), Add(s, "", kSheets), Add(s, "", kSheets)};
  for (uint16_t i = 0; i < 2; ++i) {
    Go(s, blobs[i]);
    KSTRN_InsertData(4, i == 0 ? "abcd" : "abce", s);
    ASSERT_EQ(Refer(s, referrer, i, blobs[i], 1063), 0u);
  }
  const std::string path = ::testing::TempDir() + "kestron4-refs-key.bin";
  std::ofstream(path, std::ios::binary) << "abcd";
  Go(s, blobs[2]);
  ASSERT_TRUE(KSTRN_InsertDataFile(path.c_str(), &offset, &four, s));
  Go(s, Entry(s, referrer, 2, kSheets, nullptr));
  ASSERT_TRUE(KSTRN_InsertDataFile("/nonexistent/kestron4-refs.bin", &offset, &four, s));
  ASSERT_EQ(Refer(s, referrer, 5, blobs[0], 1063), 0u);  // "abcd" twice, "abce" once
  uint32_t count = 0;
  for (const auto& [block, expected] : {std::pair{blobs[0], 2u}, {blobs[1], 1u}, {blobs[2], 2u}}) {
    Go(s, block);
    ASSERT_TRUE(KSTRN_GetRefdValue(1063, nullptr, 0, &count, s));
    EXPECT_EQ(count, expected) << block;
  }
  EXPECT_EQ(Refer(s, referrer, 4, blobs[2], 1063), 0u);
  std::remove(path.c_str());
  EXPECT_EQ(Refer(s, referrer, 3, blobs[2], 1063), 1u);
  Go(s, blobs[2]);
  count = 7;
  EXPECT_FALSE(KSTRN_GetRefdValue(1063, nullptr, 0, &count, s));
  EXPECT_EQ(KSTRN_GetLastEE(), 1u);
  EXPECT_EQ(count, 0u);
  EXPECT_EQ(Where(s), blobs[2]);
}

}  // namespace
}  // namespace kestron4
