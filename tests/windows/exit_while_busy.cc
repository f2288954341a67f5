// A process that ends while its other threads are inside kestron4.dll
// (saving, opening, failing, asking for their error codes, setting the
// temporary folder) must end, every time: the system kills those threads
// where they stand, perhaps while they hold the library's lock or the heap's,
// and nothing the DLL does at exit may wait for either.
//
// Usage: kestron4_exit_while_busy [runs]      (starts itself that often)
//        kestron4_exit_while_busy --busy N    (one run: exits after N ms)
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "kestron4/kestron4.h"

namespace {

constexpr DWORD kRunLimitMs = 30000;

// Saves and opens files, and works in memory, by turns: the files take the
// library through the system's calls, the memory work through its locks and
// its error cells.
DWORD WINAPI Busy(LPVOID index) {
  wchar_t name[64];
  swprintf(name, 64, L"exit-busy-%lu-%d.kst", GetCurrentProcessId(),
           static_cast<int>(reinterpret_cast<intptr_t>(index)));
  uint8_t buffer[4096];
  for (uint32_t i = 0;; ++i) {
    KSTRN_SessionHandle s = nullptr;
    KSTRN_NewSession(&s);
    KSTRN_InsertValue(10000, &i, s);
    if (i & 1) {
      KSTRN_SaveSessionBuffer(buffer, sizeof buffer, s);
    } else {
      KSTRN_SaveSessionW(name, s);
      KSTRN_CloseSession(s);
      KSTRN_OpenSessionW(name, &s);
    }
    KSTRN_NextItem(s);  // fails: a code for this thread's cell
    KSTRN_GetLastEE();
    KSTRN_CloseSession(s);
    KSTRN_SetGlobalTempDir(i & 2 ? L"" : L".");
  }
}

int BusyRun(int exit_after_ms) {
  for (intptr_t i = 0; i < 4; ++i) CloseHandle(CreateThread(nullptr, 0, Busy, reinterpret_cast<LPVOID>(i), 0, nullptr));
  Sleep(static_cast<DWORD>(exit_after_ms));
  return 0;  // the runtime's exit, then ExitProcess, with the threads inside the library
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 3 && std::wcscmp(argv[1], L"--busy") == 0) return BusyRun(_wtoi(argv[2]));
  const int runs = argc > 1 ? _wtoi(argv[1]) : 20;
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  int hung = 0, failed = 0;
  for (int run = 0; run < runs; ++run) {
    std::wstring line = L"\"" + std::wstring(self) + L"\" --busy " + std::to_wstring(20 + run * 7 % 60);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
      return 2;
    DWORD code = 1;
    if (WaitForSingleObject(process.hProcess, kRunLimitMs) != WAIT_OBJECT_0) {
      ++hung;
      TerminateProcess(process.hProcess, 1);
      WaitForSingleObject(process.hProcess, INFINITE);
    } else {
      GetExitCodeProcess(process.hProcess, &code);
      failed += code != 0;
    }
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    // The run's files, and the scratch files of saves it was killed in.
    for (const wchar_t* form : {L"exit-busy-%lu-*", L".exit-busy-%lu-*"}) {
      wchar_t pattern[64];
      swprintf(pattern, 64, form, process.dwProcessId);
      WIN32_FIND_DATAW found;
      HANDLE listing = FindFirstFileW(pattern, &found);
      if (listing == INVALID_HANDLE_VALUE) continue;
      do DeleteFileW(found.cFileName);
      while (FindNextFileW(listing, &found));
      FindClose(listing);
    }
  }
  std::printf("%d exits with four threads inside the library: %d hung, %d failed\n", runs, hung,
              failed);
  std::printf(hung == 0 && failed == 0 ? "ok\n" : "FAILED\n");
  return hung == 0 && failed == 0 ? 0 : 1;
}
