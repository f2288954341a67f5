// Paths from the two text interfaces as the core takes them: UTF-16 ones
// refused when they hold an unpaired surrogate (a file of another name would
// be written), and a save to such a path creating nothing.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "kestron4/kestron4.h"
#include "storage/platform/file_services.h"
#include "support/scratch_dir.h"

namespace kestron4 {
namespace {

TEST(PathText, UnpairedSurrogatesMakeNoPath) {
  const struct {
    std::u16string given;
    std::string expected;
  } cases[] = {
      {u"plain.kst", "plain.kst"},
      {u"\u00fc\u6f22.kst", "\xc3\xbc\xe6\xbc\xa2.kst"},
      {u"\U0001F600.kst", "\xf0\x9f\x98\x80.kst"},
      {std::u16string(u"a") + char16_t(0xD800) + u"z", ""},
      {std::u16string(u"a") + char16_t(0xDC00) + u"z", ""},
      {std::u16string(u"end") + char16_t(0xD83D), ""},
      {std::u16string(1, char16_t(0xDE00)) + char16_t(0xD83D), ""},  // the pair reversed
  };
  for (const auto& c : cases) EXPECT_EQ(PathFromUtf16(c.given), c.expected) << c.expected;
  EXPECT_EQ(PathFromBytes("dir/plain.kst"), "dir/plain.kst");
}

TEST(PathText, ASaveToAPathWithAnUnpairedSurrogateCreatesNothing) {
  ScratchDir dir;
  KSTRN_SessionHandle s = nullptr;
  ASSERT_TRUE(KSTRN_NewSession(&s));
  std::u16string path = std::filesystem::path(dir.Path()).u16string() + u"/a";
  path += char16_t(0xD800);
  path += u".kst";
  const std::u16string terminated = path + char16_t(0);
  EXPECT_FALSE(KSTRN_SaveSessionW(reinterpret_cast<const KSTRN_WChar*>(terminated.c_str()), s));
  KSTRN_CloseSession(s);
  EXPECT_TRUE(std::filesystem::is_empty(std::filesystem::path(dir.Path())));
}

}  // namespace
}  // namespace kestron4
