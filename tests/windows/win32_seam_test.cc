// The Win32 side of the platform seam, run under Wine: saves that fail at
// each call in turn, sessions on caller HANDLEs, UTF-16 names outside the
// ANSI code page, mapped views of files cut short, the temporary directory.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "kestron4/kestron4.h"
#include "api/last_error_cell.h"
#include "storage/platform/temp_paths.h"
#include "support/faulty_platform.h"

// The DLL's entry point; linked statically, an ordinary function to call.
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID);

namespace kestron4 {
namespace {

namespace fs = std::filesystem;

// Greek, Cyrillic and CJK: none of them is in Windows-1252.
const std::wstring kOddName = L"\u03b1\u0436\u6f22-session.kst";

class Win32Seam : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("kestron4-" + RandomUuid());
    ASSERT_TRUE(fs::create_directory(dir_));
    ASSERT_TRUE(KSTRN_NewSession(&s_));
    const uint32_t number = 7;
    ASSERT_TRUE(KSTRN_InsertValue(10000, &number, s_));
    ASSERT_TRUE(KSTRN_InsertStringUTF8(4000, "text that is long enough for a two-byte length", s_));
    std::vector<uint8_t> blob(300 * 1024);
    for (size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<uint8_t>(i * 7 + i / 251);
    ASSERT_TRUE(KSTRN_InsertItemBlocks(150, 1, s_));
    ASSERT_TRUE(KSTRN_OpenItem(150, 0, s_));
    ASSERT_TRUE(KSTRN_InsertData(static_cast<uint32_t>(blob.size()), blob.data(), s_));
    KSTRN_GotoRoot(s_);
    reference_.resize(KSTRN_SaveSessionSize(s_));
    ASSERT_TRUE(KSTRN_SaveSessionBuffer(reference_.data(), static_cast<uint32_t>(reference_.size()), s_));
  }
  void TearDown() override {
    KSTRN_CloseSession(s_);
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  std::wstring Path(const std::wstring& name) const { return (dir_ / name).wstring(); }
  static std::string Read(const std::wstring& path) {
    std::ifstream in(fs::path(path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  static void Write(const std::wstring& path, const std::string& bytes) {
    std::ofstream(fs::path(path), std::ios::binary | std::ios::trunc) << bytes;
  }
  std::vector<std::wstring> List() const {
    std::vector<std::wstring> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename());
    return names;
  }
  std::string Reference() const { return {reference_.begin(), reference_.end()}; }

  fs::path dir_;
  KSTRN_SessionHandle s_ = nullptr;
  std::vector<uint8_t> reference_;
};

// Every call of the seam that a save makes fails once, in turn: the target
// holds its old bytes or all the new ones, no scratch file stays, no handle
// leaks, and a failure is reported as code 1.
TEST_F(Win32Seam, EveryFailedCallOfASaveLeavesTheOldFileOrTheNewOne) {
  const std::wstring target = Path(kOddName);
  std::vector<int> reached(static_cast<size_t>(FaultOp::kCount), 0);
  for (int op = 0; op < static_cast<int>(FaultOp::kCount); ++op) {
    for (int n = 1; n < 1000; ++n) {
      Write(target, "previous");
      const int handles = CountOpenFiles();
      FaultyPlatform faulty;
      faulty.FailNth(static_cast<FaultOp>(op), n);
      faulty.LimitTransfers(64 * 1024);
      bool ok;
      {
        ScopedPlatform use(faulty);
        ok = KSTRN_SaveSessionW(target.c_str(), s_);
      }
      SCOPED_TRACE(::testing::Message() << "kind " << op << " call " << n);
      EXPECT_EQ(ok, KSTRN_GetLastEE() == KSTRN_ErrNone);
      EXPECT_TRUE(ok || (faulty.Injected() && KSTRN_GetLastEE() == KSTRN_ErrFileAccess));
      EXPECT_EQ(Read(target), ok ? Reference() : "previous");
      EXPECT_EQ(List(), std::vector<std::wstring>{kOddName});
      EXPECT_EQ(CountOpenFiles(), handles);
      if (!faulty.Injected()) break;
      ++reached[static_cast<size_t>(op)];
    }
  }
  for (const FaultOp op : {FaultOp::kOpen, FaultOp::kWrite, FaultOp::kSync, FaultOp::kReplace})
    EXPECT_GT(reached[static_cast<size_t>(op)], 0) << static_cast<int>(op);
}

// A caller's HANDLE opens a session under each policy and takes a save.
TEST_F(Win32Seam, SessionsOnACallersHandle) {
  const std::wstring path = Path(kOddName);
  ASSERT_TRUE(KSTRN_SaveSessionW(path.c_str(), s_));
  EXPECT_EQ(Read(path), Reference());
  using Open = bool (*)(KSTRN_FileHandle, KSTRN_SessionHandle*);
  for (const Open open : {Open{KSTRN_OpenSessionH}, Open{KSTRN_OpenMemMappedSessionH},
                          Open{KSTRN_OpenStreamedSessionH}}) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    KSTRN_SessionHandle opened = nullptr;
    EXPECT_TRUE(open(file, &opened)) << KSTRN_GetLastEE();
    uint32_t number = 0;
    EXPECT_TRUE(KSTRN_GetValue(10000, &number, opened));
    EXPECT_EQ(number, 7u);
    EXPECT_TRUE(KSTRN_OpenItem(150, 0, opened));
    uint32_t size = 0;
    EXPECT_TRUE(KSTRN_GetValSize(1063, &size, opened));
    EXPECT_EQ(size, 300u * 1024);
    KSTRN_CloseSession(opened);
    CloseHandle(file);
  }
  const std::wstring copy = Path(L"copy.kst");
  HANDLE out = CreateFileW(copy.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(out, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(KSTRN_SaveSessionH(out, s_));
  CloseHandle(out);
  EXPECT_EQ(Read(copy), Reference());
  KSTRN_SessionHandle missing = nullptr;
  EXPECT_FALSE(KSTRN_OpenSessionW(Path(L"\u6f22-none.kst").c_str(), &missing));
  EXPECT_EQ(KSTRN_GetLastEE(), KSTRN_ErrFileNotFound);
}

// Each policy's session saves over the very file it was opened from (the
// streamed and mapped ones still read it): the file then holds the edit, and
// the session still reads its values.
TEST_F(Win32Seam, SessionsSaveOverTheirOwnFile) {
  const std::wstring path = Path(kOddName);
  using Open = bool (*)(KSTRN_FileHandle, KSTRN_SessionHandle*);
  for (const Open open : {Open{KSTRN_OpenSessionH}, Open{KSTRN_OpenMemMappedSessionH},
                          Open{KSTRN_OpenStreamedSessionH}}) {
    ASSERT_TRUE(KSTRN_SaveSessionW(path.c_str(), s_));
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    KSTRN_SessionHandle opened = nullptr;
    ASSERT_TRUE(open(file, &opened));
    CloseHandle(file);
    const uint32_t added = 99;
    ASSERT_TRUE(KSTRN_InsertValue(10001, &added, opened));
    EXPECT_TRUE(KSTRN_SaveSessionW(path.c_str(), opened)) << KSTRN_GetLastEE();
    KSTRN_SessionHandle back = nullptr;
    ASSERT_TRUE(KSTRN_OpenSessionW(path.c_str(), &back));
    uint32_t number = 0;
    EXPECT_TRUE(KSTRN_GetValue(10001, &number, back));
    EXPECT_EQ(number, added);
    KSTRN_CloseSession(back);
    EXPECT_TRUE(KSTRN_OpenItem(150, 0, opened));
    uint32_t size = 0;
    EXPECT_TRUE(KSTRN_GetValSize(1063, &size, opened));
    std::vector<uint8_t> blob(size);
    EXPECT_TRUE(KSTRN_GetValue(1063, blob.data(), opened));
    EXPECT_EQ(blob[1000], static_cast<uint8_t>(1000 * 7 + 1000 / 251));
    KSTRN_CloseSession(opened);
    EXPECT_EQ(List(), std::vector<std::wstring>{kOddName});
  }
}

// A mapped session whose file is cut short under it reports code 1 on the
// next read of the lost bytes instead of dying of EXCEPTION_IN_PAGE_ERROR.
TEST_F(Win32Seam, MappedViewOfAFileCutShortGivesCodeOne) {
  const std::wstring path = Path(L"mapped.kst");
  ASSERT_TRUE(KSTRN_SaveSessionW(path.c_str(), s_));
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  KSTRN_SessionHandle mapped = nullptr;
  ASSERT_TRUE(KSTRN_OpenMemMappedSessionH(file, &mapped));
  ASSERT_TRUE(KSTRN_OpenItem(150, 0, mapped));
  std::vector<uint8_t> blob(300 * 1024);
  ASSERT_TRUE(KSTRN_GetValue(1063, blob.data(), mapped));
  LARGE_INTEGER cut;
  cut.QuadPart = 4096;
  const bool truncated = SetFilePointerEx(file, cut, nullptr, FILE_BEGIN) && SetEndOfFile(file);
  std::printf("file cut short under the view: %s\n", truncated ? "yes" : "refused");
  if (truncated) {
    EXPECT_FALSE(KSTRN_GetValue(1063, blob.data(), mapped));
    EXPECT_EQ(KSTRN_GetLastEE(), KSTRN_ErrFileAccess);
  } else {
    // Windows refuses to cut a file that has a mapped view: the bytes stay.
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_USER_MAPPED_FILE));
    EXPECT_TRUE(KSTRN_GetValue(1063, blob.data(), mapped));
  }
  KSTRN_CloseSession(mapped);
  CloseHandle(file);
}

TEST_F(Win32Seam, TemporaryFilesGoToTheSystemOrTheGlobalDirectory) {
  const std::u16string system = MakeTempFilePath();
  ASSERT_EQ(system.size() > 36, true);
  EXPECT_EQ(system.find(u'/'), std::u16string::npos);
  KSTRN_SetGlobalTempDir(L"C:/scratch/dir");
  EXPECT_EQ(MakeTempFilePath().substr(0, 15), u"C:\\scratch\\dir\\");
  KSTRN_SetGlobalTempDir(L"");
  const std::u16string again = MakeTempFilePath();
  EXPECT_EQ(again.substr(0, again.size() - 36), system.substr(0, system.size() - 36));
  EXPECT_NE(again, system);
}

// The entry point's thread detach frees the thread's last-error cell while
// the thread is still there, before any thread_local destructor; the thread
// can report errors again afterwards.
TEST(Win32LibraryEntry, ThreadDetachFreesTheThreadsErrorCell) {
  const std::size_t before = LiveErrorCellCount();
  std::size_t with = 0, detached = 0, again = 0;
  uint32_t code = 99;
  std::thread([&] {
    KSTRN_GetLastEE();  // the first ask makes the thread a cell
    with = LiveErrorCellCount();
    DllMain(nullptr, DLL_THREAD_DETACH, nullptr);
    detached = LiveErrorCellCount();
    code = KSTRN_GetLastEE();
    again = LiveErrorCellCount();
  }).join();
  EXPECT_EQ(with, before + 1);
  EXPECT_EQ(detached, before);
  EXPECT_EQ(code, 0u) << "a fresh cell after the detach";
  EXPECT_EQ(again, before + 1);
  EXPECT_EQ(LiveErrorCellCount(), before);
}

}  // namespace
}  // namespace kestron4
