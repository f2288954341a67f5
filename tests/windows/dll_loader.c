/* Loads kestron4.dll as the desktop tools do, with LoadLibraryW, finds every
 * function of the interface by name with GetProcAddress, and runs a session
 * through the pointers: a save to a UTF-16 name outside Windows-1252, the
 * version text from the DLL's resource, and last-error cells per thread. */
#include <windows.h>

#include <stdbool.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "export_names.h" /* kExportNames: the names of the .def file */

typedef bool (*NewSessionFn)(void**);
typedef bool (*InsertValueFn)(uint16_t, const void*, void*);
typedef bool (*SaveWFn)(const wchar_t*, void*);
typedef bool (*OpenWFn)(const wchar_t*, void**);
typedef bool (*GetValueFn)(uint16_t, void*, void*);
typedef bool (*CloseFn)(void*);
typedef bool (*NextItemFn)(void*);
typedef uint32_t (*LastFn)(void);
typedef const char* (*TextFn)(void);

static HMODULE g_dll;
static void* Find(const char* name) { return (void*)GetProcAddress(g_dll, name); }

static DWORD WINAPI FailOnAThread(LPVOID code) {
  void* s = NULL;
  ((NewSessionFn)Find("KSTRN_NewSession"))(&s);
  ((NextItemFn)Find("KSTRN_NextItem"))(s); /* at the last block: code 6 */
  *(uint32_t*)code = ((LastFn)Find("KSTRN_GetLastEE"))();
  ((CloseFn)Find("KSTRN_CloseSession"))(s);
  return 0;
}

int main(void) {
  int failures = 0;
  g_dll = LoadLibraryW(L"kestron4.dll");
  if (g_dll == NULL) {
    fprintf(stderr, "LoadLibraryW failed: %lu\n", GetLastError());
    return 1;
  }
  size_t found = 0;
  for (size_t i = 0; i < sizeof kExportNames / sizeof kExportNames[0]; ++i) {
    if (Find(kExportNames[i]) != NULL) {
      ++found;
    } else {
      fprintf(stderr, "missing: %s\n", kExportNames[i]);
    }
  }
  printf("found %u of %u functions\n", (unsigned)found,
         (unsigned)(sizeof kExportNames / sizeof kExportNames[0]));
  failures += found != 100;

  const char* version = ((TextFn)Find("KSTRN_GetEVersion"))();
  printf("version: %s\n", version != NULL ? version : "(none)");
  failures += version == NULL || strcmp(version, "4.38.258.0") != 0;

  const wchar_t* name = L"\u03b1\u0436\u6f22-loader.kst";
  void* s = NULL;
  const uint32_t number = 42;
  uint32_t back = 0;
  void* again = NULL;
  bool ok = ((NewSessionFn)Find("KSTRN_NewSession"))(&s) &&
            ((InsertValueFn)Find("KSTRN_InsertValue"))(10000, &number, s) &&
            ((SaveWFn)Find("KSTRN_SaveSessionW"))(name, s) &&
            ((OpenWFn)Find("KSTRN_OpenSessionW"))(name, &again) &&
            ((GetValueFn)Find("KSTRN_GetValue"))(10000, &back, again);
  failures += !ok || back != number;
  ((CloseFn)Find("KSTRN_CloseSession"))(again);

  /* Another thread's failure stays in that thread's cell. */
  ((NextItemFn)Find("KSTRN_NextItem"))(s);
  uint32_t other = 0;
  HANDLE thread = CreateThread(NULL, 0, FailOnAThread, &other, 0, NULL);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  ((GetValueFn)Find("KSTRN_GetValue"))(10000, &back, s);
  const uint32_t mine = ((LastFn)Find("KSTRN_GetLastEE"))();
  printf("thread code %u, own code %u\n", other, mine);
  failures += other != 6 || mine != 0;
  ((CloseFn)Find("KSTRN_CloseSession"))(s);
  DeleteFileW(name);
  FreeLibrary(g_dll);
  printf(failures == 0 ? "ok\n" : "FAILED\n");
  return failures == 0 ? 0 : 1;
}
