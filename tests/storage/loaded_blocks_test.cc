// Blocks read from a file stay packed until edited: reads find each value
// however they are ordered, a block holding a TID twice is refused, handles and value pointers outlive the
// block's first edit, and a block larger than one arena chunk reads back whole.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "format/container_test_util.h"
#include "storage/policy_test_util.h"

namespace kestron4 {
namespace {

using namespace kestron4::testing;

class LoadedBlocks : public ::testing::TestWithParam<PolicyKind> {
 protected:
  ScratchDir dir_;
  std::string Write(const std::string& bytes) {
    const std::string path = dir_.File("f.kst");
    WriteWholeFile(path, bytes);
    return path;
  }
};

// A container whose root size field says what follows it.
std::string Sized(std::string file) {
  const uint32_t size = static_cast<uint32_t>(file.size() - 23);
  for (int i = 0; i < 4; ++i) file[19 + i] = static_cast<char>(size >> (8 * i));
  return file;
}

uint32_t U32Of(uint16_t tid, KSTRN_SessionHandle s) {
  uint32_t v = 0;
  return KSTRN_GetValue(tid, &v, s) ? v : 0xFFFFFFFF;
}

TEST_P(LoadedBlocks, RepeatedTidsAreRefusedAndOthersReadInAnyOrder) {
  // 10000 twice: no reader could tell the copies apart.
  const std::string twice = Write(Sized(Bytes().Header().U32(0).U16(10000).U32(1).U16(10001)
                                            .U32(3).U16(10000).U32(4).U16(0).s));
  EXPECT_EQ(ScopedOpen(GetParam(), twice).get(), nullptr);
  const std::string path = Write(Sized(Bytes().Header().U32(0).U16(10000).U32(1).U16(10002)
                                           .U32(2).U16(10001).U32(3).U16(0).s));
  ScopedOpen s(GetParam(), path);
  ASSERT_NE(s.get(), nullptr);
  EXPECT_EQ(U32Of(10001, s), 3u);
  EXPECT_EQ(U32Of(10000, s), 1u);
  EXPECT_EQ(U32Of(10002, s), 2u);
  EXPECT_EQ(SavedBuffer(s), ReadWholeFile(path));
}

TEST_P(LoadedBlocks, HandlesAndPointersOutliveTheFirstEdit) {
  const std::string path = Write(Sized(Bytes().Header().U32(0).U16(2001).U8(12)
                                           .Raw("twelve bytes").U16(10000).U32(7).U16(12000)
                                           .Fill(8, 'e').U16(0).s));
  ScopedOpen s(GetParam(), path);
  ASSERT_NE(s.get(), nullptr);
  KSTRN_ValueHandle text = KSTRN_GetValueHandle(2001, s);
  const void* number = nullptr;
  ASSERT_TRUE(KSTRN_GetValuePtr(10000, &number, s));
  ASSERT_NE(number, nullptr);
  const uint32_t eight = 8;
  ASSERT_TRUE(KSTRN_DeleteValue(12000, s));
  ASSERT_TRUE(KSTRN_InsertValue(10001, &eight, s));
  ASSERT_TRUE(KSTRN_InsertValue(10000, &eight, s));
  char bytes[13] = {};
  ASSERT_TRUE(KSTRN_ReadValue(text, 0, bytes, 13, s));
  EXPECT_EQ(std::string(bytes + 1, 12), "twelve bytes");
  EXPECT_EQ(std::memcmp(number, "\x07\0\0\0", 4), 0);  // the loaded bytes, unchanged
  EXPECT_EQ(U32Of(10000, s), 8u);
}

TEST_P(LoadedBlocks, ABlockLargerThanAnArenaChunkReadsBackWhole) {
  Bytes file;
  file.Header().U32(0).U16(100).U16(1);  // an item whose block follows the big run
  // 2,000 long strings of 1,200 bytes (TIDs 4000-5999): 2.4 MB in one run.
  for (uint32_t i = 0; i < 2000; ++i)
    file.U16(static_cast<uint16_t>(4000 + i)).U16(1198).Fill(1198, static_cast<char>('a' + i % 26));
  file.U16(0).U32(8).U16(10000).U32(42).U16(0);
  const std::string bytes = Sized(file.s);
  ScopedOpen s(GetParam(), Write(bytes));
  ASSERT_NE(s.get(), nullptr);
  EXPECT_TRUE(SavedBuffer(s) == bytes);
  ASSERT_TRUE(KSTRN_OpenItem(100, 0, s));
  EXPECT_EQ(U32Of(10000, s), 42u);
}

// Sibling blocks of one shape are read by the shape of the one before:
// every value must still be the block's own, and a block of the same size and count but other lengths or TIDs is not
// taken for the shape.
TEST_P(LoadedBlocks, BlocksShapedLikeTheOneBeforeReadTheirOwnValues) {
  struct Block {
    std::string entries;
    std::vector<uint32_t> expected;  // what each entry of the list reads as
  };
  const auto u32 = [](uint16_t tid, uint32_t v) { return Bytes().U16(tid).U32(v).s; };
  const auto text = [](const char* t) {
    return Bytes().U16(2001).U8(static_cast<uint8_t>(std::strlen(t))).Raw(t).s;
  };
  const std::vector<Block> blocks = {
      {u32(10000, 1) + text("ab") + Bytes().U16(8000).U16(7).s, {1, 2, 7}},
      {u32(10000, 2) + text("cd") + Bytes().U16(8000).U16(8).s, {2, 2, 8}},
      {u32(10000, 3) + text("efg") + Bytes().U16(6000).U8(9).s, {3, 3, 9}},  // same size
      {u32(10000, 4) + u32(10001, 5) + Bytes().U16(6000).U8(6).s, {4, 5, 6}},
      {u32(10000, 5) + u32(10001, 6) + Bytes().U16(6000).U8(7).s, {5, 6, 7}},
      {u32(10001, 6) + u32(10000, 7) + Bytes().U16(6000).U8(8).s, {6, 7, 8}},
  };
  Bytes file;
  file.Header().U32(0).U16(101).U16(static_cast<uint16_t>(blocks.size())).U16(0);
  for (const Block& b : blocks)
    file.U32(static_cast<uint32_t>(b.entries.size() + 2)).Raw(b.entries).U16(0);
  const std::string bytes = Sized(file.s);
  ScopedOpen s(GetParam(), Write(bytes));
  ASSERT_NE(s.get(), nullptr);
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    SCOPED_TRACE(i);
    ASSERT_TRUE(KSTRN_OpenItem(101, static_cast<int32_t>(i), s));
    uint16_t tids[3];
    KSTRN_GetValueList(tids, s);
    for (std::size_t v = 0; v < 3; ++v) {
      uint32_t size = 0;
      ASSERT_TRUE(KSTRN_GetValSize(tids[v], &size, s));
      uint32_t value = 0;  // a text reads as its length
      if (tids[v] == 2001) {
        value = size;
      } else {
        ASSERT_TRUE(KSTRN_GetValue(tids[v], &value, s));
      }
      EXPECT_EQ(value, blocks[i].expected[v]) << "value " << v;
    }
    KSTRN_CloseItem(s);
  }
  EXPECT_TRUE(SavedBuffer(s) == bytes);
}

// Listing another block's values takes its shape; a read that goes on in the
// block read before must not go on in that shape.
TEST_P(LoadedBlocks, AReadGoesOnInItsOwnBlockAfterAnotherBlockWasListed) {
  const std::string a = Bytes().U16(10000).U32(1).U16(10001).U32(2).U16(6000).U8(7).s;
  const std::string b = Bytes().U16(2001).U8(5).Raw("abcde").U16(10001).U32(3).U16(8000).U16(9).s;
  const std::string bytes = Sized(Bytes().Header().U32(0).U16(101).U16(2).U16(0)
                                      .U32(static_cast<uint32_t>(a.size() + 2)).Raw(a).U16(0)
                                      .U32(static_cast<uint32_t>(b.size() + 2)).Raw(b).U16(0).s);
  ScopedOpen s(GetParam(), Write(bytes));
  ASSERT_NE(s.get(), nullptr);
  uint16_t tids[3];
  ASSERT_TRUE(KSTRN_OpenItem(101, 0, s));
  KSTRN_GetValueList(tids, s);
  EXPECT_EQ(U32Of(10000, s), 1u);
  KSTRN_CloseItem(s);
  ASSERT_TRUE(KSTRN_OpenItem(101, 1, s));
  KSTRN_GetValueList(tids, s);
  KSTRN_CloseItem(s);
  ASSERT_TRUE(KSTRN_OpenItem(101, 0, s));
  EXPECT_EQ(U32Of(10001, s), 2u);
}

// The loader sizes its chunks by the density of what it has read so far; a
// file whose blocks thin out (thousands of small ones, then one of large
// values) must still read back whole under every policy.
TEST_P(LoadedBlocks, AFileWhoseBlocksThinOutReadsBackWhole) {
  constexpr uint32_t kSmall = 3000;
  Bytes file;
  file.Header().U32(0).U16(101).U16(kSmall).U16(102).U16(1).U16(0);
  for (uint32_t i = 0; i < kSmall; ++i) file.U32(8).U16(10000).U32(i).U16(0);
  file.U32(50 * 60004 + 2);
  for (int v = 0; v < 50; ++v)
    file.U16(static_cast<uint16_t>(4500 + v)).U16(60000).Fill(59999, static_cast<char>('a' + v % 26)).U8(0);
  file.U16(0);
  const std::string bytes = Sized(file.s);
  ScopedOpen s(GetParam(), Write(bytes));
  ASSERT_NE(s.get(), nullptr);
  for (uint32_t i = 0; i < kSmall; ++i) {
    ASSERT_TRUE(KSTRN_OpenItem(101, static_cast<int32_t>(i), s));
    ASSERT_EQ(U32Of(10000, s), i);
    KSTRN_CloseItem(s);
  }
  EXPECT_TRUE(SavedBuffer(s) == bytes);
}

// A null insert leaves an old value's bytes as they are, whether they were
// loaded into the arena, left in the file or put in memory by an edit.
TEST_P(LoadedBlocks, NullInsertsKeepTheBytesOfEveryKind) {
  struct Kind {
    uint16_t tid;
    std::string payload;
  };
  const std::vector<Kind> kinds = {
      {6000, "7"},        {8000, "ab"},  {10001, "abcd"}, {12000, "abcdefgh"},
      {2001, "0"},        {2002, std::string(40, 't') + '\0'},
      {4001, "hello"},    {4500, std::string(300, 'n') + '\0'}};
  KSTRN_SessionHandle built = nullptr;
  ASSERT_TRUE(KSTRN_NewSession(&built));
  for (const Kind& k : kinds) {
    if (KSTRN_IsVariableSize(k.tid) || KSTRN_IsLongVariableSize(k.tid)) {
      KSTRN_InsertValueS(k.tid, k.payload.data(), static_cast<uint32_t>(k.payload.size()), built);
    } else {
      KSTRN_InsertValue(k.tid, k.payload.data(), built);
    }
  }
  const std::string path = dir_.File("null.kst");
  ASSERT_TRUE(KSTRN_SaveSession(path.c_str(), built));
  KSTRN_CloseSession(built);
  const auto payloadOf = [](uint16_t tid, KSTRN_SessionHandle s) {
    uint32_t size = 0;
    std::string bytes;
    if (!KSTRN_GetValSize(tid, &size, s)) return std::string("!size");
    bytes.resize(size);
    return KSTRN_GetValue(tid, bytes.data(), s) ? bytes : std::string("!value");
  };
  ScopedOpen s(GetParam(), path);
  ASSERT_NE(s.get(), nullptr);
  for (const bool edited : {false, true}) {  // bytes as loaded, then in memory
    for (const Kind& k : kinds) {
      SCOPED_TRACE(std::to_string(k.tid) + (edited ? " after an edit" : " as loaded"));
      EXPECT_TRUE(KSTRN_InsertValue(k.tid, nullptr, s));
      EXPECT_EQ(payloadOf(k.tid, s), k.payload);
    }
    std::string again(KSTRN_SaveSessionSize(s), '\0');
    ASSERT_TRUE(KSTRN_SaveSessionBuffer(again.data(), static_cast<uint32_t>(again.size()), s));
    EXPECT_EQ(again, ReadWholeFile(path));
  }
}

INSTANTIATE_TEST_SUITE_P(AllPolicies, LoadedBlocks,
                         ::testing::Values(PolicyKind::kMemory, PolicyKind::kMapped,
                                           PolicyKind::kStreamed),
                         [](const auto& param) { return std::string(PolicyName(param.param)); });

}  // namespace
}  // namespace kestron4
