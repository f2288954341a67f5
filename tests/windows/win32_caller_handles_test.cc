// Sessions opened on the handles that Windows hosts hold: from CreateFileW
// with each share mode, from _wopen and from _wfopen. The session reopens the
// file with the sharing it needs, so once the caller lets go of its handle a
// save over the file the session reads succeeds, as on Linux; while a caller
// still holds the file without sharing delete access, Windows allows no
// rename over it, and the save fails with code 1 leaving the file as it was.
#include <windows.h>
// After windows.h.
#include <fcntl.h>
#include <io.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "kestron4/kestron4.h"
#include "storage/platform/temp_paths.h"

namespace kestron4 {
namespace {

namespace fs = std::filesystem;

// A caller's open file: the HANDLE the library is given, and how the caller
// lets go of it.
struct CallerFile {
  HANDLE handle = INVALID_HANDLE_VALUE;
  std::function<void()> release;
};

struct HandleKind {
  const char* name;
  bool sharesDelete;
  std::function<CallerFile(const std::wstring&)> open;
};

CallerFile FromCreateFile(const std::wstring& path, DWORD share) {
  HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  return {handle, [handle] { CloseHandle(handle); }};
}

std::vector<HandleKind> Kinds() {
  return {
      {"CreateFileW, share read", false,
       [](const std::wstring& p) { return FromCreateFile(p, FILE_SHARE_READ); }},
      {"CreateFileW, share read and write", false,
       [](const std::wstring& p) { return FromCreateFile(p, FILE_SHARE_READ | FILE_SHARE_WRITE); }},
      {"CreateFileW, share read and delete", true,
       [](const std::wstring& p) { return FromCreateFile(p, FILE_SHARE_READ | FILE_SHARE_DELETE); }},
      {"CreateFileW, share all", true,
       [](const std::wstring& p) {
         return FromCreateFile(p, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
       }},
      {"_wopen", false,
       [](const std::wstring& p) {
         const int fd = _wopen(p.c_str(), _O_RDONLY | _O_BINARY);
         if (fd < 0) return CallerFile{};
         return CallerFile{reinterpret_cast<HANDLE>(_get_osfhandle(fd)), [fd] { _close(fd); }};
       }},
      {"_wfopen", false,
       [](const std::wstring& p) {
         FILE* file = _wfopen(p.c_str(), L"rb");
         if (file == nullptr) return CallerFile{};
         return CallerFile{reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))),
                           [file] { std::fclose(file); }};
       }},
  };
}

using OpenH = bool (*)(KSTRN_FileHandle, KSTRN_SessionHandle*);
struct Policy {
  const char* name;
  OpenH open;
};
const Policy kPolicies[] = {{"memory", KSTRN_OpenSessionH},
                            {"mapped", KSTRN_OpenMemMappedSessionH},
                            {"streamed", KSTRN_OpenStreamedSessionH}};

class CallerHandles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("kestron4-" + RandomUuid());
    ASSERT_TRUE(fs::create_directory(dir_));
    path_ = (dir_ / L"held.kst").wstring();
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  // A file with value 10000 = number and a 200 KiB block in item 150.
  void SaveFresh(uint32_t number) {
    KSTRN_SessionHandle s = nullptr;
    ASSERT_TRUE(KSTRN_NewSession(&s));
    ASSERT_TRUE(KSTRN_InsertValue(10000, &number, s));
    std::vector<uint8_t> blob(200 * 1024, 0x5A);
    ASSERT_TRUE(KSTRN_InsertItemBlocks(150, 1, s));
    ASSERT_TRUE(KSTRN_OpenItem(150, 0, s));
    ASSERT_TRUE(KSTRN_InsertData(static_cast<uint32_t>(blob.size()), blob.data(), s));
    ASSERT_TRUE(KSTRN_SaveSessionW(path_.c_str(), s));
    KSTRN_CloseSession(s);
  }
  std::string Bytes() const {
    std::ifstream in(fs::path(path_), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  uint32_t SavedNumber(uint16_t tid) const {
    KSTRN_SessionHandle back = nullptr;
    uint32_t number = 0;
    if (KSTRN_OpenSessionW(path_.c_str(), &back)) KSTRN_GetValue(tid, &number, back);
    KSTRN_CloseSession(back);
    return number;
  }
  size_t Entries() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()));
  }
  fs::path dir_;
  std::wstring path_;
};

// Released by the caller, the file takes a save of the session reading it.
TEST_F(CallerHandles, ASessionSavesOverItsFileOnceTheCallerLetsGo) {
  for (const HandleKind& kind : Kinds()) {
    for (const Policy& policy : kPolicies) {
      SCOPED_TRACE(std::string(kind.name) + ", " + policy.name);
      SaveFresh(7);
      CallerFile caller = kind.open(path_);
      ASSERT_NE(caller.handle, INVALID_HANDLE_VALUE);
      KSTRN_SessionHandle s = nullptr;
      ASSERT_TRUE(policy.open(caller.handle, &s)) << KSTRN_GetLastEE();
      caller.release();
      const uint32_t added = 99;
      ASSERT_TRUE(KSTRN_GotoRoot(s));
      ASSERT_TRUE(KSTRN_InsertValue(10001, &added, s));
      EXPECT_TRUE(KSTRN_SaveSessionW(path_.c_str(), s)) << KSTRN_GetLastEE();
      EXPECT_EQ(SavedNumber(10001), added);
      ASSERT_TRUE(KSTRN_OpenItem(150, 0, s));
      std::vector<uint8_t> blob(200 * 1024);
      EXPECT_TRUE(KSTRN_GetValue(1063, blob.data(), s)) << "the session still reads its file";
      EXPECT_EQ(blob.back(), 0x5A);
      KSTRN_CloseSession(s);
      EXPECT_EQ(Entries(), 1u);
    }
  }
}

// A caller that still holds the file without sharing delete access keeps
// every rename off it: the save fails cleanly, and succeeds once it lets go.
TEST_F(CallerHandles, AHolderWithoutDeleteSharingFailsTheSaveCleanly) {
  for (const HandleKind& kind : Kinds()) {
    if (kind.sharesDelete) continue;
    SCOPED_TRACE(kind.name);
    SaveFresh(7);
    const std::string before = Bytes();
    CallerFile caller = kind.open(path_);
    ASSERT_NE(caller.handle, INVALID_HANDLE_VALUE);
    KSTRN_SessionHandle s = nullptr;
    ASSERT_TRUE(KSTRN_OpenMemMappedSessionH(caller.handle, &s));
    const uint32_t added = 99;
    ASSERT_TRUE(KSTRN_InsertValue(10001, &added, s));
    EXPECT_FALSE(KSTRN_SaveSessionW(path_.c_str(), s));
    EXPECT_EQ(KSTRN_GetLastEE(), KSTRN_ErrFileAccess);
    caller.release();
    EXPECT_EQ(Bytes(), before);
    EXPECT_EQ(Entries(), 1u) << "no scratch file left behind";
    EXPECT_TRUE(KSTRN_SaveSessionW(path_.c_str(), s)) << KSTRN_GetLastEE();
    EXPECT_EQ(SavedNumber(10001), added);
    KSTRN_CloseSession(s);
  }
}

}  // namespace
}  // namespace kestron4
