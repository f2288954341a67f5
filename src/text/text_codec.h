// Every text conversion of the library. The 8-bit code page is Windows-1252
// (the five unassigned bytes map to the C1 controls of the same number and
// back); characters it cannot hold become '?'. Ill-formed UTF-8 and unpaired
// surrogates become U+FFFD. Inputs are counted, not NUL-terminated; outputs
// carry no terminator unless the input had one.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kestron4 {

std::u16string Cp1252ToUtf16(std::string_view text);
std::string Utf16ToCp1252(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// Convenience compositions.
std::string Cp1252ToUtf8(std::string_view text);

// Length of a NUL-terminated UTF-16 string.
std::size_t U16Length(const char16_t* text);

}  // namespace kestron4
