// UTF-8 and UTF-16 paths for the wide Win32 calls. Windows only.
#pragma once

#include <windows.h>

#include <string>

namespace kestron4 {

// UTF-16 for a path given as UTF-8; a path that is not valid UTF-8 is read
// in the ANSI code page. Empty when neither works.
inline std::wstring WidePath(const std::string& path) {
  for (const UINT page : {static_cast<UINT>(CP_UTF8), static_cast<UINT>(CP_ACP)}) {
    const DWORD strict = page == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
    const int length = MultiByteToWideChar(page, strict, path.data(),
                                           static_cast<int>(path.size()), nullptr, 0);
    if (length <= 0) continue;
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(page, strict, path.data(), static_cast<int>(path.size()), wide.data(),
                        length);
    return wide;
  }
  return {};
}

inline std::string Utf8Path(const std::wstring& path) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, path.data(), static_cast<int>(path.size()),
                                         nullptr, 0, nullptr, nullptr);
  if (length <= 0) return {};
  std::string text(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), text.data(), length,
                      nullptr, nullptr);
  return text;
}

}  // namespace kestron4
