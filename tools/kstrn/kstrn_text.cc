#include "kstrn_text.h"

#include <array>

namespace kstrn::tool {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";
constexpr char kBase64Digits[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Code points of the bytes 0x80..0x9F.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

void AppendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// Length of the well-formed UTF-8 sequence at text[i], or 0.
std::size_t SequenceLength(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<uint8_t>(text[k]); };
  const uint8_t b = byte(i);
  if (b < 0x80) return 1;
  std::size_t n = 0;
  uint32_t c = 0;
  if ((b & 0xE0) == 0xC0) {
    n = 2;
    c = b & 0x1F;
  } else if ((b & 0xF0) == 0xE0) {
    n = 3;
    c = b & 0x0F;
  } else if ((b & 0xF8) == 0xF0) {
    n = 4;
    c = b & 0x07;
  } else {
    return 0;
  }
  if (text.size() - i < n) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    c = (c << 6) | (byte(i + k) & 0x3F);
  }
  static constexpr uint32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kMinimum[n] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  return n;
}

uint32_t DecodeAt(std::string_view text, std::size_t i, std::size_t n) {
  const auto b = [&](std::size_t k) { return static_cast<uint32_t>(static_cast<uint8_t>(text[k])); };
  switch (n) {
    case 1: return b(i);
    case 2: return (b(i) & 0x1F) << 6 | (b(i + 1) & 0x3F);
    case 3: return (b(i) & 0x0F) << 12 | (b(i + 1) & 0x3F) << 6 | (b(i + 2) & 0x3F);
    default:
      return (b(i) & 0x07) << 18 | (b(i + 1) & 0x3F) << 12 | (b(i + 2) & 0x3F) << 6 |
             (b(i + 3) & 0x3F);
  }
}

}  // namespace

std::string Hex(const uint8_t* data, std::size_t size) {
  std::string out(size * 2, '0');
  for (std::size_t i = 0; i < size; ++i) {
    out[2 * i] = kHexDigits[data[i] >> 4];
    out[2 * i + 1] = kHexDigits[data[i] & 15];
  }
  return out;
}

std::optional<std::vector<uint8_t>> FromHex(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::vector<uint8_t> out(text.size() / 2);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const int high = HexValue(text[2 * i]);
    const int low = HexValue(text[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    out[i] = static_cast<uint8_t>(high << 4 | low);
  }
  return out;
}

std::string Base64(const uint8_t* data, std::size_t size) {
  std::string out;
  out.reserve((size + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= size; i += 3) {
    const uint32_t v = uint32_t{data[i]} << 16 | uint32_t{data[i + 1]} << 8 | data[i + 2];
    for (int shift = 18; shift >= 0; shift -= 6) out.push_back(kBase64Digits[(v >> shift) & 63]);
  }
  if (i < size) {
    const bool two = size - i == 2;
    const uint32_t v = uint32_t{data[i]} << 16 | (two ? uint32_t{data[i + 1]} << 8 : 0);
    out.push_back(kBase64Digits[v >> 18]);
    out.push_back(kBase64Digits[(v >> 12) & 63]);
    out.push_back(two ? kBase64Digits[(v >> 6) & 63] : '=');
    out.push_back('=');
  }
  return out;
}

std::optional<std::vector<uint8_t>> FromBase64(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::vector<uint8_t> out;
  out.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    const std::size_t pad = !last ? 0 : text[i + 3] != '=' ? 0 : text[i + 2] != '=' ? 1 : 2;
    uint32_t v = 0;
    for (std::size_t k = 0; k < 4 - pad; ++k) {
      const int d = Base64Value(text[i + k]);
      if (d < 0) return std::nullopt;
      v |= static_cast<uint32_t>(d) << (18 - 6 * k);
    }
    // Bits that the padding drops must be zero, or two texts would give the
    // same bytes.
    if ((pad == 1 && (v & 0xFF) != 0) || (pad == 2 && (v & 0xFFFF) != 0)) return std::nullopt;
    out.push_back(static_cast<uint8_t>(v >> 16));
    if (pad < 2) out.push_back(static_cast<uint8_t>(v >> 8));
    if (pad < 1) out.push_back(static_cast<uint8_t>(v));
  }
  return out;
}

bool IsValidUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = SequenceLength(text, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::string ToValidUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = SequenceLength(text, i);
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
    } else {
      out.append(text.substr(i, n));
      i += n;
    }
  }
  return out;
}

std::string Cp1252ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (const char ch : bytes) {
    const uint8_t b = static_cast<uint8_t>(ch);
    AppendUtf8(out, b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : b);
  }
  return out;
}

std::optional<std::string> Utf8ToCp1252(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const std::size_t n = SequenceLength(utf8, i);
    if (n == 0) return std::nullopt;
    const uint32_t c = DecodeAt(utf8, i, n);
    i += n;
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    std::size_t k = 0;
    while (k < kCp1252High.size() && kCp1252High[k] != c) ++k;
    if (k == kCp1252High.size()) return std::nullopt;
    out.push_back(static_cast<char>(0x80 + k));
  }
  return out;
}

std::string JsonString(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() + 2);
  out.push_back('"');
  for (const char ch : utf8) {
    const uint8_t c = static_cast<uint8_t>(ch);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          out += "\\u00";
          out.push_back(kHexDigits[c >> 4]);
          out.push_back(kHexDigits[c & 15]);
        } else {
          out.push_back(ch);
        }
    }
  }
  out.push_back('"');
  return out;
}

std::string DisplayString(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const uint8_t c = static_cast<uint8_t>(text[i]);
    const std::size_t n = SequenceLength(text, i);
    if (n > 1) {
      out.append(text.substr(i, n));
      i += n;
      continue;
    }
    ++i;
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(static_cast<char>(c));
    } else if (n == 1 && c >= 0x20 && c != 0x7F) {
      out.push_back(static_cast<char>(c));
    } else {
      out += "\\x";
      out.push_back(kHexDigits[c >> 4]);
      out.push_back(kHexDigits[c & 15]);
    }
  }
  return out;
}

}  // namespace kstrn::tool
