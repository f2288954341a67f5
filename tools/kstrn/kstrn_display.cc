#include "kstrn_display.h"

#include <cstring>

#include "kstrn_failure.h"
#include "kstrn_names.h"
#include "kstrn_text.h"

namespace kstrn::tool {
namespace {

// Width in bytes of a number form; 0 for the others.
std::size_t Width(const std::string& form) {
  if (form == "u8" || form == "i8") return 1;
  if (form == "u16" || form == "i16") return 2;
  if (form == "u32" || form == "i32" || form == "f32") return 4;
  if (form == "u64" || form == "i64" || form == "f64") return 8;
  return 0;
}

std::string Element(const uint8_t* bytes, std::size_t width, char kind) {
  uint64_t bits = 0;
  for (std::size_t i = width; i-- > 0;) bits = bits << 8 | bytes[i];
  if (kind == 'f') {
    if (width == 4) {
      float f = 0;
      const auto narrow = static_cast<uint32_t>(bits);
      std::memcpy(&f, &narrow, sizeof f);
      return FormatReal(f);
    }
    double d = 0;
    std::memcpy(&d, &bits, sizeof d);
    return FormatReal(d);
  }
  if (kind == 'i' && width < 8 && (bits >> (8 * width - 1)) != 0) {
    bits |= ~uint64_t{0} << (8 * width);  // sign-extend
  }
  return kind == 'i' ? std::to_string(static_cast<int64_t>(bits)) : std::to_string(bits);
}

std::string Utf16Text(const std::vector<uint8_t>& payload) {
  std::u16string units;
  for (std::size_t i = 0; i + 1 < payload.size(); i += 2) {
    const char16_t unit = static_cast<char16_t>(payload[i] | payload[i + 1] << 8);
    if (unit == 0) break;
    units.push_back(unit);
  }
  std::string out;
  for (std::size_t i = 0; i < units.size(); ++i) {
    uint32_t c = units[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | c >> 12);
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | c >> 18);
      out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace

std::string DefaultForm(uint16_t tid) {
  const std::string named = Names().Display(tid);
  if (named != "-") return named;
  switch (KSTRN_ValType(tid)) {
    case 1:
    case 2:
      return "u8";
    case 3:
      return "u16";
    case 4:
      return KSTRN_IsVariableSize(tid) ? "text" : "u32";
    case 5:
    case 6:
      return "u64";
    case 7:
    case 8:
      return "text";
    case 9:
      return "blob";
    default:
      return "hex";
  }
}

std::string FormatAs(const std::vector<uint8_t>& payload, const std::string& form,
                     const ValueInfo& value) {
  if (const std::size_t width = Width(form)) {
    if (payload.empty() || payload.size() % width != 0) {
      throw Failure("value " + std::to_string(value.tid) + " holds " +
                    std::to_string(payload.size()) + " byte(s), not a whole number of " + form +
                    " (" + std::to_string(width) + " byte(s) each)");
    }
    std::string out;
    for (std::size_t i = 0; i < payload.size(); i += width) {
      if (i != 0) out += ' ';
      out += Element(payload.data() + i, width, form[0]);
    }
    return out;
  }
  if (form == "text") {
    const TextForm text = ClassifyText(payload);
    // Bytes that are not one of the library's texts are shown as they are.
    if (text == TextForm::kNotText) return Hex(payload.data(), payload.size());
    return TextOf(payload, text);
  }
  if (form == "utf8") {
    std::string raw(payload.begin(), payload.end());
    const std::size_t nul = raw.find('\0');
    return ToValidUtf8(raw.substr(0, nul));
  }
  if (form == "utf16") return Utf16Text(payload);
  if (form == "hex" || form == "blob") return Hex(payload.data(), payload.size());
  throw Failure("cannot show a value as '" + form +
                "' (u8 i8 u16 i16 u32 i32 u64 i64 f32 f64 text utf8 utf16 hex)");
}

}  // namespace kstrn::tool
