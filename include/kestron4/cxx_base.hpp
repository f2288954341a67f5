// The pieces every part of the C++ layer shares: the exception, the library's
// error texts, byte views, and the checks of TIDs and text it makes before a
// call reaches the library. Include kestron4/kestron4.hpp rather than this.
#ifndef KESTRON4_CXX_BASE_HPP_
#define KESTRON4_CXX_BASE_HPP_

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "kestron4/kestron4.h"

namespace kstrn {

namespace detail {

// This layer's UTF-16 is char16_t; the C interface's unit is char16_t, or
// wchar_t on Windows, both of 16 bits. Units() hands text from one to the
// other (and char text through unchanged).
static_assert(sizeof(KSTRN_WChar) == sizeof(char16_t), "UTF-16 units are 16 bits");
inline const char* Units(const char* text) { return text; }
inline char* Units(char* text) { return text; }
inline const KSTRN_WChar* Units(const char16_t* text) {
  return reinterpret_cast<const KSTRN_WChar*>(text);
}
inline KSTRN_WChar* Units(char16_t* text) { return reinterpret_cast<KSTRN_WChar*>(text); }

}  // namespace detail

class Error : public std::runtime_error {
 public:
  Error(uint32_t code, const std::string& message) : std::runtime_error(message), code_(code) {}
  // The library's error code; 0 when the check that failed is this layer's.
  uint32_t code() const noexcept { return code_; }

 private:
  uint32_t code_;
};

// The text KSTRN_GetLastEEStr gives for code, for the calls that return a
// code without storing it in the last-error cell. The messages are the
// library's own, word for word (callers compare them).
inline std::string ErrorText(uint32_t code) {
  static constexpr const char* kMessages[] = {
      "No error",
      "Error accessing file",
      "File type is not recognised",
      "No default session has been specified",
      "Session number is invalid",
      "The specified type could not been found",
      "Cannot seek past end of item block",
      "The specified value could not be found",
      "Cannot seek before first item block",
      "The specified file does not exist",
      "This item block referred to could not be found",
      "The specified reference does not exist",
      "The specified count is invalid",
      "The bookmark does not exist",
      "Cannot export to the specified file type",
      "A rate is out of range for the current logger",
      "The size of the data could not be determined",
      "The specified type is not a data logger",
      "An error occurred calculating the record table",
      "Rates faster than 100Hz not supported with flash cards",
  };
  const char* message = code < std::size(kMessages) ? kMessages[code] : "Unknown error";
  return "Kestron Error " + std::to_string(static_cast<int32_t>(code)) + ": " + message;
}

// The calling thread's last error as the library stored it.
inline Error LastError() { return Error(KSTRN_GetLastEE(), KSTRN_GetLastEEStr()); }

// A read-only run of bytes owned by someone else.
class ByteView {
 public:
  constexpr ByteView() noexcept = default;
  constexpr ByteView(const void* data, std::size_t size) noexcept : data_(data), size_(size) {}
  constexpr ByteView(std::string_view bytes) noexcept : data_(bytes.data()), size_(bytes.size()) {}
  ByteView(const char* text) noexcept : ByteView(std::string_view(text)) {}
  ByteView(const std::string& bytes) noexcept : data_(bytes.data()), size_(bytes.size()) {}
  ByteView(const std::vector<uint8_t>& bytes) noexcept : data_(bytes.data()), size_(bytes.size()) {}
  ByteView(const std::vector<char>& bytes) noexcept : data_(bytes.data()), size_(bytes.size()) {}

  const uint8_t* data() const noexcept { return static_cast<const uint8_t*>(data_); }
  std::size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }

 private:
  const void* data_ = nullptr;
  std::size_t size_ = 0;
};

namespace detail {

[[noreturn]] inline void ThrowLastError() { throw LastError(); }

inline void Check(bool ok) {
  if (!ok) ThrowLastError();
}

[[noreturn]] inline void ThrowUncoded(const std::string& what) { throw Error(0, what); }

[[noreturn]] inline void ThrowCode(uint32_t code) { throw Error(code, ErrorText(code)); }

// Decodes strict UTF-8 (no overlong forms, surrogates or NULs) and hands
// each code point to emit; false at the first ill-formed byte.
template <typename Emit>
bool DecodeUtf8(std::string_view utf8, Emit&& emit) {
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  const auto* end = p + utf8.size();
  while (p < end) {
    uint32_t c = *p++;
    const int more = c < 0x80           ? 0
                     : (c >> 5) == 0x6  ? 1
                     : (c >> 4) == 0xE  ? 2
                     : (c >> 3) == 0x1E ? 3
                                        : -1;
    if (more < 0 || end - p < more) return false;
    if (more > 0) c &= 0x3Fu >> more;
    for (int i = 0; i < more; ++i, ++p) {
      if ((*p & 0xC0) != 0x80) return false;
      c = (c << 6) | (*p & 0x3F);
    }
    static constexpr uint32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
    if (c == 0 || c < kMinimum[more] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    emit(c);
  }
  return true;
}

// Strict UTF-8 to UTF-16; refuses what the library would turn into U+FFFD,
// because a path changed that way names another file.
inline std::u16string Utf16Path(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  const bool ok = DecodeUtf8(utf8, [&](uint32_t c) {
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  });
  if (!ok) ThrowUncoded("path is not valid UTF-8");
  return out;
}

inline bool IsStringTid(uint16_t tid) {
  return KSTRN_IsVariableSize(tid) || KSTRN_IsLongVariableSize(tid);
}

inline constexpr uint16_t kTidData = 1063;
inline constexpr uint16_t kTidDataSize = 1066;

// What tid holds, for messages: "value 10001 (a 4-byte number)".
inline std::string Describe(uint16_t tid) {
  const std::string id = std::to_string(tid);
  if (tid == 0) return "TID 0 (names nothing)";
  if (!KSTRN_IsValueID(tid)) return "TID " + id + " (an item, not a value)";
  if (tid == kTidData) return "value 1063 (the blob)";
  if (tid == kTidDataSize) return "value 1066 (the blob's length)";
  if (KSTRN_IsLongVariableSize(tid)) return "value " + id + " (text or bytes, up to 65535)";
  if (KSTRN_IsVariableSize(tid)) return "value " + id + " (text or bytes, up to 255)";
  const uint32_t size = KSTRN_ValSize(tid, 0);
  if (size == 0) return "value " + id + " (no layout: always empty)";
  return "value " + id + " (a " + std::to_string(size) + "-byte number)";
}

// Refuses what is not a fixed-size value of width bytes: items, strings,
// the blob.
inline void RequireFixed(uint16_t tid, std::size_t width) {
  if (!KSTRN_IsValueID(tid) || IsStringTid(tid) || tid == kTidData) {
    ThrowUncoded(Describe(tid) + " does not hold a number");
  }
  if (KSTRN_ValSize(tid, 0) != width) {
    ThrowUncoded(Describe(tid) + " does not hold " + std::to_string(width) + " bytes");
  }
}

inline void RequireString(uint16_t tid) {
  if (!IsStringTid(tid)) ThrowUncoded(Describe(tid) + " does not hold text");
}

}  // namespace detail

inline constexpr uint16_t kTidData = detail::kTidData;
inline constexpr uint16_t kTidDataSize = detail::kTidDataSize;

}  // namespace kstrn

#endif  // KESTRON4_CXX_BASE_HPP_
