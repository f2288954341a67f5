#include "kstrn_value.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "kstrn_text.h"

namespace kstrn::tool {

Layout LayoutOf(uint16_t tid) {
  if (KSTRN_IsVariableSize(tid)) return Layout::kString;
  if (KSTRN_IsLongVariableSize(tid)) return Layout::kLongString;
  if (tid == kTidData) return Layout::kData;
  return KSTRN_ValSize(tid, 0) != 0 ? Layout::kFixed : Layout::kNone;
}

const char* LayoutName(Layout layout) {
  switch (layout) {
    case Layout::kFixed:
      return "fixed";
    case Layout::kString:
      return "string";
    case Layout::kLongString:
      return "long-string";
    case Layout::kData:
      return "data";
    case Layout::kNone:
      break;
  }
  return "empty";
}

uint32_t PrefixBytes(Layout layout) {
  return layout == Layout::kString ? 1 : layout == Layout::kLongString ? 2 : 0;
}

ValueInfo DescribeValue(const Session& session, uint16_t tid) {
  ValueInfo v;
  v.tid = tid;
  v.layout = LayoutOf(tid);
  v.handle = session.FindValue(tid);
  if (v.handle == nullptr) throw Error(KSTRN_ErrValueNotFound, "no value " + std::to_string(tid));
  // The expected size makes the size probe cheap; the probe has the last word.
  uint32_t guess = 0;
  const uint32_t prefix = PrefixBytes(v.layout);
  uint8_t length[2] = {0, 0};
  bool havePrefix = false;
  if (prefix != 0) {
    havePrefix = KSTRN_ReadValue(v.handle, 0, length, prefix, session.handle());
    guess = prefix + length[0] + (prefix == 2 ? uint32_t{length[1]} << 8 : 0);
  } else if (v.layout == Layout::kFixed) {
    guess = KSTRN_ValSize(tid, 0);
  } else if (v.layout == Layout::kData) {
    uint32_t size = 0;
    if (KSTRN_GetValSize(tid, &size, session.handle())) guess = size;
  }
  v.stored = session.StoredSize(v.handle, guess);
  v.payload = v.stored >= prefix ? v.stored - prefix : 0;
  v.prefixMismatch = prefix != 0 && (!havePrefix || v.stored != guess);
  return v;
}

std::vector<uint8_t> ReadPayload(const Session& session, const ValueInfo& value, uint32_t limit) {
  std::vector<uint8_t> bytes(std::min(value.payload, limit));
  if (!bytes.empty()) {
    session.ReadStored(value.handle, value.stored - value.payload, bytes.data(),
                       static_cast<uint32_t>(bytes.size()));
  }
  return bytes;
}

TextForm ClassifyText(const std::vector<uint8_t>& payload) {
  const auto nul = std::find(payload.begin(), payload.end(), uint8_t{0});
  if (nul == payload.end()) return TextForm::kNotText;
  const std::size_t k = static_cast<std::size_t>(nul - payload.begin());
  if (payload.size() == k + 1) return TextForm::kAnsi;
  if (payload.size() == k + 2 && payload[k + 1] == 3) return TextForm::kUtf8;
  return TextForm::kNotText;
}

std::string TextOf(const std::vector<uint8_t>& payload, TextForm form) {
  const std::string_view raw(
      reinterpret_cast<const char*>(payload.data()),
      std::find(payload.begin(), payload.end(), uint8_t{0}) - payload.begin());
  return form == TextForm::kAnsi ? Cp1252ToUtf8(raw) : std::string(raw);
}

std::optional<uint64_t> NumberOf(const ValueInfo& value, const std::vector<uint8_t>& payload) {
  const std::size_t n = payload.size();
  if (value.layout != Layout::kFixed || n != value.stored ||
      (n != 1 && n != 2 && n != 4 && n != 8)) {
    return std::nullopt;
  }
  uint64_t number = 0;
  for (std::size_t i = n; i-- > 0;) number = number << 8 | payload[i];
  return number;
}

Rendering RenderValue(const Session& session, const ValueInfo& value, uint32_t previewBytes) {
  Rendering r;
  const bool stringKind = value.layout == Layout::kString || value.layout == Layout::kLongString;
  // Strings are read whole (at most 64 KiB) to tell text from bytes, fixed
  // values (at most 8 bytes) to show their number.
  const bool whole = stringKind || value.layout == Layout::kFixed;
  std::vector<uint8_t> payload = ReadPayload(session, value, whole ? UINT32_MAX : previewBytes);
  if (stringKind && !value.prefixMismatch) {
    const TextForm form = ClassifyText(payload);
    // Marked text that is not UTF-8 is shown as the bytes it is.
    if (form != TextForm::kNotText &&
        (form == TextForm::kAnsi || IsValidUtf8(TextOf(payload, form)))) {
      r.text = TextOf(payload, form);
      r.encoding = form == TextForm::kUtf8 ? "utf8" : "ansi";
      return r;
    }
  }
  if (auto number = NumberOf(value, payload)) {
    r.number = number;
    r.real = OrdinaryDouble(payload);
    return r;
  }
  // Fixed values are a few bytes: always shown whole.
  const uint32_t shown = value.layout == Layout::kFixed ? value.payload : previewBytes;
  r.truncated = value.payload > shown;
  if (payload.size() > shown) payload.resize(shown);
  r.bytes = std::move(payload);
  return r;
}

std::optional<double> OrdinaryDouble(const std::vector<uint8_t>& payload) {
  double real = 0;
  if (payload.size() != sizeof real) return std::nullopt;
  std::memcpy(&real, payload.data(), sizeof real);
  if (!std::isfinite(real) || std::fabs(real) < 1e-9 || std::fabs(real) > 1e15) return std::nullopt;
  return real;
}

std::string FormatReal(double real) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, real);
  return std::string(text, result.ptr);
}

}  // namespace kstrn::tool
