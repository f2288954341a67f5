// What only the memory-mapped policy does: it never writes its file, saves
// over it safely, and survives the file shrinking under it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "session/session_core.h"
#include "storage/policy_test_util.h"
#include "support/faulty_platform.h"

namespace kestron4 {
namespace {

using namespace kestron4::testing;

class MappedSession : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("sample.kst");
    bytes_ = WriteSampleContainer(path_);
    ScopedOpen reference(PolicyKind::kMemory, path_);
    expected_ = Dump(reference);
  }

  ScratchDir dir_;
  std::string path_;
  std::string bytes_;
  std::string expected_;
};

TEST_F(MappedSession, OpensOnlyFilesItCanMap) {
  auto session = MakeSession(PolicyKind::kMapped);
  EXPECT_EQ(session->LoadBuffer(bytes_.data(), static_cast<uint32_t>(bytes_.size())),
            ErrInvalidSession);
  EXPECT_EQ(session->LoadPath(dir_.File("missing").c_str()), ErrFileAccess);
  // By path it maps too, and lets go of the path's descriptor.
  const int descriptors = OpenDescriptorCount();
  ASSERT_EQ(session->LoadPath(path_.c_str()), ErrNone);
  EXPECT_EQ(OpenDescriptorCount(), descriptors + 1);
  ASSERT_EQ(session->LoadPathW(Utf8ToUtf16(path_).c_str()), ErrNone);
  EXPECT_EQ(OpenDescriptorCount(), descriptors + 1);

  // A container followed by zeros up to 4 GiB: one byte less maps, 4 GiB
  // is refused mapped and opens streamed. Sparse, so it takes no space.
  const std::string huge = dir_.File("huge.kst");
  WriteWholeFile(huge, bytes_);
  ASSERT_EQ(truncate(huge.c_str(), static_cast<off_t>((uint64_t{1} << 32) - 1)), 0);
  const int fd = open(huge.c_str(), O_RDONLY | O_CLOEXEC);
  KSTRN_SessionHandle s = nullptr;
  EXPECT_TRUE(KSTRN_OpenMemMappedSessionH(fd, &s));
  KSTRN_CloseSession(s);
  ASSERT_EQ(truncate(huge.c_str(), static_cast<off_t>(uint64_t{1} << 32)), 0);
  EXPECT_FALSE(KSTRN_OpenMemMappedSessionH(fd, &s));
  EXPECT_EQ(KSTRN_GetLastEE(), KSTRN_ErrFileAccess);
  KSTRN_CloseSession(s);
  EXPECT_TRUE(KSTRN_OpenStreamedSessionH(fd, &s));
  KSTRN_CloseSession(s);
  close(fd);
}

TEST_F(MappedSession, FailedMappingIsAnAccessErrorAndLeaksNothing) {
  for (const FaultOp op : {FaultOp::kOpen, FaultOp::kDup, FaultOp::kFstat, FaultOp::kMmap}) {
    const int descriptors = OpenDescriptorCount();
    auto session = MakeSession(PolicyKind::kMapped);
    FaultyPlatform faulty;
    faulty.FailNth(op, 1);
    {
      ScopedPlatform use(faulty);
      EXPECT_EQ(session->LoadPath(path_.c_str()), ErrFileAccess) << static_cast<int>(op);
    }
    session.reset();
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
  }
}

TEST_F(MappedSession, EditingNeverTouchesTheFile) {
  ScopedOpen s(PolicyKind::kMapped, path_);
  ASSERT_NE(s.get(), nullptr);
  const std::vector<uint8_t> patch = Pattern(600, 77);
  ASSERT_TRUE(KSTRN_WriteData(static_cast<uint32_t>(patch.size()), patch.data(), 9000, s));
  KSTRN_InsertValue(kTitle, "another title, also long", s);
  ASSERT_TRUE(KSTRN_OpenItem(kRecord, 1, s));
  ASSERT_TRUE(KSTRN_AllocData(20000, s));
  ASSERT_TRUE(KSTRN_DeleteValue(kNote, s));
  KSTRN_CloseItem(s);
  KSTRN_Unmap(s);
  KSTRN_Remap(s);
  KSTRN_MoveToRAM(s);
  EXPECT_TRUE(ReadWholeFile(path_) == bytes_);
  std::vector<uint8_t> blob(10000);
  ASSERT_TRUE(KSTRN_GetValue(kData, blob.data(), s));
  std::vector<uint8_t> want = Pattern(10000, 1);
  std::copy(patch.begin(), patch.end(), want.begin() + 9000);
  EXPECT_EQ(blob, want);
}

