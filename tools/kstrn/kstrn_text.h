// Byte and text encodings of the tool: hex, base64, UTF-8 checks, the
// Windows-1252 code page of unmarked text, and escaping for JSON and for the
// terminal. Nothing here knows about sessions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kstrn::tool {

std::string Hex(const uint8_t* data, std::size_t size);
// Lowercase or uppercase pairs; nothing for odd lengths or other characters.
std::optional<std::vector<uint8_t>> FromHex(std::string_view text);

// Standard alphabet with padding. Encoding in pieces: every piece but the
// last must be a multiple of 3 bytes long.
std::string Base64(const uint8_t* data, std::size_t size);
// Refuses anything but canonical padded base64 (no spaces, no line breaks),
// so that every accepted text names exactly one byte string.
std::optional<std::vector<uint8_t>> FromBase64(std::string_view text);

bool IsValidUtf8(std::string_view text);
// The text with every byte that is not part of well-formed UTF-8 replaced by
// U+FFFD (for names such as paths, which Linux keeps as bytes).
std::string ToValidUtf8(std::string_view text);

// Windows-1252, every byte mapped (the five unassigned ones to the C1
// controls of the same number), so decoding and encoding are exact inverses.
std::string Cp1252ToUtf8(std::string_view bytes);
// Nothing when the text holds a character the code page lacks.
std::optional<std::string> Utf8ToCp1252(std::string_view utf8);

// A JSON string literal, quotes included; the text must be valid UTF-8.
std::string JsonString(std::string_view utf8);
// The text for a terminal: quotes, backslashes, controls and bytes that are
// not UTF-8 escaped.
std::string DisplayString(std::string_view text);

}  // namespace kstrn::tool
