// Loads kestron4.dll, reads through a mapped session, ends a thread that
// used it, unloads it and throws a C++ exception, over and over, as a host
// that loads the DLL for one job at a time does. An exception after the
// unload runs every vectored handler still registered: one left by the DLL
// would be freed code. Every cycle must also give back what it took (TLS
// slots, handles), or a long-running host runs out of them.
//
// Usage: kestron4_dll_unload [cycles]
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace {

using NewSessionFn = bool (*)(void**);
using InsertValueFn = bool (*)(uint16_t, const void*, void*);
using InsertItemBlocksFn = bool (*)(uint16_t, uint32_t, void*);
using OpenItemFn = bool (*)(uint16_t, uint32_t, void*);
using InsertDataFn = bool (*)(uint32_t, const void*, void*);
using SaveWFn = bool (*)(const wchar_t*, void*);
using OpenHFn = bool (*)(HANDLE, void**);
using GetValueFn = bool (*)(uint16_t, void*, void*);
using CloseFn = bool (*)(void*);
using LastFn = uint32_t (*)();

const wchar_t kFile[] = L"dll-unload.kst";
constexpr uint32_t kBlobSize = 64 * 1024;

template <typename Fn>
Fn Find(HMODULE dll, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}

// How many TLS slots are free: fewer after each cycle if anything loaded
// and unloaded keeps one.
DWORD FreeTlsSlots() {
  std::vector<DWORD> taken;
  for (DWORD slot; (slot = TlsAlloc()) != TLS_OUT_OF_INDEXES;) taken.push_back(slot);
  for (const DWORD slot : taken) TlsFree(slot);
  return static_cast<DWORD>(taken.size());
}

DWORD WINAPI UseOnAThread(LPVOID dll) {
  Find<LastFn>(static_cast<HMODULE>(dll), "KSTRN_GetLastEE")();  // gives the thread a cell
  return 0;
}

bool SaveTheFile(HMODULE dll) {
  std::vector<uint8_t> blob(kBlobSize);
  for (uint32_t i = 0; i < kBlobSize; ++i) blob[i] = static_cast<uint8_t>(i * 13 + i / 256);
  void* s = nullptr;
  const uint32_t number = 5;
  const bool ok = Find<NewSessionFn>(dll, "KSTRN_NewSession")(&s) &&
                  Find<InsertValueFn>(dll, "KSTRN_InsertValue")(10000, &number, s) &&
                  Find<InsertItemBlocksFn>(dll, "KSTRN_InsertItemBlocks")(150, 1, s) &&
                  Find<OpenItemFn>(dll, "KSTRN_OpenItem")(150, 0, s) &&
                  Find<InsertDataFn>(dll, "KSTRN_InsertData")(kBlobSize, blob.data(), s) &&
                  Find<SaveWFn>(dll, "KSTRN_SaveSessionW")(kFile, s);
  Find<CloseFn>(dll, "KSTRN_CloseSession")(s);
  return ok;
}

// One job: a mapped session's read (which installs the view fault handler)
// and a thread that used the library and ended.
bool Job(HMODULE dll) {
  HANDLE file = CreateFileW(kFile, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  void* s = nullptr;
  std::vector<uint8_t> blob(kBlobSize);
  const bool ok = Find<OpenHFn>(dll, "KSTRN_OpenMemMappedSessionH")(file, &s) &&
                  Find<OpenItemFn>(dll, "KSTRN_OpenItem")(150, 0, s) &&
                  Find<GetValueFn>(dll, "KSTRN_GetValue")(1063, blob.data(), s) &&
                  blob[1000] == static_cast<uint8_t>(1000 * 13 + 1000 / 256);
  Find<CloseFn>(dll, "KSTRN_CloseSession")(s);
  CloseHandle(file);
  HANDLE thread = CreateThread(nullptr, 0, UseOnAThread, dll, 0, nullptr);
  if (thread == nullptr) return false;
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  const int cycles = argc > 1 ? std::atoi(argv[1]) : 2000;
  HMODULE first = LoadLibraryW(L"kestron4.dll");
  if (first == nullptr || !SaveTheFile(first)) {
    std::fprintf(stderr, "cannot load the DLL or save the file\n");
    return 1;
  }
  FreeLibrary(first);
  DWORD handlesBefore = 0, handlesAfter = 0;
  const DWORD slotBefore = FreeTlsSlots();
  GetProcessHandleCount(GetCurrentProcess(), &handlesBefore);
  int caught = 0;
  for (int cycle = 0; cycle < cycles; ++cycle) {
    HMODULE dll = LoadLibraryW(L"kestron4.dll");
    if (dll == nullptr || !Job(dll)) {
      std::fprintf(stderr, "cycle %d: the job failed\n", cycle);
      return 1;
    }
    if (!FreeLibrary(dll)) {
      std::fprintf(stderr, "cycle %d: FreeLibrary failed\n", cycle);
      return 1;
    }
    try {
      throw std::runtime_error("after the unload");
    } catch (const std::runtime_error&) {
      ++caught;
    }
    if (cycle % 100 == 99)
      std::fprintf(stderr, "%d cycles, free TLS slots %lu\n", cycle + 1, FreeTlsSlots());
  }
  const DWORD slotAfter = FreeTlsSlots();
  GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
  DeleteFileW(kFile);
  std::printf("%d cycles, %d exceptions caught after unloading; free TLS slots %lu -> %lu; "
              "handles %lu -> %lu\n",
              cycles, caught, slotBefore, slotAfter, handlesBefore, handlesAfter);
  // A few slots or handles may be taken once by the system itself.
  const bool ok = caught == cycles && slotAfter + 4 >= slotBefore &&
                  handlesAfter <= handlesBefore + 16;
  std::printf(ok ? "ok\n" : "FAILED\n");
  return ok ? 0 : 1;
}