// Saving onto the mapped file replaces it with a new one; the session goes
// on reading the old bytes through its mapping of the old file.
TEST_F(MappedSession, SavesOntoItsOwnFile) {
  ScopedOpen s(PolicyKind::kMapped, path_);
  ASSERT_NE(s.get(), nullptr);
  const uint8_t patch[3] = {1, 2, 3};
  ASSERT_TRUE(KSTRN_OpenItem(kRecord, 2, s));
  ASSERT_TRUE(KSTRN_WriteData(3, patch, 0, s));
  KSTRN_CloseItem(s);
  const std::string before = Dump(s);
  ASSERT_TRUE(KSTRN_SaveSession(path_.c_str(), s));
  const std::string saved = ReadWholeFile(path_);
  EXPECT_TRUE(saved == SavedBuffer(s));
  EXPECT_FALSE(saved == bytes_);
  EXPECT_EQ(dir_.List(), std::vector<std::string>{"sample.kst"});
  // The new file goes away; the session does not notice.
  ASSERT_EQ(truncate(path_.c_str(), 0), 0);
  EXPECT_TRUE(Dump(s) == before);
}

// Written in place through a descriptor of the mapped file itself, the new
// layout overwrites bytes the session still reads from the view; the
// session must take copies first, and the file must come out right.
TEST_F(MappedSession, SavesInPlaceOverItsOwnFile) {
  const int fd = open(path_.c_str(), O_RDWR | O_CLOEXEC);
  KSTRN_SessionHandle s = nullptr;
  ASSERT_TRUE(KSTRN_OpenMemMappedSessionH(fd, &s));
  std::string expected;
  {
    ScopedOpen reference(PolicyKind::kMemory, path_);
    for (KSTRN_SessionHandle t : {s, reference.get()}) {
      // Growing the first value moves every later byte further back.
      KSTRN_InsertValue(kTitle, std::string(200, 't').c_str(), t);
    }
    expected = SavedBuffer(reference);
  }
  ASSERT_EQ(lseek(fd, 0, SEEK_SET), 0);
  ASSERT_TRUE(KSTRN_SaveSessionH(fd, s));
  close(fd);
  EXPECT_TRUE(ReadWholeFile(path_).substr(0, expected.size()) == expected);
  EXPECT_TRUE(SavedBuffer(s) == expected);
  KSTRN_CloseSession(s);
}

TEST_F(MappedSession, ShrunkFileGivesAccessErrorsNotACrash) {
  ScopedOpen s(PolicyKind::kMapped, path_);
  ASSERT_NE(s.get(), nullptr);
  ASSERT_EQ(truncate(path_.c_str(), 100), 0);
  std::vector<uint8_t> blob(10000);
  EXPECT_FALSE(KSTRN_GetValue(kData, blob.data(), s));
  EXPECT_EQ(KSTRN_GetLastEE(), KSTRN_ErrFileAccess);
  // Pages past the new end fail; the system zero-fills the rest of the last
  // page without telling anyone, so the bytes there read as zeros.
  EXPECT_FALSE(KSTRN_ReadValue(KSTRN_GetValueHandle(kData, s), 5000, blob.data(), 10, s));
  EXPECT_TRUE(SavedBuffer(s).empty());
  EXPECT_EQ(KSTRN_GetLastEE(), KSTRN_ErrFileAccess);
  const std::string copy = dir_.File("copy.kst");
  EXPECT_FALSE(KSTRN_SaveSession(copy.c_str(), s));
  EXPECT_EQ(dir_.List(), std::vector<std::string>{"sample.kst"});
  // Moving to memory cannot finish, so the session keeps its file ...
  KSTRN_MoveToRAM(s);
  uint32_t number = 0;
  EXPECT_TRUE(KSTRN_GetValue(kNumber, &number, s));  // copied at load
  // ... and reads again once the file holds its bytes again.
  const int fd = open(path_.c_str(), O_WRONLY | O_CLOEXEC);
  ASSERT_EQ(pwrite(fd, bytes_.data(), bytes_.size(), 0), static_cast<ssize_t>(bytes_.size()));
  close(fd);
  EXPECT_TRUE(Dump(s) == expected_);
}

}  // namespace
}  // namespace kestron4
