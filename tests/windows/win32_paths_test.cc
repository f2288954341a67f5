// How paths reach Windows: every one in its \\?\ form (Wine has no 260-
// character limit to show, so the conversion itself is checked, and long
// paths are used end to end), 8-bit paths as ANSI text as CreateFileA reads
// them, UTF-16 paths refused when they hold an unpaired surrogate, scratch
// names cut where a character starts. Also what a save keeps of the file it
// replaces (attributes, a symbolic link) and that it makes the rename durable.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "kestron4/kestron4.h"
#include "storage/platform/platform.h"
#include "storage/platform/safe_file.h"
#include "storage/platform/temp_paths.h"
#include "storage/platform/win32_text.h"

namespace kestron4 {
namespace {

namespace fs = std::filesystem;

std::wstring FullPath(const std::wstring& path) {
  wchar_t buffer[4096];
  const DWORD length = GetFullPathNameW(path.c_str(), 4096, buffer, nullptr);
  return std::wstring(buffer, length);
}

TEST(Win32Paths, EveryPathReachesTheSystemInItsLongForm) {
  const std::wstring here = FullPath(L".");
  const struct {
    std::string given;
    std::wstring expected;
  } cases[] = {
      {"C:\\dir\\file.kst", L"\\\\?\\C:\\dir\\file.kst"},
      {"C:/dir/sub/../file.kst", L"\\\\?\\C:\\dir\\file.kst"},
      {"\\\\server\\share\\file.kst", L"\\\\?\\UNC\\server\\share\\file.kst"},
      // What PathOf hands out comes back the same, normalised.
      {"\\\\?\\C:\\dir\\file.kst", L"\\\\?\\C:\\dir\\file.kst"},
      {"\\\\?\\C:\\dir/./file.kst", L"\\\\?\\C:\\dir\\file.kst"},
      {"\\\\?\\UNC\\server\\share\\file.kst", L"\\\\?\\UNC\\server\\share\\file.kst"},
      {"file.kst", L"\\\\?\\" + here + L"\\file.kst"},
      {"\xce\xb1\xe6\xbc\xa2.kst", L"\\\\?\\" + here + L"\\\u03b1\u6f22.kst"},
      // Devices keep the system's own spelling.
      {"\\\\.\\pipe\\name", L"\\\\.\\pipe\\name"},
      {"\\\\?\\Volume{00000000-0000-0000-0000-000000000000}\\f",
       L"\\\\?\\Volume{00000000-0000-0000-0000-000000000000}\\f"},
      // No path at all.
      {"", L""},
      {std::string("a\0b", 3), L""},
      {"\xe9t\xe9.kst", L""},  // not UTF-8: the 8-bit interface converts before this
  };
  for (const auto& c : cases) EXPECT_EQ(WidePath(c.given), c.expected) << c.given;
  const std::string beyond(300, 'x');
  EXPECT_EQ(WidePath("C:\\" + beyond), L"\\\\?\\C:\\" + std::wstring(300, L'x'));
}

class Win32PathFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("kestron4-" + RandomUuid());
    ASSERT_TRUE(fs::create_directory(dir_));
    ASSERT_TRUE(KSTRN_NewSession(&s_));
    const uint32_t number = 7;
    ASSERT_TRUE(KSTRN_InsertValue(10000, &number, s_));
  }
  void TearDown() override {
    KSTRN_CloseSession(s_);
    std::error_code ignored;
    fs::remove_all(fs::path(L"\\\\?\\" + FullPath(dir_.wstring())), ignored);
  }
  std::vector<std::wstring> List(const fs::path& folder) const {
    std::vector<std::wstring> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
    return names;
  }
  static uint32_t Saved(const std::wstring& path, uint16_t tid = 10000) {
    KSTRN_SessionHandle back = nullptr;
    uint32_t number = 0;
    if (KSTRN_OpenSessionW(path.c_str(), &back)) KSTRN_GetValue(tid, &number, back);
    KSTRN_CloseSession(back);
    return number;
  }
  fs::path dir_;
  KSTRN_SessionHandle s_ = nullptr;
};

