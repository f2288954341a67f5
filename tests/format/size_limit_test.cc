// Trees at the edge of what the 32-bit size fields describe. The large blobs
// are ranges of a sparse file, or holes of a sparse container, which every
// save and load leaves as holes: no test reads or writes gigabytes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "kestron4/kestron4.h"
#include "storage/policy_test_util.h"
#include "support/scratch_dir.h"

namespace kestron4 {
namespace {

using namespace kestron4::testing;

constexpr uint16_t kBig = 300;  // item whose blocks hold the large blobs
constexpr uint64_t kFieldMax = UINT32_MAX;
constexpr PolicyKind kAllPolicies[] = {PolicyKind::kMemory, PolicyKind::kMapped,
                                       PolicyKind::kStreamed};
// Root content of a root holding item kBig with blocks of blobs of these
// lengths (a block: size field, 1066, 1063 and its bytes, end marker).
uint64_t RootContent(const std::vector<uint64_t>& blobs) {
  uint64_t size = 2 + 4;
  for (const uint64_t length : blobs) size += 4 + 2 + 6 + 2 + length;
  return size;
}
// Two blob lengths whose root content is exactly `root`.
std::vector<uint64_t> BlobsFor(uint64_t root) {
  const uint64_t both = root - RootContent({0, 0});
  return {both / 2, both - both / 2};
}

// A file of `size` bytes that takes no space, or skips the test.
bool MakeSparse(const std::string& path, uint64_t size) {
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  struct stat info {};
  const bool ok = fd >= 0 && ftruncate(fd, static_cast<off_t>(size)) == 0 &&
                  fstat(fd, &info) == 0 && uint64_t(info.st_blocks) * 512 < size / 2;
  if (fd >= 0) close(fd);
  return ok;
}

// Root value kTitle and item kBig, block k holding a range of `source`.
void AddBlobs(KSTRN_SessionHandle s, const std::string& source, const std::vector<uint64_t>& blobs) {
  KSTRN_GotoRoot(s);
  KSTRN_InsertItemBlocks(kBig, static_cast<uint16_t>(blobs.size()), s);
  for (std::size_t k = 0; k < blobs.size(); ++k, KSTRN_CloseItem(s)) {
    ASSERT_TRUE(KSTRN_OpenItem(kBig, static_cast<int32_t>(k), s));
    const uint64_t offset = 0, length = blobs[k];
    ASSERT_TRUE(KSTRN_InsertDataFile(source.c_str(), &offset, &length, s));
  }
}

class SizeLimit : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!MakeSparse(source_, uint64_t{1} << 31)) GTEST_SKIP() << "no sparse files here";
    WriteSampleContainer(old_);
    oldBytes_ = ReadWholeFile(old_);
  }
  // True when the call failed with code 1 and left the old file, the
  // directory and a marked buffer as they were.
  bool Refused(bool ok) {
    const std::vector<std::string> files{"old.kst", "source"};
    return !ok && KSTRN_GetLastEE() == KSTRN_ErrFileAccess && ReadWholeFile(old_) == oldBytes_ &&
           dir_.List() == files && buffer_ == std::string(buffer_.size(), '\xAA');
  }

  ScratchDir dir_;
  const std::string source_ = dir_.File("source"), old_ = dir_.File("old.kst");
  std::string oldBytes_, buffer_ = std::string(256, '\xAA');
};

