#include "storage/platform/temp_paths.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>
#include <regex>
#include <set>
#include <string>

#include "kestron4/kestron4.h"
#include "support/faulty_platform.h"
#include "support/caller_file.h"

namespace kestron4 {
namespace {

// Puts TMPDIR and the global directory back as they were.
class TempSettingsGuard {
 public:
  TempSettingsGuard() {
    if (const char* value = getenv("TMPDIR")) saved_ = value;
  }
  ~TempSettingsGuard() {
    SetGlobalTempDir(u"");
    saved_ ? setenv("TMPDIR", saved_->c_str(), 1) : unsetenv("TMPDIR");
  }

 private:
  std::optional<std::string> saved_;
};

TEST(TempPaths, GlobalThenEnvironmentThenTmpJoinedWithOneSlash) {
  TempSettingsGuard guard;
  unsetenv("TMPDIR");
  EXPECT_EQ(GetTempDirectory(), u"/tmp");
  setenv("TMPDIR", "", 1);
  EXPECT_EQ(GetTempDirectory(), u"/tmp");
  setenv("TMPDIR", "/var/scratch", 1);
  EXPECT_EQ(GetTempDirectory(), u"/var/scratch");
  EXPECT_TRUE(KSTRN_SetGlobalTempDir(W(u"/data/t\u00E9mp")));
  EXPECT_EQ(GetTempDirectory(), u"/data/t\u00E9mp");
  EXPECT_TRUE(KSTRN_SetGlobalTempDir(nullptr));  // as the empty one
  EXPECT_EQ(GetTempDirectory(), u"/var/scratch");
  for (const std::u16string directory : {u"/data/tmp", u"/data/tmp/"}) {
    SetGlobalTempDir(directory);
    const std::u16string path = MakeTempFilePath();
    ASSERT_EQ(path.size(), 10u + 36) << std::string(path.begin(), path.end());
    EXPECT_EQ(path.substr(0, 10), u"/data/tmp/");
  }
  const char* joins[][3] = {
      {"a", "b", "a/b"}, {"a/", "b", "a/b"}, {"/", "b", "/b"}, {"", "b", "b"}};
  for (const auto& j : joins) EXPECT_EQ(JoinPath(j[0], j[1]), j[2]);
}

TEST(TempPaths, UuidsAreVersionFourUniqueAndNeverFromNoRandomness) {
  const std::regex form("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
  std::set<std::string> seen;
  for (int i = 0; i < 2000; ++i) {
    const std::string uuid = RandomUuid();
    ASSERT_TRUE(std::regex_match(uuid, form)) << uuid;
    seen.insert(uuid);
  }
  EXPECT_EQ(seen.size(), 2000u);
  FaultyPlatform faulty;
  ScopedPlatform use(faulty);
  EXPECT_EQ(RandomUuid().size(), 36u);
  faulty.FailNth(FaultOp::kRandomBytes, 1);
  EXPECT_EQ(RandomUuid(), "");
  faulty.FailNth(FaultOp::kRandomBytes, 1);
  EXPECT_EQ(MakeTempFilePath(), u"");
}

}  // namespace
}  // namespace kestron4
