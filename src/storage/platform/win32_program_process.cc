#include <windows.h>
// After windows.h, which they need.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "storage/platform/program_process.h"
#include "storage/platform/win32_text.h"

namespace kestron4 {
namespace {

void (*g_cleanup)() = nullptr;

// Runs on a thread of its own; returning FALSE lets the next handler (the
// default one ends the process) do what it would have done.
BOOL WINAPI OnControl(DWORD) {
  if (g_cleanup != nullptr) g_cleanup();
  return FALSE;
}

DWORD Which(StandardStream stream) {
  switch (stream) {
    case StandardStream::kInput:
      return STD_INPUT_HANDLE;
    case StandardStream::kOutput:
      return STD_OUTPUT_HANDLE;
    case StandardStream::kError:
      break;
  }
  return STD_ERROR_HANDLE;
}

}  // namespace

std::vector<std::string> StartProgram(int argc, char** argv) {
  SetConsoleOutputCP(CP_UTF8);
  for (const DWORD which : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
    const HANDLE console = GetStdHandle(which);
    DWORD mode = 0;
    if (GetConsoleMode(console, &mode))
      SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
  }
  for (FILE* stream : {stdin, stdout, stderr}) _setmode(_fileno(stream), _O_BINARY);

  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return {argv, argv + argc};
  std::vector<std::string> args;
  for (int i = 0; i < count; ++i) args.push_back(Utf8Path(wide[i]));
  LocalFree(wide);
  return args;
}

std::string ProgramPath() {
  std::vector<wchar_t> buffer(MAX_PATH + 1);
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return Utf8Path(std::wstring(buffer.data(), length));
    buffer.resize(buffer.size() * 2);
  }
}

NativeFile StandardFile(StandardStream stream) {
  const HANDLE handle = GetStdHandle(Which(stream));
  return handle == nullptr || handle == INVALID_HANDLE_VALUE ? kNoFile
                                                             : reinterpret_cast<NativeFile>(handle);
}

bool IsTerminal(StandardStream stream) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(Which(stream)), &mode) != 0;
}

std::size_t TerminalColumns(StandardStream stream) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(GetStdHandle(Which(stream)), &info)) return 0;
  return static_cast<std::size_t>(info.srWindow.Right - info.srWindow.Left + 1);
}

std::string LastSystemError() {
  const DWORD error = GetLastError();
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = length != 0 ? std::wstring(text, length) : std::wstring();
  LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                              message.back() == L'.' || message.back() == L' '))
    message.pop_back();
  return message.empty() ? "system error " + std::to_string(error) : Utf8Path(message);
}

void OnInterrupt(void (*cleanup)()) {
  g_cleanup = cleanup;
  SetConsoleCtrlHandler(OnControl, TRUE);
}

void RemoveAtInterrupt(const char* path) {
  const std::wstring wide = WidePath(path);
  if (!wide.empty()) DeleteFileW(wide.c_str());
}

}  // namespace kestron4