// A file 400 characters deep: saved, opened by each policy, and saved over
// by a streamed session, which finds its file again through PathOf.
TEST_F(Win32PathFiles, PathsPastTwoHundredSixtyCharacters) {
  std::wstring deep = FullPath(dir_.wstring());
  while (deep.size() < 400) {
    deep += L"\\" + std::wstring(60, L'd');
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr));
  }
  const std::wstring path = deep + L"\\long.kst";
  ASSERT_TRUE(KSTRN_SaveSessionW(path.c_str(), s_)) << KSTRN_GetLastEE();
  EXPECT_EQ(Saved(path), 7u);
  KSTRN_SessionHandle streamed = nullptr;
  ASSERT_TRUE(KSTRN_OpenStreamedSessionW(path.c_str(), &streamed));
  const uint32_t added = 8;
  ASSERT_TRUE(KSTRN_InsertValue(10001, &added, streamed));
  EXPECT_TRUE(KSTRN_SaveSessionW(path.c_str(), streamed)) << KSTRN_GetLastEE();
  KSTRN_CloseSession(streamed);
  EXPECT_EQ(Saved(path, 10001), added);
}

// PathOf names a file in the form that opens it again, the prefix kept.
// (Wine cannot name a file past 260 characters by its handle at all, so a
// short path shows the form.)
TEST_F(Win32PathFiles, PathOfKeepsTheLongForm) {
  const std::wstring path = (dir_ / L"named.kst").wstring();
  ASSERT_TRUE(KSTRN_SaveSessionW(path.c_str(), s_));
  Platform& system = SystemPlatform();
  const NativeFile file = system.Open(Utf8Path(path), kOpenRead);
  ASSERT_NE(file, kNoFile);
  std::string named;
  ASSERT_TRUE(system.PathOf(file, &named));
  system.Close(file);
  EXPECT_EQ(named.rfind("\\\\?\\", 0), 0u) << named;
  const NativeFile again = system.Open(named, kOpenRead);
  EXPECT_NE(again, kNoFile);
  if (again != kNoFile) system.Close(again);
}

// 80 CJK characters take 240 bytes of UTF-8: the scratch name must be cut
// short, and cut where a character starts, or it names no file.
TEST_F(Win32PathFiles, ALongNonAsciiNameSaves) {
  const fs::path folder = dir_ / L"d\u00fcr";
  ASSERT_TRUE(fs::create_directory(folder));
  const std::wstring name = std::wstring(80, L'\u6f22') + L".kst";
  const std::wstring path = (folder / name).wstring();
  ASSERT_TRUE(KSTRN_SaveSessionW(path.c_str(), s_)) << KSTRN_GetLastEE();
  EXPECT_EQ(Saved(path), 7u);
  EXPECT_EQ(List(folder), std::vector<std::wstring>{name});
  const std::string scratch = ScratchPathFor(Utf8Path(path));
  EXPECT_FALSE(WidePath(scratch).empty()) << "the scratch name is UTF-8";
}

// The 8-bit interface names the file CreateFileA would name with the same
// bytes, UTF-8 or not.
TEST_F(Win32PathFiles, EightBitPathsAreAnsiText) {
  char folder[MAX_PATH];
  ASSERT_GT(WideCharToMultiByte(CP_ACP, 0, FullPath(dir_.wstring()).c_str(), -1, folder, MAX_PATH,
                                nullptr, nullptr),
            0);
  for (const std::string name : {"\xc3\xa9t\xc3\xa9.kst", "\xe9t\xe9-latin.kst"}) {
    const std::string path = std::string(folder) + "\\" + name;
    wchar_t wide[MAX_PATH] = {};
    ASSERT_GT(MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH), 0);
    ASSERT_TRUE(KSTRN_SaveSession(path.c_str(), s_)) << KSTRN_GetLastEE();
    EXPECT_NE(GetFileAttributesW(wide), INVALID_FILE_ATTRIBUTES) << "where CreateFileA looks";
    HANDLE made = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(made, INVALID_HANDLE_VALUE);
    CloseHandle(made);
    KSTRN_SessionHandle back = nullptr;
    EXPECT_TRUE(KSTRN_OpenSession(path.c_str(), &back));
    KSTRN_CloseSession(back);
    DeleteFileW(wide);
  }
}

