// The same reading, editing and saving under every storage policy: whatever
// the policy, a session reads, changes and saves the same bytes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "storage/policy_test_util.h"

namespace kestron4 {
namespace {

using namespace kestron4::testing;

class PolicySuite : public SampleFileTest, public ::testing::TestWithParam<PolicyKind> {};

TEST_P(PolicySuite, ReadsFindsAndSavesWhatTheFileHolds) {
  ScopedOpen s(GetParam(), path_);
  ASSERT_NE(s.get(), nullptr);
  EXPECT_EQ(expected_.find('!'), std::string::npos) << expected_.substr(0, 400);
  EXPECT_TRUE(Dump(s) == expected_);
  EXPECT_TRUE(Dump(s) == expected_);  // nothing was used up or moved
  EXPECT_TRUE(SavedBuffer(s) == bytes_);
  const std::string copy = dir_.File("copy.kst");
  ASSERT_TRUE(KSTRN_SaveSession(copy.c_str(), s));
  EXPECT_TRUE(ReadWholeFile(copy) == bytes_);
  EXPECT_TRUE(Dump(s) == expected_);  // still reads its own file

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
    ScopedOpen s(kinds[round], path_);
    ASSERT_NE(s.get(), nullptr);
    ASSERT_TRUE(KSTRN_OpenItem(kRecord, 2, s));
    const uint8_t patch[4] = {0xAA, 0xBB, 0xCC, 0xDD};
    ASSERT_TRUE(KSTRN_WriteData(sizeof patch, patch, 1000, s));
    KSTRN_InsertValue(kNote, "short now", s);  // a whole replacement
    KSTRN_GotoRoot(s);
    ASSERT_TRUE(KSTRN_OpenItem(kRecord, 0, s));
    ASSERT_TRUE(KSTRN_DeleteValue(kData, s));
    KSTRN_GotoRoot(s);
    ASSERT_TRUE(KSTRN_OpenItem(kRecord, 2, s));
    std::vector<uint8_t> blob(6500), want = RecordBlob(2);
    ASSERT_TRUE(KSTRN_GetValue(kData, blob.data(), s));
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
  std::filesystem::resize_file(path_, 0);
  ASSERT_TRUE(std::filesystem::remove(path_));
  EXPECT_TRUE(Dump(s) == expected_);
  EXPECT_TRUE(SavedBuffer(s) == bytes_);
  EXPECT_EQ(KSTRN_CreateStream(s), nullptr);
  EXPECT_TRUE(KSTRN_MoveToRAM(s));
  EXPECT_TRUE(KSTRN_Unmap(s));
  EXPECT_TRUE(KSTRN_Remap(s));
  EXPECT_TRUE(Dump(s) == expected_);
}

TEST_P(PolicySuite, UnmapRemapAndValuePointers) {
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
  EXPECT_TRUE(KSTRN_Unmap(s));
  if (GetParam() == PolicyKind::kMapped) {
    // In between, values in the view read as failures, never as garbage.
    uint8_t byte = 0;
    EXPECT_FALSE(KSTRN_ReadValue(KSTRN_GetValueHandle(kData, s), 0, &byte, 1, s));
    pointer = &byte;
    EXPECT_TRUE(KSTRN_GetValuePtr(kData, &pointer, s));
    EXPECT_EQ(pointer, nullptr);
  } else {
    EXPECT_TRUE(Dump(s) == expected_);
  }
  EXPECT_TRUE(KSTRN_Remap(s));
  EXPECT_TRUE(KSTRN_Remap(s));
  EXPECT_TRUE(Dump(s) == expected_);
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
  auto* made_up = reinterpret_cast<KSTRN_StreamHandle>(out);
  EXPECT_EQ(KSTRN_ReadValueStream(nullptr, value, 0, out, 1, s), KSTRN_ErrRefNotFound);
  KSTRN_StreamHandle stream = KSTRN_CreateStream(s);
  if (GetParam() != PolicyKind::kStreamed) {
    EXPECT_EQ(stream, nullptr);
    // Any handle at all is refused without being looked at.
    EXPECT_EQ(KSTRN_ReadValueStream(made_up, value, 0, out, 1, s), KSTRN_ErrInvalidSession);
    KSTRN_DestroyStream(made_up, s);
    return;
  }
  ASSERT_NE(stream, nullptr);
  const std::vector<uint8_t> want = Pattern(10000, 1);
  EXPECT_EQ(KSTRN_ReadValueStream(stream, value, 9990, out, 10, s), KSTRN_ErrNone);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 10), std::vector<uint8_t>(want.end() - 10, want.end()));
  const struct { uint64_t at; uint32_t n; uint32_t code; } reads[] = {
      {9990, 11, KSTRN_ErrBadCount}, {10000, 0, KSTRN_ErrNone}, {10001, 0, KSTRN_ErrBadCount},
      {UINT64_MAX, 2, KSTRN_ErrBadCount}};
  for (const auto& r : reads)
    EXPECT_EQ(KSTRN_ReadValueStream(stream, value, r.at, out, r.n, s), r.code) << r.at;
  EXPECT_EQ(KSTRN_ReadValueStream(stream, nullptr, 0, out, 1, s), KSTRN_ErrValueNotFound);
  // A handle this session did not give out is not followed.
  EXPECT_EQ(KSTRN_ReadValueStream(made_up, value, 0, out, 1, s), KSTRN_ErrRefNotFound);
  KSTRN_DestroyStream(made_up, s);
  KSTRN_DestroyStream(nullptr, s);
  EXPECT_TRUE(Dump(s) == expected_);  // the session's own reads are undisturbed
  KSTRN_DestroyStream(stream, s);
}

// Written in place through a descriptor of its own file, the new layout
// overwrites bytes the session has not read yet; it takes them first. A
// file-backed session leaves the caller's file position where it was.
TEST_P(PolicySuite, SavesInPlaceOverItsOwnFile) {
  CallerFile file(path_, kOpenWrite);
  Platform& system = SystemPlatform();
  ASSERT_EQ(system.Seek(file.native(), 7, kFromBegin), 7);
  KSTRN_SessionHandle s = nullptr;
  const PolicyKind kind = GetParam();
  ASSERT_TRUE(kind == PolicyKind::kMemory   ? KSTRN_OpenSessionH(file.get(), &s)
              : kind == PolicyKind::kMapped ? KSTRN_OpenMemMappedSessionH(file.get(), &s)
                                            : KSTRN_OpenStreamedSessionH(file.get(), &s));
  EXPECT_TRUE(Dump(s) == expected_);
  if (kind != PolicyKind::kMemory) {
    EXPECT_EQ(system.Seek(file.native(), 0, kFromCurrent), 7);
  }
  GrowTitle(s);
  KSTRN_Unmap(s);  // the save maps again what it must read first
  ASSERT_EQ(system.Seek(file.native(), 0, kFromBegin), 0);
  ASSERT_TRUE(KSTRN_SaveSessionH(file.get(), s));
  file.Close();
  EXPECT_TRUE(ReadWholeFile(path_).substr(0, grown_.size()) == grown_);
  EXPECT_TRUE(Dump(s) == grownDump_);
  EXPECT_TRUE(SavedBuffer(s) == grown_);
  KSTRN_CloseSession(s);
}

INSTANTIATE_TEST_SUITE_P(AllPolicies, PolicySuite,
                         ::testing::Values(PolicyKind::kMemory, PolicyKind::kMapped,
                                           PolicyKind::kStreamed),
                         [](const auto& param) { return std::string(PolicyName(param.param)); });

}  // namespace
}  // namespace kestron4