// One byte over: every save refuses before writing; one byte less is
// written (its buffer save starts, then runs out of room).
TEST_F(SizeLimit, EverySaveRefusesATreeItsFieldsCannotDescribe) {
  KSTRN_SessionHandle s = nullptr;
  ASSERT_TRUE(KSTRN_NewSession(&s));
  AddBlobs(s, source_, BlobsFor(kFieldMax + 1));
  EXPECT_EQ(KSTRN_SaveSessionSize(s), 23 + kFieldMax + 1);
  EXPECT_EQ(KSTRN_SerializeItemSize(s), 23 + kFieldMax + 1);
  const int fd = open(old_.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_EQ(lseek(fd, 5, SEEK_SET), 5);
  auto* buffer = buffer_.data();
  const auto length = static_cast<uint32_t>(buffer_.size());
  EXPECT_TRUE(Refused(KSTRN_SaveSession(old_.c_str(), s)));
  EXPECT_TRUE(Refused(KSTRN_SaveSessionW(Utf8ToUtf16(old_).c_str(), s)));
  EXPECT_TRUE(Refused(KSTRN_SaveWithAbsRefs(old_.c_str(), s)));
  EXPECT_TRUE(Refused(KSTRN_SaveSessionH(fd, s)));
  EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 5);
  EXPECT_TRUE(Refused(KSTRN_SaveSessionBuffer(buffer, length, s)));
  EXPECT_TRUE(Refused(KSTRN_SerializeItem(buffer, length, s)));
  close(fd);

  ASSERT_TRUE(KSTRN_OpenItem(kBig, 1, s));
  const uint64_t offset = 0, shorter = BlobsFor(kFieldMax + 1)[1] - 1;
  ASSERT_TRUE(KSTRN_InsertDataFile(source_.c_str(), &offset, &shorter, s));
  KSTRN_GotoRoot(s);
  EXPECT_EQ(KSTRN_SaveSessionSize(s), 23 + kFieldMax);
  EXPECT_FALSE(KSTRN_SaveSessionBuffer(buffer, length, s));
  EXPECT_EQ(buffer_.substr(0, 19), std::string("KESTRON v1.00 file\x1A"));
  KSTRN_CloseSession(s);
}

// A file-backed session saved over its own file: refused before any of its
// bytes are read, the file intact and still read by the session.
TEST_F(SizeLimit, FileBackedSessionsRefuseToReplaceTheirOwnFile) {
  for (const PolicyKind kind : {PolicyKind::kMapped, PolicyKind::kStreamed}) {
    ScopedOpen s(kind, old_);
    ASSERT_NE(s.get(), nullptr);
    const std::string before = Dump(s);
    AddBlobs(s, source_, BlobsFor(kFieldMax + 1));
    const int fd = open(old_.c_str(), O_RDWR | O_CLOEXEC);
    EXPECT_TRUE(Refused(KSTRN_SaveSession(old_.c_str(), s))) << PolicyName(kind);
    EXPECT_TRUE(Refused(KSTRN_SaveSessionH(fd, s))) << PolicyName(kind);
    close(fd);
    KSTRN_GotoRoot(s);
    KSTRN_DeleteItemBlocks(kBig, s);
    EXPECT_EQ(Dump(s), before) << PolicyName(kind);
  }
}

// A container laid out by hand, its blob bytes left as holes; the size
// fields hold the true sizes' low 32 bits, as a writer that lets them wrap
// stores them. The last bytes of each blob are set, to be read back.
std::string WriteSparseContainer(const std::string& path, const std::vector<uint64_t>& blobs) {
  std::string head = "KESTRON v1.00 file\x1A";
  const auto u16 = [](std::string& out, uint16_t v) { out += char(v & 255), out += char(v >> 8); };
  const auto u32 = [&](std::string& out, uint64_t v) {
    u16(out, static_cast<uint16_t>(v)), u16(out, static_cast<uint16_t>(v >> 16));
  };
  u32(head, RootContent(blobs));
  u16(head, kBig), u16(head, static_cast<uint16_t>(blobs.size())), u16(head, 0);
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  EXPECT_EQ(write(fd, head.data(), head.size()), ssize_t(head.size()));
  off_t at = static_cast<off_t>(head.size());
  for (std::size_t k = 0; k < blobs.size(); ++k) {
    std::string record;
    u32(record, 10 + blobs[k]);
    u16(record, 1066), u32(record, blobs[k]), u16(record, 1063);
    EXPECT_EQ(pwrite(fd, record.data(), record.size(), at), ssize_t(record.size()));
    at += static_cast<off_t>(record.size() + blobs[k]);
    const std::string tail = "tail" + std::to_string(k) + std::string(2, '\0');  // + end marker
    EXPECT_EQ(pwrite(fd, tail.data(), tail.size(), at - 5), ssize_t(tail.size()));
    at += 2;
  }
  close(fd);
  return path;
}

