// One writer saves over a file again and again while reader processes open
// it by name, read it, close it and use what they read for a moment, in a
// loop: every open must find the file, old or new, and hold one of the two
// versions whole. (Where the system has no POSIX rename, Wine among them,
// no file that is open can be replaced at all: the writer waits for a moment
// in which no reader holds it, which the readers' pauses give.) At the end only the file itself is
// in its folder (no scratch file, no renamed-aside copy).
//
// Usage: kestron4_save_beside_readers [saves [readers]]
//        kestron4_save_beside_readers --read PATH EVENT   (a reader)
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "kestron4/kestron4.h"

namespace {

constexpr uint16_t kTid = 10000;

bool Save(const std::wstring& path, uint32_t number, uint32_t padding) {
  KSTRN_SessionHandle s = nullptr;
  // Two versions of different sizes, so that a torn file could not pass.
  std::vector<uint8_t> blob(padding, static_cast<uint8_t>(number));
  const bool ok = KSTRN_NewSession(&s) && KSTRN_InsertValue(kTid, &number, s) &&
                  KSTRN_InsertItemBlocks(150, 1, s) && KSTRN_OpenItem(150, 0, s) &&
                  KSTRN_InsertData(padding, blob.data(), s) && KSTRN_GotoRoot(s) &&
                  KSTRN_SaveSessionW(path.c_str(), s);
  KSTRN_CloseSession(s);
  return ok;
}

int Reader(const wchar_t* path, const wchar_t* event_name) {
  HANDLE stop = OpenEventW(SYNCHRONIZE, FALSE, event_name);
  if (stop == nullptr) return 2;
  long reads = 0, missing = 0, other = 0, wrong = 0;
  while (WaitForSingleObject(stop, 0) == WAIT_TIMEOUT) {
    KSTRN_SessionHandle s = nullptr;
    if (!KSTRN_OpenSessionW(path, &s)) {
      (KSTRN_GetLastEE() == KSTRN_ErrFileNotFound ? missing : other) += 1;
      continue;
    }
    uint32_t number = 0;
    if (!KSTRN_GetValue(kTid, &number, s) || (number != 1 && number != 2)) ++wrong;
    KSTRN_CloseSession(s);
    ++reads;
    Sleep(5);
  }
  std::printf("reader: %ld opens, %ld found no file, %ld failed otherwise, %ld wrong values\n",
              reads, missing, other, wrong);
  return missing == 0 && other == 0 && wrong == 0 && reads > 0 ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 4 && std::wcscmp(argv[1], L"--read") == 0) return Reader(argv[2], argv[3]);
  const int saves = argc > 1 ? _wtoi(argv[1]) : 1000;
  const int readers = argc > 2 ? _wtoi(argv[2]) : 3;
  wchar_t folder[MAX_PATH];
  swprintf(folder, MAX_PATH, L"beside-readers-%lu", GetCurrentProcessId());
  if (!CreateDirectoryW(folder, nullptr)) return 2;
  const std::wstring path = std::wstring(folder) + L"\\target.kst";
  if (!Save(path, 1, 100)) {
    std::fprintf(stderr, "the first save failed: %u\n", KSTRN_GetLastEE());
    return 1;
  }
  wchar_t event_name[64];
  swprintf(event_name, 64, L"kestron4-beside-readers-%lu", GetCurrentProcessId());
  HANDLE stop = CreateEventW(nullptr, TRUE, FALSE, event_name);
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::vector<PROCESS_INFORMATION> started;
  for (int i = 0; i < readers; ++i) {
    std::wstring line = L"\"" + std::wstring(self) + L"\" --read " + path + L" " + event_name;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &process))
      return 2;
    started.push_back(process);
  }
  Sleep(500);  // the readers get going
  int failed = 0;
  for (int i = 0; i < saves; ++i) failed += !Save(path, 1 + (i & 1), (i & 1) ? 5000 : 100);
  SetEvent(stop);
  int bad_readers = 0;
  for (const PROCESS_INFORMATION& process : started) {
    DWORD code = 1;
    if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
    GetExitCodeProcess(process.hProcess, &code);
    bad_readers += code != 0;
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  CloseHandle(stop);
  int entries = 0;
  WIN32_FIND_DATAW found;
  HANDLE listing = FindFirstFileW((std::wstring(folder) + L"\\*").c_str(), &found);
  if (listing != INVALID_HANDLE_VALUE) {
    do {
      if (std::wcscmp(found.cFileName, L".") == 0 || std::wcscmp(found.cFileName, L"..") == 0)
        continue;
      ++entries;
      if (std::wcscmp(found.cFileName, L"target.kst") != 0)
        std::printf("left behind: %ls\n", found.cFileName);
    } while (FindNextFileW(listing, &found));
    FindClose(listing);
  }
  DeleteFileW(path.c_str());
  RemoveDirectoryW(folder);
  std::printf("%d saves beside %d readers: %d failed; %d readers saw a missing, failed or torn "
              "file; %d entries left in the folder\n",
              saves, readers, failed, bad_readers, entries);
  const bool ok = failed == 0 && bad_readers == 0 && entries == 1;
  std::printf(ok ? "ok\n" : "FAILED\n");
  return ok ? 0 : 1;
}
