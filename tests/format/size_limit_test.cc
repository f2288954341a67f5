// Trees at the edge of what the 32-bit size fields describe. The large blobs
// are ranges of a sparse file, or holes of a sparse container, which every
// save and load leaves as holes: no test reads or writes gigabytes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "kestron4/kestron4.h"
#include "storage/policy_test_util.h"
#include "support/scratch_dir.h"

namespace kestron4 {
namespace {

using namespace kestron4::testing;

constexpr uint16_t kBig = 300;  // item whose blocks hold the large blobs
constexpr uint64_t kLimit = 23 + uint64_t{UINT32_MAX};  // the largest container
constexpr PolicyKind kAll[] = {PolicyKind::kMemory, PolicyKind::kMapped, PolicyKind::kStreamed};

// Sizes and last five bytes (up to a NUL) of the blobs of item kBig.
std::string Shape(KSTRN_SessionHandle s) {
  std::string out;
  uint16_t blocks = 0;
  KSTRN_GetItemCount(kBig, &blocks, s);
  for (uint16_t k = 0; k < blocks && KSTRN_OpenItem(kBig, k, s); ++k, KSTRN_CloseItem(s)) {
    uint32_t size = 0;
    char last[6] = {};
    KSTRN_GetValSize(1063, &size, s);
    KSTRN_ReadValue(KSTRN_GetValueHandle(1063, s), size - 5, last, 5, s);
    out += std::to_string(size) + ":" + last + ";";
  }
  return out;
}

class SizeLimit : public ::testing::Test {
 protected:
  void SetUp() override {
    const int fd = open(source_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    struct stat info {};
    const bool sparse = ftruncate(fd, off_t{1} << 31) == 0 && fstat(fd, &info) == 0 &&
                        info.st_blocks < (1 << 20);
    close(fd);
    if (!sparse) GTEST_SKIP() << "no sparse files here";
    WriteSampleContainer(old_);
  }
  void SetBlob(KSTRN_SessionHandle s, int32_t k, uint64_t length) {
    const uint64_t offset = 0;
    ASSERT_TRUE(KSTRN_OpenItem(kBig, k, s));
    ASSERT_TRUE(KSTRN_InsertDataFile(source_.c_str(), &offset, &length, s));
    KSTRN_CloseItem(s);
  }

  ScratchDir dir_;
  const std::string source_ = dir_.File("source"), old_ = dir_.File("old.kst");
};

// Under each policy, a tree one byte too large: every save refuses it with
// 1 before writing or reading a byte (a file-backed session saving over its
// own file included). One byte less saves, as holes, and reads back alike
// under every policy.
TEST_F(SizeLimit, SavesRefuseWrappingSizesAndKeepTheLargestThatFits) {
  const std::string near = dir_.File("near.kst"), oldBytes = ReadWholeFile(old_);
  for (const PolicyKind kind : kAll) {
    ScopedOpen s(kind, old_);
    ASSERT_NE(s.get(), nullptr);
    const uint64_t first = uint64_t{1} << 31;
    ASSERT_TRUE(KSTRN_InsertItemBlocks(kBig, 2, s));
    SetBlob(s, 0, first);
    SetBlob(s, 1, 0);
    const uint64_t second = kLimit + 1 - KSTRN_SaveSessionSize(s);
    SetBlob(s, 1, second);
    EXPECT_EQ(KSTRN_SaveSessionSize(s), kLimit + 1);
    const std::vector<std::string> files = dir_.List();
    std::string buffer(64, '\xAA');
    const auto length = static_cast<uint32_t>(buffer.size());
    const int fd = open(old_.c_str(), O_RDWR | O_CLOEXEC);
    for (const bool saved : {KSTRN_SaveSession(old_.c_str(), s), KSTRN_SaveSessionH(fd, s),
                             KSTRN_SaveSessionBuffer(buffer.data(), length, s),
                             KSTRN_SerializeItem(buffer.data(), length, s)}) {
      EXPECT_FALSE(saved) << PolicyName(kind);
      EXPECT_EQ(KSTRN_GetLastEE(), KSTRN_ErrFileAccess);
    }
    close(fd);
    EXPECT_TRUE(ReadWholeFile(old_) == oldBytes && dir_.List() == files &&
                buffer == std::string(64, '\xAA'))
        << PolicyName(kind);

    SetBlob(s, 1, second - 1);
    ASSERT_TRUE(KSTRN_SaveSession(near.c_str(), s)) << PolicyName(kind);
    struct stat info {};
    ASSERT_EQ(stat(near.c_str(), &info), 0);
    EXPECT_EQ(uint64_t(info.st_size), kLimit);
    EXPECT_LT(info.st_blocks, 1 << 17) << "more than 64 MiB written";
    for (const PolicyKind reader : kAll) {
      ScopedOpen back(reader, near);
      EXPECT_EQ(Shape(back), std::to_string(first) + ":;" + std::to_string(second - 1) + ":;");
    }
  }
}

// A container over 4 GiB laid out by hand, its blobs holes but for their
// last bytes, its size fields holding the true sizes' low 32 bits as a
// writer that lets them wrap stores them: every policy reads it alike.
TEST_F(SizeLimit, EveryPolicyReadsAContainerWithWrappedSizesAlike) {
  const uint64_t blob = (uint64_t{1} << 31) + 1000;
  const auto le = [](uint64_t v, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += static_cast<char>(v >> (8 * i));
    return out;
  };
  const std::string path = dir_.File("huge.kst");
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  const auto put = [&](const std::string& bytes, uint64_t at) {
    return pwrite(fd, bytes.data(), bytes.size(), off_t(at)) == ssize_t(bytes.size());
  };
  ASSERT_TRUE(put("KESTRON v1.00 file\x1A" + le(6 + 2 * (14 + blob), 4) + le(kBig, 2) + le(2, 2) +
                      le(0, 2),
                  0));
  uint64_t at = 29;
  for (const std::string tail : {"tail0", "tail1"}) {
    ASSERT_TRUE(put(le(10 + blob, 4) + le(1066, 2) + le(blob, 4) + le(1063, 2), at));
    at += 12 + blob;
    ASSERT_TRUE(put(tail + std::string(2, '\0'), at - 5));  // and the end marker
    at += 2;
  }
  close(fd);
  for (const PolicyKind kind : kAll) {
    ScopedOpen s(kind, path);
    ASSERT_NE(s.get(), nullptr) << PolicyName(kind);
    EXPECT_EQ(Shape(s), std::to_string(blob) + ":tail0;" + std::to_string(blob) + ":tail1;");
    EXPECT_EQ(KSTRN_SaveSessionSize(s), 23 + 6 + 2 * (14 + blob));
  }
}

}  // namespace
}  // namespace kestron4
