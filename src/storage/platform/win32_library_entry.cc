// The DLL entry point and the version resource of the DLL's own file.
#include <windows.h>

#include <atomic>
#include <vector>

#include "storage/platform/library_entry.h"
#include "storage/platform/unload_hooks.h"

namespace {

HMODULE g_module = nullptr;  // the DLL itself; null in a program built with the static library
std::atomic<void (*)()> g_threadDetach{nullptr};

}  // namespace

// Called by the runtime's entry point (see win32_dll_entry.cc), before its
// own detach work (the static destructors). Process detach arrives here only
// for FreeLibrary (reserved null): an ending process skips it altogether.
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      g_module = module;
      break;
    case DLL_THREAD_DETACH:
      if (void (*hook)() = g_threadDetach.load(std::memory_order_acquire)) hook();
      break;
    case DLL_PROCESS_DETACH:
      kestron4::g_unloadHooks.RunAll();
      break;
    default:
      break;
  }
  return TRUE;
}

namespace kestron4 {

void SetThreadDetachHook(void (*hook)()) { g_threadDetach.store(hook, std::memory_order_release); }

std::string LibraryProductVersion(const char*) {
  HMODULE self = g_module;
  // Linked statically into a program, the library's file is the program's.
  if (self == nullptr &&
      !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&LibraryProductVersion), &self))
    return {};
  std::vector<wchar_t> path(MAX_PATH + 1);
  for (;;) {
    const DWORD length = GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) break;
    path.resize(path.size() * 2);
  }
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.data(), &ignored);
  if (size == 0) return {};
  std::vector<char> info(size);
  if (!GetFileVersionInfoW(path.data(), 0, size, info.data())) return {};
  char* text = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(info.data(), "\\StringFileInfo\\080904E4\\ProductVersion",
                      reinterpret_cast<void**>(&text), &length) ||
      text == nullptr || length == 0)
    return {};
  return std::string(text, strnlen(text, length));
}

}  // namespace kestron4
