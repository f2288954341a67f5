/* A program built for Microsoft's ABI (clang --target=x86_64-pc-windows-msvc,
 * lld-link) that links kestron4.lib from the Windows zip. It uses no C runtime
 * and no Windows SDK: the three KERNEL32 functions it needs are declared here
 * and imported through kernel32.def. In the current folder it opens in.kst,
 * changes the logger's 1018 and adds item 105 with a text, saves out.kst,
 * then opens that and checks both edits. Prints the DLL's version; exit
 * status 0 when all went well. */
#include <kestron4/kestron4.h>

__declspec(dllimport) void* __stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(void* file, const void* data, unsigned long size,
                                              unsigned long* written, void* overlapped);
__declspec(dllimport) __declspec(noreturn) void __stdcall ExitProcess(unsigned int code);

#define STD_OUTPUT_HANDLE ((unsigned long)-11)
static const char kText[] = "edited by an MSVC-ABI program";
static const uint32_t kTime = 4321;

static void say(const char* text) {
  unsigned long n = 0, written = 0;
  while (text[n] != '\0') ++n;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, n, &written, 0);
}

static int same(const char* a, const char* b) {
  while (*a != '\0' && *a == *b) ++a, ++b;
  return *a == *b;
}

static int fail(const char* what) {
  const char* why = KSTRN_GetLastEEStr();
  say("msvc_session: ");
  say(what);
  say(": ");
  say(why != 0 ? why : "(no error text)");
  say("\n");
  return 1;
}

static int edit(void) {
  KSTRN_SessionHandle s;
  if (!KSTRN_OpenSession("in.kst", &s)) return fail("open in.kst");
  if (!KSTRN_OpenItem(2, 0, s) || !KSTRN_DeleteValue(1018, s) || !KSTRN_InsertValue(1018, &kTime, s))
    return fail("change 1018 of /2:0");
  if (!KSTRN_CloseItem(s) || !KSTRN_InsertItemBlocks(105, 1, s) || !KSTRN_OpenItem(105, 0, s) ||
      !KSTRN_InsertStringUTF8(2001, kText, s))
    return fail("add /105:0 with 2001");
  if (!KSTRN_SaveSession("out.kst", s)) return fail("save out.kst");
  return KSTRN_CloseSession(s) ? 0 : fail("close");
}

static int check(void) {
  KSTRN_SessionHandle s;
  uint32_t time = 0;
  char text[64];
  if (!KSTRN_OpenSession("out.kst", &s)) return fail("open out.kst");
  if (!KSTRN_OpenItem(2, 0, s) || !KSTRN_GetValue(1018, &time, s) || time != kTime)
    return fail("1018 of /2:0 after the save");
  if (!KSTRN_CloseItem(s) || !KSTRN_OpenItem(105, 0, s) ||
      KSTRN_ReadStringUTF8(2001, text, sizeof text, s) == 0 || !same(text, kText))
    return fail("2001 of /105:0 after the save");
  return KSTRN_CloseSession(s) ? 0 : fail("close");
}

static int run(void) {
  const char* version = KSTRN_GetEVersion();
  say("kestron4.dll ");
  say(version != 0 ? version : "(no version)");
  say("\n");
  if (edit() != 0 || check() != 0) return 1;
  say("opened in.kst, edited it, saved out.kst and read the edits back\n");
  return 0;
}

void mainCRTStartup(void) { ExitProcess(run()); }