// What a session reads of such a file: blob sizes and their last bytes.
std::string Shape(KSTRN_SessionHandle s) {
  std::string out;
  uint16_t blocks = 0;
  KSTRN_GetItemCount(kBig, &blocks, s);
  for (uint16_t k = 0; k < blocks && KSTRN_OpenItem(kBig, k, s); ++k, KSTRN_CloseItem(s)) {
    uint32_t size = 0;
    KSTRN_GetValSize(1063, &size, s);
    char last[6] = {};
    KSTRN_ReadValue(KSTRN_GetValueHandle(1063, s), size - 5, last, 5, s);
    out += std::to_string(size) + ":" + last + ";";
  }
  return out;
}

// Just under the limit, and over it with wrapped fields: every policy reads
// the same tree (the in-memory one leaves the holes unread and untouched).
TEST_F(SizeLimit, EveryPolicyReadsHugeContainersAlike) {
  for (const uint64_t root : {kFieldMax, kFieldMax + 33559598}) {
    const std::vector<uint64_t> blobs = BlobsFor(root);
    const std::string path = WriteSparseContainer(dir_.File("huge.kst"), blobs);
    const std::string expected = std::to_string(blobs[0]) + ":tail0;" +
                                 std::to_string(blobs[1]) + ":tail1;";
    for (const PolicyKind kind : kAllPolicies) {
      ScopedOpen s(kind, path);
      ASSERT_NE(s.get(), nullptr) << PolicyName(kind) << " " << root;
      EXPECT_EQ(Shape(s), expected) << PolicyName(kind) << " " << root;
      EXPECT_EQ(KSTRN_SaveSessionSize(s), 23 + root) << PolicyName(kind);
    }
    unlink(path.c_str());
  }
}

// Just under the limit, under every policy: the save is accepted and, its
// blobs being holes of the source, leaves holes, not gigabytes of zeros.
TEST_F(SizeLimit, NearLimitTreeSavesUnderEveryPolicy) {
  const std::string near = dir_.File("near.kst");
  for (const PolicyKind kind : kAllPolicies) {
    ScopedOpen s(kind, old_);
    ASSERT_NE(s.get(), nullptr);
    std::vector<uint64_t> blobs = BlobsFor(kFieldMax);
    AddBlobs(s, source_, blobs);
    blobs[1] -= KSTRN_SaveSessionSize(s) - (23 + kFieldMax);
    ASSERT_TRUE(KSTRN_OpenItem(kBig, 1, s));
    const uint64_t offset = 0;
    ASSERT_TRUE(KSTRN_InsertDataFile(source_.c_str(), &offset, &blobs[1], s));
    KSTRN_GotoRoot(s);
    ASSERT_EQ(KSTRN_SaveSessionSize(s), 23 + kFieldMax);
    ASSERT_TRUE(KSTRN_SaveSession(near.c_str(), s)) << PolicyName(kind);
    struct stat info {};
    ASSERT_EQ(stat(near.c_str(), &info), 0);
    EXPECT_EQ(uint64_t(info.st_size), 23 + kFieldMax);
    EXPECT_LT(info.st_blocks, 1 << 17) << "more than 64 MiB written";
    for (const PolicyKind reader : kAllPolicies) {
      ScopedOpen back(reader, near);
      ASSERT_NE(back.get(), nullptr);
      EXPECT_EQ(Shape(back), std::to_string(blobs[0]) + ":;" + std::to_string(blobs[1]) + ":;");
    }
  }
}

}  // namespace
}  // namespace kestron4
