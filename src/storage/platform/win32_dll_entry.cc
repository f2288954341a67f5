// The entry point of kestron4.dll itself (linked with --entry; not part of
// the static library, whose programs have their own).
#include <windows.h>
// After windows.h.
#include <pthread.h>

// The static winpthreads runtime inside the DLL keeps its per-thread records
// in a TLS slot that it takes on first use and never frees, so each load and
// unload of the DLL cost the process one of its 1,088 slots, and a host that
// loads the DLL for each job died after about 1,085 jobs. The slot is found
// by the record of the unloading thread (which the runtime makes if needed),
// and freed once the runtime has done all its own detach work.
extern "C" void* __pth_gpointer_locked(pthread_t thread);  // winpthreads: the thread's record

namespace {

// The runtime's TLS callbacks (the static winpthreads', which at process
// detach walks its records of every thread, waiting for the killed ones to
// end, and frees memory; the CRT's), as the DLL's TLS directory lists them.
// The loader calls them before the entry point, so the entry point cannot
// keep them from running when the process is ending; instead the list is
// replaced, at attach, by one dispatcher that passes every call on except
// that one.
constexpr int kMaxCallbacks = 8;
PIMAGE_TLS_CALLBACK g_runtimeCallbacks[kMaxCallbacks] = {};

void NTAPI DispatchTlsCallback(PVOID module, DWORD reason, PVOID reserved) {
  if (reason == DLL_PROCESS_DETACH && reserved != nullptr) return;
  for (const PIMAGE_TLS_CALLBACK callback : g_runtimeCallbacks) {
    if (callback == nullptr) break;
    callback(module, reason, reserved);
  }
}

void TakeOverTlsCallbacks(HANDLE module) {
  auto* base = static_cast<unsigned char*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_TLS];
  if (entry.VirtualAddress == 0) return;
  const auto* tls = reinterpret_cast<const IMAGE_TLS_DIRECTORY64*>(base + entry.VirtualAddress);
  auto* list = reinterpret_cast<PIMAGE_TLS_CALLBACK*>(tls->AddressOfCallBacks);
  int count = 0;
  while (list != nullptr && list[count] != nullptr) ++count;
  if (count == 0 || count > kMaxCallbacks) return;  // left as it is
  const SIZE_T bytes = sizeof(PIMAGE_TLS_CALLBACK) * (count + 1);
  DWORD old = 0;
  if (!VirtualProtect(list, bytes, PAGE_READWRITE, &old)) return;
  for (int i = 0; i < count; ++i) g_runtimeCallbacks[i] = list[i];
  list[0] = DispatchTlsCallback;
  list[1] = nullptr;
  VirtualProtect(list, bytes, old, &old);
}

DWORD RuntimeTlsSlot() {
  const void* record = __pth_gpointer_locked(pthread_self());
  if (record == nullptr) return TLS_OUT_OF_INDEXES;
  // TLS_MINIMUM_AVAILABLE slots and the 1,024 of the expansion.
  for (DWORD slot = 0; slot < TLS_MINIMUM_AVAILABLE + 1024; ++slot)
    if (TlsGetValue(slot) == record) return slot;
  return TLS_OUT_OF_INDEXES;
}

}  // namespace

extern "C" BOOL WINAPI DllMainCRTStartup(HANDLE module, DWORD reason, LPVOID reserved);

// The DLL's entry point (linked with --entry): the runtime's, which runs the
// static initialisers and destructors and then DllMain, with two changes.
// When the process is ending nothing runs at all, TLS callbacks included:
// other threads were killed where they stood, perhaps holding the heap's
// lock or the runtime's, and freeing anything or waiting for them could hang
// the exit. And an unload gives the runtime's TLS slot back.
extern "C" BOOL WINAPI KestronDllEntry(HANDLE module, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_DETACH && reserved != nullptr) return TRUE;
  if (reason == DLL_PROCESS_ATTACH) TakeOverTlsCallbacks(module);
  const DWORD slot = reason == DLL_PROCESS_DETACH ? RuntimeTlsSlot() : TLS_OUT_OF_INDEXES;
  const BOOL result = DllMainCRTStartup(module, reason, reserved);
  if (slot != TLS_OUT_OF_INDEXES) TlsFree(slot);
  return result;
}

