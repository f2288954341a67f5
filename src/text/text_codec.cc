#include "text/text_codec.h"

#include <cstdint>
#include <cstring>

namespace kestron4 {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

// Windows-1252 bytes 0x80..0x9F. The five bytes the code page leaves
// unassigned stand for the C1 control of the same number, so every byte
// survives a trip through UTF-16 and back.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98..9F
};

char16_t ByteToUnit(unsigned char byte) {
  return (byte >= 0x80 && byte < 0xA0) ? kHighControls[byte - 0x80] : char16_t{byte};
}

// The Windows-1252 byte for a BMP character, or '?'.
char UnitToByte(char16_t unit) {
  if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return static_cast<char>(unit);
  for (unsigned i = 0; i < 32; ++i) {
    if (kHighControls[i] == unit) return static_cast<char>(0x80 + i);
  }
  return '?';
}

// Number of leading bytes below 0x80, tested eight at a time.
std::size_t AsciiPrefix(const char* data, std::size_t size) {
  std::size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    uint64_t chunk;
    std::memcpy(&chunk, data + i, 8);
    if (chunk & 0x8080808080808080ULL) break;
  }
  while (i < size && static_cast<unsigned char>(data[i]) < 0x80) ++i;
  return i;
}

std::size_t AsciiPrefix16(const char16_t* data, std::size_t size) {
  std::size_t i = 0;
  for (; i + 4 <= size; i += 4) {
    uint64_t chunk;
    std::memcpy(&chunk, data + i, 8);
    if (chunk & 0xFF80FF80FF80FF80ULL) break;
  }
  while (i < size && data[i] < 0x80) ++i;
  return i;
}

bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Decodes one character starting at text[i] (which is not ASCII) and returns
// it, advancing i. An ill-formed sequence yields U+FFFD and consumes its
// longest valid prefix (at least one byte), so that a broken character never
// swallows the well-formed text after it.
char32_t DecodeUtf8(const unsigned char* text, std::size_t size, std::size_t& i) {
  const unsigned char lead = text[i];
  std::size_t length;
  unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // beyond U+10FFFF
  } else {
    ++i;
    return kReplacement;
  }
  char32_t code = lead & (0x7F >> length);
  std::size_t j = i + 1;
  for (std::size_t k = 1; k < length; ++k, ++j) {
    if (j >= size) break;
    const unsigned char byte = text[j];
    const unsigned char min = k == 1 ? low : 0x80;
    const unsigned char max = k == 1 ? high : 0xBF;
    if (byte < min || byte > max) break;
    code = (code << 6) | (byte & 0x3F);
  }
  const bool complete = j - i == length;
  i = j;
  return complete ? code : kReplacement;
}

// Appends the UTF-8 form of a scalar value; returns the new end.
char* EncodeUtf8(char32_t code, char* out) {
  if (code < 0x80) {
    *out++ = static_cast<char>(code);
  } else if (code < 0x800) {
    *out++ = static_cast<char>(0xC0 | (code >> 6));
    *out++ = static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (code >> 12));
    *out++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (code & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (code >> 18));
    *out++ = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (code & 0x3F));
  }
  return out;
}

}  // namespace

std::u16string Cp1252ToUtf16(std::string_view text) {
  std::u16string out(text.size(), u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    out[i] = ByteToUnit(static_cast<unsigned char>(text[i]));
  }
  return out;
}

std::string Utf16ToCp1252(std::u16string_view text) {
  std::string out(text.size(), '\0');
  std::size_t o = AsciiPrefix16(text.data(), text.size());
  for (std::size_t i = 0; i < o; ++i) out[i] = static_cast<char>(text[i]);
  for (std::size_t i = o; i < text.size(); ++i) {
    const char16_t unit = text[i];
    // A surrogate pair is one character, so it becomes one '?'.
    if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) ++i;
    out[o++] = UnitToByte(unit);
  }
  out.resize(o);
  return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out(text.size(), u'\0');
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  std::size_t i = 0, o = 0;
  while (i < text.size()) {
    const std::size_t ascii = AsciiPrefix(text.data() + i, text.size() - i);
    for (std::size_t k = 0; k < ascii; ++k) out[o++] = bytes[i + k];
    i += ascii;
    if (i == text.size()) break;
    const char32_t code = DecodeUtf8(bytes, text.size(), i);
    if (code >= 0x10000) {
      // Four input bytes give two units, so the output never outgrows the input.
      out[o++] = static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
      out[o++] = static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      out[o++] = static_cast<char16_t>(code);
    }
  }
  out.resize(o);
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  // Only what follows the ASCII prefix can grow (up to three bytes a unit).
  const std::size_t ascii = AsciiPrefix16(text.data(), text.size());
  std::string out(ascii + (text.size() - ascii) * 3, '\0');
  for (std::size_t i = 0; i < ascii; ++i) out[i] = static_cast<char>(text[i]);
  char* const begin = out.data();
  char* end = begin + ascii;
  for (std::size_t i = ascii; i < text.size(); ++i) {
    char32_t code = text[i];
    if (IsHighSurrogate(code) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (IsHighSurrogate(code) || IsLowSurrogate(code)) {
      code = kReplacement;
    }
    end = EncodeUtf8(code, end);
  }
  out.resize(static_cast<std::size_t>(end - begin));
  return out;
}

std::string Cp1252ToUtf8(std::string_view text) {
  const std::size_t ascii = AsciiPrefix(text.data(), text.size());
  std::string out(ascii + (text.size() - ascii) * 3, '\0');
  if (ascii != 0) std::memcpy(out.data(), text.data(), ascii);
  char* const begin = out.data();
  char* end = begin + ascii;
  for (std::size_t i = ascii; i < text.size(); ++i) {
    end = EncodeUtf8(ByteToUnit(static_cast<unsigned char>(text[i])), end);
  }
  out.resize(static_cast<std::size_t>(end - begin));
  return out;
}

std::size_t U16Length(const char16_t* text) {
  std::size_t length = 0;
  while (text[length] != u'\0') ++length;
  return length;
}

}  // namespace kestron4
