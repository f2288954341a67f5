// UTF-8 and UTF-16 paths for the wide Win32 calls. Windows only (but free of
// <windows.h>, whose macros would rename the library's DeleteFile).
#pragma once

#include <string>

namespace kestron4 {

// The UTF-16 form in which a UTF-8 path reaches the system: made absolute
// (GetFullPathNameW, against the current folder) and written with the
// prefix \\?\ (\\?\UNC\ for a share), which lifts the 260-character limit without
// the process's long-path opt-in. A path already in that form is normalised
// again the same way; device paths (\\.\pipe\x, NUL, COM1) stay as the
// system names them. Empty when the path is not valid UTF-8 or holds a NUL.
std::wstring WidePath(const std::string& path);

// UTF-8 for UTF-16 text from the system; empty when it holds an unpaired
// surrogate, which no UTF-8 text can carry.
std::string Utf8Path(const std::wstring& path);

// UTF-8 for text in the ANSI code page (what CreateFileA would make of the
// same bytes); empty when the bytes are not text in that code page.
std::string AnsiToUtf8(const std::string& text);

}  // namespace kestron4
