// A block's value and item lists are counted in 16 bits (GetValueCount,
// GetTypeCount) and listed whole into a caller's buffer of that size. Every
// way of loading refuses a block that holds a TID twice (which is also the
// only way to more than 65,535 entries) with code 1, and the lists never
// write more entries than the counts report.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "fuzz_checks.h"
#include "kestron4/kestron4.h"
#include "large_block.h"
#include "session/session_core.h"
#include "support/caller_file.h"
#include "support/scratch_dir.h"

namespace kestron4 {
namespace {

using fuzz::LargeBlock;
using fuzz::LargeBlockContainer;
using Bytes = std::vector<uint8_t>;

constexpr uint16_t kGuard = 0xBEEF;
constexpr std::size_t kGuardEntries = 8;

// Opens bytes under one storage policy; the session, or null after a failed
// open (the failed session is checked for consistency and closed first).
using Opener = std::function<KSTRN_SessionHandle(const Bytes&, uint32_t* code)>;

struct Policy {
  const char* name;
  Opener open;
};

KSTRN_SessionHandle Finish(bool opened, KSTRN_SessionHandle s, uint32_t* code) {
  *code = KSTRN_GetLastEE();
  if (s != nullptr) fuzz::CheckTree(fuzz::Core(s), fuzz::TreeRules{});
  if (opened) return s;
  KSTRN_CloseSession(s);
  return nullptr;
}

KSTRN_SessionHandle OpenFile(const Bytes& bytes, uint32_t* code,
                             bool (*open)(KSTRN_FileHandle, KSTRN_SessionHandle*)) {
  ScratchDir dir;
  const std::string path = dir.File("block.kst");
  WriteWholeFile(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  KSTRN_SessionHandle s = nullptr;
  bool opened = false;
  {
    const CallerFile file(path);
    EXPECT_TRUE(file.ok());
    opened = open(file.get(), &s);
  }  // file-backed sessions keep a handle of their own
  return Finish(opened, s, code);
}

std::vector<Policy> Policies() {
  return {
      {"buffer",
       [](const Bytes& b, uint32_t* code) {
         KSTRN_SessionHandle s = nullptr;
         const bool opened =
             KSTRN_OpenSessionBuffer(b.data(), static_cast<uint32_t>(b.size()), &s);
         return Finish(opened, s, code);
       }},
      {"descriptor",
       [](const Bytes& b, uint32_t* code) { return OpenFile(b, code, KSTRN_OpenSessionH); }},
      {"mapped",
       [](const Bytes& b, uint32_t* code) {
         return OpenFile(b, code, KSTRN_OpenMemMappedSessionH);
       }},
      {"streamed",
       [](const Bytes& b, uint32_t* code) {
         return OpenFile(b, code, KSTRN_OpenStreamedSessionH);
       }},
  };
}

// The root's lists read as a caller sized by the counts does, with guard
// entries behind that must stay untouched.
void ExpectListsFitCounts(KSTRN_SessionHandle s, uint16_t values, uint16_t items) {
  uint16_t count = 0;
  ASSERT_TRUE(KSTRN_GetValueCount(&count, s));
  EXPECT_EQ(count, values);
  std::vector<uint16_t> list(count + kGuardEntries, kGuard);
  ASSERT_TRUE(KSTRN_GetValueList(list.data(), s));
  for (std::size_t i = count; i < list.size(); ++i) ASSERT_EQ(list[i], kGuard) << "value list";
  ASSERT_TRUE(KSTRN_GetTypeCount(&count, s));
  EXPECT_EQ(count, items);
  list.assign(count + kGuardEntries, kGuard);
  ASSERT_TRUE(KSTRN_GetTypeList(list.data(), s));
  for (std::size_t i = count; i < list.size(); ++i) ASSERT_EQ(list[i], kGuard) << "type list";
}

Bytes Tail(std::initializer_list<uint16_t> words) {
  Bytes b;
  for (const uint16_t w : words) {
    b.push_back(static_cast<uint8_t>(w));
    b.push_back(static_cast<uint8_t>(w >> 8));
  }
  return b;
}

Bytes Built(const LargeBlock& block, const Bytes& tail = {}) {
  return LargeBlockContainer(block, tail.data(), tail.size());
}

TEST(BlockLimitsTest, EveryPolicyRefusesABlockThatHoldsATidTwice) {
  const struct {
    const char* name;
    Bytes file;
  } hostile[] = {
      // 65,537 copies of one 2-byte value: the count wraps to 1 in 16 bits.
      {"one value 65,537 times", Built({false, 65537, 1169 - 1000, 0})},
      // 65,537 items of TID 1 without blocks.
      {"one item 65,537 times", Built({true, 65537, 0, 0})},
      // Every item TID once, then the first again: 52,536 entries.
      {"every item TID and one more", Built({true, fuzz::kItemTidCount + 1, 0, 1})},
      {"every value TID and one more", Built({false, fuzz::kValueTidCount + 1, 0, 1})},
      // Small ones: a value repeated after an item, an item after values.
      {"value, item, value", Built({false, 1, 18, 0}, Tail({7, 0, 1018, 0, 0, 0}))},
      {"item, value, item", Built({true, 1, 6, 0}, Tail({1018, 0, 0, 7, 0, 0}))},
  };
  for (const Policy& policy : Policies()) {
    for (const auto& file : hostile) {
      SCOPED_TRACE(std::string(policy.name) + ": " + file.name);
      uint32_t code = 0;
      EXPECT_EQ(policy.open(file.file, &code), nullptr);
      EXPECT_EQ(code, KSTRN_ErrFileAccess);
    }
  }
}

TEST(BlockLimitsTest, TheWidestBlocksLoadWithListsThatFitTheirCounts) {
  const struct {
    const char* name;
    Bytes file;
    uint16_t values, items;
  } wide[] = {
      {"every item TID once", Built({true, fuzz::kItemTidCount, 0, 1}), 0,
       static_cast<uint16_t>(fuzz::kItemTidCount)},
      {"every value TID once", Built({false, fuzz::kValueTidCount, 0, 1}),
       static_cast<uint16_t>(fuzz::kValueTidCount), 0},
  };
  for (const Policy& policy : Policies()) {
    for (const auto& file : wide) {
      SCOPED_TRACE(std::string(policy.name) + ": " + file.name);
      uint32_t code = 0;
      const KSTRN_SessionHandle s = policy.open(file.file, &code);
      ASSERT_NE(s, nullptr) << code;
      ExpectListsFitCounts(s, file.values, file.items);
      KSTRN_CloseSession(s);
    }
  }
}

// A failed load leaves a session to close; what it read stays readable and
// within the limits.
TEST(BlockLimitsTest, ThePartOfARefusedBlockThatWasReadIsConsistent) {
  const Bytes file = Built({true, 65537, 0, 0});
  KSTRN_SessionHandle s = nullptr;
  ASSERT_FALSE(KSTRN_OpenSessionBuffer(file.data(), static_cast<uint32_t>(file.size()), &s));
  ASSERT_NE(s, nullptr);
  ExpectListsFitCounts(s, 0, 1);
  KSTRN_CloseSession(s);
}

// Edits cannot make a block hold a TID twice, so neither list can outgrow
// its count: in a block that holds every item TID, inserting any of them
// again adds blocks to its item, not an item.
TEST(BlockLimitsTest, EditsKeepEveryTidOncePerBlock) {
  const Bytes file = Built({true, fuzz::kItemTidCount, 0, 1});
  KSTRN_SessionHandle s = nullptr;
  ASSERT_TRUE(KSTRN_OpenSessionBuffer(file.data(), static_cast<uint32_t>(file.size()), &s));
  for (uint32_t i = 0; i < fuzz::kItemTidCount; i += 97)
    ASSERT_TRUE(KSTRN_InsertItemBlocks(fuzz::ItemTidAt(i), 2, s)) << i;
  uint16_t blocks = 0;
  ASSERT_TRUE(KSTRN_GetItemCount(fuzz::ItemTidAt(97), &blocks, s));
  EXPECT_EQ(blocks, 2);
  for (uint32_t i = 0; i < fuzz::kValueTidCount; i += 1000) {
    const uint8_t zeros[8] = {};
    KSTRN_InsertValueS(fuzz::ValueTidAt(i), zeros, 0, s);
    KSTRN_InsertValueS(fuzz::ValueTidAt(i), zeros, 0, s);
  }
  fuzz::CheckTree(fuzz::Core(s), fuzz::TreeRules{});
  uint16_t values = 0;
  ASSERT_TRUE(KSTRN_GetValueCount(&values, s));
  ExpectListsFitCounts(s, values, static_cast<uint16_t>(fuzz::kItemTidCount));
  KSTRN_CloseSession(s);
}

}  // namespace
}  // namespace kestron4