// An unpaired surrogate names no file: refused, not saved as U+FFFD.
TEST_F(Win32PathFiles, AnUnpairedSurrogateIsRefused) {
  for (const wchar_t* name : {L"a\xD800z.kst", L"a\xDC00z.kst", L"end\xD83D"}) {
    const std::wstring path = (dir_ / name).wstring();
    EXPECT_FALSE(KSTRN_SaveSessionW(path.c_str(), s_));
    KSTRN_SessionHandle back = nullptr;
    EXPECT_FALSE(KSTRN_OpenSessionW(path.c_str(), &back));
  }
  EXPECT_TRUE(List(dir_).empty());
  const std::wstring paired = (dir_ / L"\U0001F600.kst").wstring();
  EXPECT_TRUE(KSTRN_SaveSessionW(paired.c_str(), s_));
  EXPECT_EQ(Saved(paired), 7u);
}

// A save keeps the attributes a user gave the file.
TEST_F(Win32PathFiles, ASaveKeepsTheAttributes) {
  const std::wstring path = (dir_ / L"kept.kst").wstring();
  ASSERT_TRUE(KSTRN_SaveSessionW(path.c_str(), s_));
  const DWORD set = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  ASSERT_TRUE(SetFileAttributesW(path.c_str(), set));
  if ((GetFileAttributesW(path.c_str()) & set) != set)
    GTEST_SKIP() << "this file system does not keep the attributes";
  ASSERT_TRUE(KSTRN_SaveSessionW(path.c_str(), s_)) << KSTRN_GetLastEE();
  EXPECT_EQ(GetFileAttributesW(path.c_str()) & set, set);
}

// A symbolic link is followed: the link stays, its target takes the save.
TEST_F(Win32PathFiles, ASaveThroughASymbolicLinkReplacesItsTarget) {
  const std::wstring target = (dir_ / L"target.kst").wstring();
  const std::wstring link = (dir_ / L"link.kst").wstring();
  ASSERT_TRUE(KSTRN_SaveSessionW(target.c_str(), s_));
  const BOOL made = CreateSymbolicLinkW(link.c_str(), target.c_str(), 0);
  const DWORD attributes = GetFileAttributesW(link.c_str());
  // Wine 8 reports success and makes nothing; Windows wants a privilege or
  // developer mode.
  if (!made || attributes == INVALID_FILE_ATTRIBUTES ||
      !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    GTEST_SKIP() << "no symbolic links here";
  const uint32_t added = 3;
  ASSERT_TRUE(KSTRN_InsertValue(10001, &added, s_));
  ASSERT_TRUE(KSTRN_SaveSessionW(link.c_str(), s_)) << KSTRN_GetLastEE();
  EXPECT_NE(GetFileAttributesW(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
  EXPECT_EQ(Saved(target, 10001), added);
}

// A save flushes the folder after the rename, and the folder flush works.
TEST_F(Win32PathFiles, ASaveFlushesTheFolderAfterTheRename) {
  class Recorder : public PlatformWrapper {
   public:
    Recorder() : PlatformWrapper(SystemPlatform()) {}
    bool Replace(const std::string& source, const std::string& target, bool* across) override {
      calls.push_back("replace");
      return PlatformWrapper::Replace(source, target, across);
    }
    bool SyncFolder(const std::string& folder) override {
      calls.push_back("sync " + folder);
      return PlatformWrapper::SyncFolder(folder);
    }
    std::vector<std::string> calls;
  } recorder;
  const std::wstring path = (dir_ / L"durable.kst").wstring();
  {
    ScopedPlatform use(recorder);
    ASSERT_TRUE(KSTRN_SaveSessionW(path.c_str(), s_));
  }
  ASSERT_EQ(recorder.calls.size(), 2u);
  EXPECT_EQ(recorder.calls[0], "replace");
  EXPECT_EQ(recorder.calls[1], "sync " + Utf8Path(dir_.wstring()));
  EXPECT_TRUE(SystemPlatform().SyncFolder(Utf8Path(dir_.wstring())));
}

}  // namespace
}  // namespace kestron4
