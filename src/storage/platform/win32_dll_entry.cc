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
// When the process is ending nothing runs at all: other threads were killed
// where they stood, perhaps holding the heap's lock, and freeing anything
// could hang the exit. And an unload gives the runtime's TLS slot back.
extern "C" BOOL WINAPI KestronDllEntry(HANDLE module, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_DETACH && reserved != nullptr) return TRUE;
  const DWORD slot = reason == DLL_PROCESS_DETACH ? RuntimeTlsSlot() : TLS_OUT_OF_INDEXES;
  const BOOL result = DllMainCRTStartup(module, reason, reserved);
  if (slot != TLS_OUT_OF_INDEXES) TlsFree(slot);
  return result;
}

