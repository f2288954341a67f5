// Functions whose work arrives with later pieces of the library. Each is
// called here with arguments that will succeed once its piece is in; until
// then it must fail cleanly: a failure result, a code where the function
// sets codes, no crash and no session left behind. When a piece lands, its
// rows go and its own tests take over.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "api/scoped_session.h"
#include "api/session_registry.h"
#include "kestron4/kestron4.h"
#include "session/last_error.h"

namespace kestron4 {
namespace {

// The smallest container: the header, an empty root block.
const std::string kEmptyContainer =
    std::string("KESTRON v1.00 file\x1a", 19) + std::string("\x02\x00\x00\x00\x00\x00", 6);

class PendingFunctionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = ::testing::TempDir() + "kestron4_pending_" + std::to_string(::getpid());
    ASSERT_TRUE(::mkdir(dir_.c_str(), 0700) == 0 || errno == EEXIST);
    container_ = dir_ + "/empty.kst";
    FILE* file = std::fopen(container_.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(kEmptyContainer.data(), 1, kEmptyContainer.size(), file);
    std::fclose(file);
  }
  void TearDown() override {
    for (const char* name : {"/empty.kst", "/saved.kst", "/saved_w.kst", "/saved_h.kst",
                             "/saved_abs.kst", "/config.qf73"}) {
      ::unlink((dir_ + name).c_str());
    }
    ::rmdir(dir_.c_str());
  }

  std::u16string U16(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
  }

  // Opens with an open function and closes the session it may leave, keeping
  // the open's code in the cell.
  bool Open(const std::function<bool(KSTRN_SessionHandle*)>& open) {
    KSTRN_SessionHandle s = nullptr;
    const bool ok = open(&s);
    const uint32_t code = KSTRN_GetLastEE();
    if (s != nullptr) KSTRN_CloseSession(s);
    SetLastError(code);
    return ok;
  }

  bool WithFile(const std::function<bool(int)>& use, int flags = O_RDONLY,
                const std::string& name = "/empty.kst") {
    const int fd = ::open((dir_ + name).c_str(), flags | O_CLOEXEC, 0600);
    if (fd < 0) return true;  // counts as "did not fail cleanly"
    const bool ok = use(fd);
    ::close(fd);
    return ok;
  }

  std::string dir_;
  std::string container_;
};

TEST_F(PendingFunctionsTest, MappedAndStreamedOpensFailCleanly) {
  const std::u16string container = U16(container_);
  const std::pair<const char*, std::function<bool()>> pending[] = {
      {"OpenMemMappedSessionH",
       [&] {
         return WithFile([&](int fd) {
           return Open([&](auto out) { return KSTRN_OpenMemMappedSessionH(fd, out); });
         });
       }},
      {"OpenStreamedSessionH",
       [&] {
         return WithFile([&](int fd) {
           return Open([&](auto out) { return KSTRN_OpenStreamedSessionH(fd, out); });
         });
       }},
      {"OpenStreamedSessionW",
       [&] {
         return Open([&](auto out) { return KSTRN_OpenStreamedSessionW(container.c_str(), out); });
       }},
  };
  const std::size_t sessions = RegisteredSessionCount();
  for (const auto& [name, call] : pending) {
    EXPECT_FALSE(call()) << name << " works now: take it off this list";
    EXPECT_NE(KSTRN_GetLastEE(), 0u) << name;
  }
  EXPECT_EQ(RegisteredSessionCount(), sessions);
}

TEST_F(PendingFunctionsTest, ReferencesIntegrityAndExportFailCleanly) {
  constexpr uint16_t kTarget = 20, kKey = 2001, kRefItem = 112;
  ScopedSession s;
  // A target block with a key, and beside it a block holding by hand a
  // reference entry (number 5, target item 20, the key) to it.
  ASSERT_TRUE(KSTRN_InsertItemBlocks(kTarget, 1, s));
  ASSERT_TRUE(KSTRN_OpenItem(kTarget, 0, s));
  ASSERT_TRUE(KSTRN_InsertValue(kKey, "target", s));
  uint32_t bookmark = 0;
  ASSERT_TRUE(KSTRN_AddBookMark(&bookmark, s));
  ASSERT_TRUE(KSTRN_CloseItem(s));
  ASSERT_TRUE(KSTRN_InsertItemBlocks(30, 1, s));
  ASSERT_TRUE(KSTRN_OpenItem(30, 0, s));
  ASSERT_TRUE(KSTRN_InsertItemBlocks(kRefItem, 1, s));
  ASSERT_TRUE(KSTRN_OpenItem(kRefItem, 0, s));
  const uint16_t number = 5, target = kTarget;
  ASSERT_TRUE(KSTRN_InsertValue(1052, &number, s));
  ASSERT_TRUE(KSTRN_InsertValue(1024, &target, s));
  ASSERT_TRUE(KSTRN_InsertValue(kKey, "target", s));
  ASSERT_TRUE(KSTRN_CloseItem(s));  // on the referring block

  // A logger configuration with one item 105 under item 23.
  ASSERT_TRUE(KSTRN_GotoRoot(s));
  ASSERT_TRUE(KSTRN_InsertItemBlocks(23, 1, s));
  ASSERT_TRUE(KSTRN_OpenItem(23, 0, s));
  ASSERT_TRUE(KSTRN_InsertItemBlocks(105, 1, s));
  const std::u16string config = U16(dir_ + "/config.qf73");

  uint32_t count32 = 0;
  uint16_t count16 = 0;
  const std::pair<const char*, std::function<bool()>> pending[] = {
      {"GotoReference", [&] { return KSTRN_GotoReference(5, s); }},
      {"CreateReference", [&] { return KSTRN_CreateReference(bookmark, 6, kKey, s); }},
      {"CheckIntegrity", [&] { return KSTRN_CheckIntegrity(&count32, s); }},
      {"GetRefdValue",
       [&] {
         return KSTRN_GotoBookMark(bookmark, s) &&
                KSTRN_GetRefdValue(kKey, nullptr, 0, &count32, s);
       }},
      {"CheckRefdValue",
       [&] {
         return KSTRN_GotoBookMark(bookmark, s) && KSTRN_CheckRefdValue(kKey, &count16, nullptr, s);
       }},
      {"CheckRefdValueUTF8",
       [&] {
         return KSTRN_GotoBookMark(bookmark, s) &&
                KSTRN_CheckRefdValueUTF8(kKey, &count16, nullptr, s);
       }},
      {"CheckRefdValueUTF16",
       [&] {
         return KSTRN_GotoBookMark(bookmark, s) &&
                KSTRN_CheckRefdValueUTF16(kKey, &count16, nullptr, s);
       }},
      {"ExportQF73v3", [&] { return KSTRN_ExportQF73v3(config.c_str(), s); }},
  };
  for (const auto& [name, call] : pending) {
    ASSERT_TRUE(KSTRN_GotoRoot(s));
    ASSERT_TRUE(KSTRN_OpenItem(30, 0, s));
    EXPECT_FALSE(call()) << name << " works now: take it off this list";
    EXPECT_NE(KSTRN_GetLastEE(), 0u) << name;
  }
}

}  // namespace
}  // namespace kestron4
