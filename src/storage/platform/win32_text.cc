#include "storage/platform/win32_text.h"

#include <windows.h>

#include <vector>

namespace kestron4 {
namespace {

std::wstring Widen(UINT page, const std::string& text) {
  if (text.empty()) return {};
  const int length = MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, text.data(),
                                         static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                      wide.data(), length);
  return wide;
}

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
  return text.rfind(prefix, 0) == 0;
}

}  // namespace

std::wstring WidePath(const std::string& path) {
  std::wstring wide = Widen(CP_UTF8, path);
  if (wide.empty() || wide.find(L'\0') != std::wstring::npos) return {};
  // A path that PathOf handed out, or a caller's: back to the drive-letter or
  // share form, so that "/", "." and ".." in it are resolved like any other.
  if (StartsWith(wide, L"\\\\?\\UNC\\")) {
    wide = L"\\\\" + wide.substr(8);
  } else if (StartsWith(wide, L"\\\\?\\") && wide.size() >= 6 && wide[5] == L':') {
    wide = wide.substr(4);
  } else if (StartsWith(wide, L"\\\\?\\") || StartsWith(wide, L"\\??\\")) {
    return wide;  // a volume GUID or an NT path: the system's own spelling
  }
  std::vector<wchar_t> full(wide.size() + MAX_PATH);
  for (;;) {
    const DWORD length =
        GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return {};
    if (length < full.size()) {
      wide.assign(full.data(), length);
      break;
    }
    full.resize(length + 1);
  }
  if (StartsWith(wide, L"\\\\.\\") || StartsWith(wide, L"\\\\?\\")) return wide;
  if (StartsWith(wide, L"\\\\")) return L"\\\\?\\UNC\\" + wide.substr(2);
  return L"\\\\?\\" + wide;
}

std::string Utf8Path(const std::wstring& path) {
  if (path.empty()) return {};
  const int length = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, path.data(),
                                         static_cast<int>(path.size()), nullptr, 0, nullptr,
                                         nullptr);
  if (length <= 0) return {};
  std::string text(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, path.data(), static_cast<int>(path.size()),
                      text.data(), length, nullptr, nullptr);
  return text;
}

std::string AnsiToUtf8(const std::string& text) { return Utf8Path(Widen(CP_ACP, text)); }

}  // namespace kestron4
