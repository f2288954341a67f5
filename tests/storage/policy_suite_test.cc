// The same reading, editing and saving suite under every storage policy:
// whatever the policy, a session reads, changes and saves the same bytes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "storage/policy_test_util.h"

namespace kestron4 {
namespace {

using namespace kestron4::testing;

class PolicySuite : public ::testing::TestWithParam<PolicyKind> {
 protected:
  void SetUp() override {
    path_ = dir_.File("sample.kst");
    bytes_ = WriteSampleContainer(path_);
    ASSERT_FALSE(bytes_.empty());
    ScopedOpen reference(PolicyKind::kMemory, path_);
    ASSERT_NE(reference.get(), nullptr);
    expected_ = Dump(reference);
  }

  ScratchDir dir_;
  std::string path_;
  std::string bytes_;
  std::string expected_;  // what the in-memory session reads
};

TEST_P(PolicySuite, ReadsAndSavesWhatTheFileHolds) {
  ScopedOpen s(GetParam(), path_);
  ASSERT_NE(s.get(), nullptr);
  EXPECT_TRUE(Dump(s) == expected_);
  EXPECT_EQ(expected_.find('!'), std::string::npos) << expected_.substr(0, 400);
  // Reading twice gives the same: nothing was used up or moved.
  EXPECT_TRUE(Dump(s) == expected_);
  EXPECT_TRUE(SavedBuffer(s) == bytes_);
  const std::string copy = dir_.File("copy.kst");
  ASSERT_TRUE(KSTRN_SaveSession(copy.c_str(), s));
  EXPECT_TRUE(ReadWholeFile(copy) == bytes_);
  // The session still reads its own file after saving elsewhere.
  EXPECT_TRUE(Dump(s) == expected_);
}

TEST_P(PolicySuite, LookupFindsKeysThatStayInTheFile) {
  ScopedOpen s(GetParam(), path_);
  ASSERT_NE(s.get(), nullptr);
  EXPECT_TRUE(KSTRN_FindTypeUTF8(kRecord, kKey, RecordKey(2).c_str(), s));
  uint16_t tid = 0;
  uint32_t index = 99;
  ASSERT_TRUE(KSTRN_GetParentTID(&tid, &index, s));
  EXPECT_EQ(tid, kRecord);
  EXPECT_EQ(index, 2u);
  EXPECT_FALSE(KSTRN_FindTypeUTF8(kRecord, kKey, "record-key-7-of-many", s));
}

// The same edits under every policy give the same saved bytes, the edited
// values keep their untouched bytes, and the file itself never changes.
TEST_P(PolicySuite, EditsCopyOutOfTheFileFirst) {
  std::string saved[2];
  const PolicyKind kinds[2] = {PolicyKind::kMemory, GetParam()};
  for (int round = 0; round < 2; ++round) {
    const PolicyKind kind = kinds[round];
    ScopedOpen s(kind, path_);
    ASSERT_NE(s.get(), nullptr);
    ASSERT_TRUE(KSTRN_OpenItem(kRecord, 2, s));
    const uint8_t patch[4] = {0xAA, 0xBB, 0xCC, 0xDD};
    ASSERT_TRUE(KSTRN_WriteData(sizeof patch, patch, 1000, s));
    KSTRN_InsertValue(kNote, "short now", s);  // a whole replacement
    KSTRN_CloseItem(s);
    ASSERT_TRUE(KSTRN_OpenItem(kRecord, 0, s));
    ASSERT_TRUE(KSTRN_DeleteValue(kData, s));
    KSTRN_CloseItem(s);
    ASSERT_TRUE(KSTRN_OpenItem(kRecord, 2, s));
    std::vector<uint8_t> blob(6500);
    ASSERT_TRUE(KSTRN_GetValue(kData, blob.data(), s));
    std::vector<uint8_t> want = Pattern(6500, 20);
    std::copy(patch, patch + 4, want.begin() + 1000);
    EXPECT_EQ(blob, want);
    saved[round] = SavedBuffer(s);
    EXPECT_TRUE(ReadWholeFile(path_) == bytes_);
  }
  EXPECT_FALSE(saved[0].empty());
  EXPECT_TRUE(saved[1] == saved[0]);
}

TEST_P(PolicySuite, AfterMoveToRamTheFileMayGo) {
  ScopedOpen s(GetParam(), path_);
  ASSERT_NE(s.get(), nullptr);
  EXPECT_TRUE(KSTRN_MoveToRAM(s));
  // Emptied first: a session that still read the file would notice, even
  // through a descriptor that keeps a deleted file alive.
  ASSERT_EQ(truncate(path_.c_str(), 0), 0);
  ASSERT_EQ(unlink(path_.c_str()), 0);
  EXPECT_TRUE(Dump(s) == expected_);
  EXPECT_TRUE(SavedBuffer(s) == bytes_);
  EXPECT_EQ(KSTRN_CreateStream(s), nullptr);
  // Moving again, and unmapping or remapping now, change nothing.
  EXPECT_TRUE(KSTRN_MoveToRAM(s));
  EXPECT_TRUE(KSTRN_Unmap(s));
  EXPECT_TRUE(KSTRN_Remap(s));
  EXPECT_TRUE(Dump(s) == expected_);
}

TEST_P(PolicySuite, UnmapAndRemapGiveTheSameBytes) {
  ScopedOpen s(GetParam(), path_);
  ASSERT_NE(s.get(), nullptr);
  EXPECT_TRUE(KSTRN_Unmap(s));
  if (GetParam() == PolicyKind::kMapped) {
    // In between, values in the view read as failures, never as garbage.
    ASSERT_TRUE(KSTRN_OpenItem(kRecord, 1, s));
    uint8_t byte = 0;
    EXPECT_FALSE(KSTRN_ReadValue(KSTRN_GetValueHandle(kData, s), 0, &byte, 1, s));
    const void* pointer = &byte;
    EXPECT_TRUE(KSTRN_GetValuePtr(kData, &pointer, s));
    EXPECT_EQ(pointer, nullptr);
    KSTRN_CloseItem(s);
  } else {
    EXPECT_TRUE(Dump(s) == expected_);
  }
  EXPECT_TRUE(KSTRN_Remap(s));
  EXPECT_TRUE(KSTRN_Remap(s));
  EXPECT_TRUE(Dump(s) == expected_);
}

TEST_P(PolicySuite, ValuePointersFollowWhereTheBytesAre) {
  ScopedOpen s(GetParam(), path_);
  ASSERT_NE(s.get(), nullptr);
  const void* pointer = nullptr;
  ASSERT_TRUE(KSTRN_GetValuePtr(kNumber, &pointer, s));  // small: always in memory
  ASSERT_NE(pointer, nullptr);
  ASSERT_TRUE(KSTRN_GetValuePtr(kData, &pointer, s));
  if (GetParam() == PolicyKind::kStreamed) {
    EXPECT_EQ(pointer, nullptr);  // still in the file
  } else {
    ASSERT_NE(pointer, nullptr);
    EXPECT_EQ(std::memcmp(pointer, Pattern(10000, 1).data(), 10000), 0);
  }
  // A changed value is in memory under every policy.
  const uint8_t one = 1;
  ASSERT_TRUE(KSTRN_WriteData(1, &one, 0, s));
  ASSERT_TRUE(KSTRN_GetValuePtr(kData, &pointer, s));
  ASSERT_NE(pointer, nullptr);
  EXPECT_EQ(static_cast<const uint8_t*>(pointer)[0], 1);
}

TEST_P(PolicySuite, ValueStreamsExistOnlyWhenStreamed) {
  ScopedOpen s(GetParam(), path_);
  ASSERT_NE(s.get(), nullptr);
  KSTRN_ValueHandle value = KSTRN_GetValueHandle(kData, s);
  ASSERT_NE(value, nullptr);
  uint8_t out[16];
  EXPECT_EQ(KSTRN_ReadValueStream(nullptr, value, 0, out, 1, s), KSTRN_ErrRefNotFound);
  KSTRN_StreamHandle stream = KSTRN_CreateStream(s);
  if (GetParam() != PolicyKind::kStreamed) {
    EXPECT_EQ(stream, nullptr);
    // Any handle at all is refused without being looked at.
    auto* made_up = reinterpret_cast<KSTRN_StreamHandle>(out);
    EXPECT_EQ(KSTRN_ReadValueStream(made_up, value, 0, out, 1, s), KSTRN_ErrInvalidSession);
    KSTRN_DestroyStream(made_up, s);
    return;
  }
  ASSERT_NE(stream, nullptr);
  const std::vector<uint8_t> want = Pattern(10000, 1);
  EXPECT_EQ(KSTRN_ReadValueStream(stream, value, 9990, out, 10, s), KSTRN_ErrNone);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 10), std::vector<uint8_t>(want.end() - 10, want.end()));
  EXPECT_EQ(KSTRN_ReadValueStream(stream, value, 9990, out, 11, s), KSTRN_ErrBadCount);
  EXPECT_EQ(KSTRN_ReadValueStream(stream, value, 10000, out, 0, s), KSTRN_ErrNone);
  EXPECT_EQ(KSTRN_ReadValueStream(stream, value, 10001, out, 0, s), KSTRN_ErrBadCount);
  EXPECT_EQ(KSTRN_ReadValueStream(stream, value, UINT64_MAX, out, 2, s), KSTRN_ErrBadCount);
  EXPECT_EQ(KSTRN_ReadValueStream(stream, nullptr, 0, out, 1, s), KSTRN_ErrValueNotFound);
  // A handle this session did not give out is not followed.
  auto* made_up = reinterpret_cast<KSTRN_StreamHandle>(out);
  EXPECT_EQ(KSTRN_ReadValueStream(made_up, value, 0, out, 1, s), KSTRN_ErrRefNotFound);
  KSTRN_DestroyStream(made_up, s);
  KSTRN_DestroyStream(nullptr, s);
  // Reading through the handle leaves the session's own reads alone.
  EXPECT_TRUE(Dump(s) == expected_);
  KSTRN_DestroyStream(stream, s);
}

INSTANTIATE_TEST_SUITE_P(AllPolicies, PolicySuite,
                         ::testing::Values(PolicyKind::kMemory, PolicyKind::kMapped,
                                           PolicyKind::kStreamed),
                         [](const auto& param) { return std::string(PolicyName(param.param)); });

}  // namespace
}  // namespace kestron4
