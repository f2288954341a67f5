// Text values. A text is a string payload ending in a NUL; UTF-8 text carries
// the byte 3 right after its NUL, unmarked text is in the 8-bit code page.
#include <algorithm>
#include <cstring>
#include <string>

#include "session/last_error.h"
#include "session/session_core.h"
#include "text/text_codec.h"

namespace kestron4 {
namespace {

constexpr uint8_t kUtf8Mark = 3;
constexpr std::size_t kShortTextLimit = 253;
constexpr std::size_t kLongTextLimit = 65533;

// Length of the text before its NUL (the whole payload if it has none).
std::size_t TextLength(const std::vector<uint8_t>& payload, std::size_t n) {
  const void* nul = std::memchr(payload.data(), 0, n);
  return nul == nullptr ? n : static_cast<const uint8_t*>(nul) - payload.data();
}

}  // namespace

bool SessionCore::LoadText(Tid tid, bool* marked) {
  // Only the bytes the value holds: the size value of a blob may claim up to
  // 4 GiB, and a damaged length prefix more than is stored.
  const Value* value = current_ != nullptr ? FindValue(current_, tid) : nullptr;
  if (value == nullptr || !ReadPayload(current_, *value, &text8_)) return false;
  const std::size_t n = text8_.size();
  if (n == 0) return false;
  const std::size_t k = TextLength(text8_, n);
  *marked = k + 1 < n && text8_[k + 1] == kUtf8Mark;
  return true;
}

uint32_t SessionCore::ReadStringUTF8(Tid tid, char* buffer, uint32_t size) {
  bool marked = false;
  if (!LoadText(tid, &marked)) return 0;
  const std::size_t k = TextLength(text8_, text8_.size());
  std::string converted;
  std::string_view result;
  if (marked) {
    result = std::string_view(reinterpret_cast<const char*>(text8_.data()), k + 1);
  } else {
    converted = Cp1252ToUtf8(std::string_view(reinterpret_cast<const char*>(text8_.data()), k));
    converted.push_back('\0');
    result = converted;
  }
  if (result.size() > size) return 0;
  std::memcpy(buffer, result.data(), result.size());
  return static_cast<uint32_t>(result.size());
}

uint32_t SessionCore::ReadStringUTF16(Tid tid, char16_t* buffer, uint32_t size) {
  bool marked = false;
  if (!LoadText(tid, &marked)) return 0;
  const std::string_view text(reinterpret_cast<const char*>(text8_.data()),
                              TextLength(text8_, text8_.size()));
  text16_ = marked ? Utf8ToUtf16(text) : Cp1252ToUtf16(text);
  text16_.push_back(u'\0');
  if (text16_.size() > size) return 0;
  std::memcpy(buffer, text16_.data(), text16_.size() * sizeof(char16_t));
  return static_cast<uint32_t>(text16_.size());
}

uint32_t SessionCore::GetBufferLenUTF8(Tid tid) {
  bool marked = false;
  if (!LoadText(tid, &marked)) return 0;
  const std::size_t k = TextLength(text8_, text8_.size());
  if (marked) return static_cast<uint32_t>(k + 1);
  return static_cast<uint32_t>(
      Cp1252ToUtf8(std::string_view(reinterpret_cast<const char*>(text8_.data()), k)).size() + 1);
}

// An upper bound on what ReadStringUTF16 writes.
uint32_t SessionCore::GetBufferLenUTF16(Tid tid) {
  bool marked = false;
  if (!LoadText(tid, &marked)) return 0;
  const char* bytes = reinterpret_cast<const char*>(text8_.data());
  if (marked) {
    const std::size_t units = Utf8ToUtf16(std::string_view(bytes, text8_.size())).size();
    return units == 0 ? 0 : static_cast<uint32_t>(units + 1);
  }
  const std::size_t k = TextLength(text8_, text8_.size());
  return static_cast<uint32_t>(Cp1252ToUtf8(std::string_view(bytes, k)).size() + 1 + 1);
}

bool SessionCore::InsertMarkedText(Tid tid, const char* text, std::size_t length) {
  TreeEdited();
  bool cut = false;
  if (IsVariableSize(tid) && length > kShortTextLimit) {
    length = kShortTextLimit;
    cut = true;
  } else if (IsLongVariableSize(tid) && length > kLongTextLimit) {
    length = kLongTextLimit;
    cut = true;
  }
  // A TID of a fixed size takes that many bytes whatever the text's length:
  // the text is padded with zeros rather than followed by whatever memory
  // comes after it.
  const std::size_t room = std::max<std::size_t>(length + 2, ValSize(tid, 0));
  convert_.resize(room);
  if (length != 0) std::memmove(convert_.data(), text, length);
  convert_[length] = 0;
  convert_[length + 1] = kUtf8Mark;
  std::fill(convert_.begin() + static_cast<std::ptrdiff_t>(length + 2), convert_.end(), 0);
  const bool inserted = InsertValueS(tid, convert_.data(), static_cast<uint32_t>(length + 2));
  if (inserted && cut) {
    SetLastError(ErrDataSize);
    return false;
  }
  return inserted;
}

bool SessionCore::InsertStringUTF8(Tid tid, const char* text) {
  if (text == nullptr) text = "";
  return InsertMarkedText(tid, text, std::strlen(text));
}

bool SessionCore::InsertStringUTF16(Tid tid, const char16_t* text) {
  const std::string utf8 =
      text == nullptr ? std::string() : Utf16ToUtf8(std::u16string_view(text, U16Length(text)));
  return InsertMarkedText(tid, utf8.data(), utf8.size());
}

}  // namespace kestron4
