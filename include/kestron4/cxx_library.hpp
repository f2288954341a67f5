// The calls that need no session: TID predicates, value comparison, buffer
// compression, the temporary directory, version and checksum. Include
// kestron4/kestron4.hpp rather than this.
#ifndef KESTRON4_CXX_LIBRARY_HPP_
#define KESTRON4_CXX_LIBRARY_HPP_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kestron4/cxx_base.hpp"

namespace kstrn {

inline bool IsValueID(uint16_t tid) noexcept { return KSTRN_IsValueID(tid); }
inline bool IsVariableSize(uint16_t tid) noexcept { return KSTRN_IsVariableSize(tid); }
inline bool IsLongVariableSize(uint16_t tid) noexcept { return KSTRN_IsLongVariableSize(tid); }
inline bool IsQuickFind(uint16_t tid) noexcept { return KSTRN_IsQuickFind(tid); }
inline bool IsLogger(uint16_t fileType) noexcept { return KSTRN_IsLogger(fileType); }
// Stored size of a value of tid whose payload is n bytes (0: no layout).
inline uint32_t ValSize(uint16_t tid, uint32_t n) noexcept { return KSTRN_ValSize(tid, n); }
inline uint32_t ValType(uint16_t tid) noexcept { return KSTRN_ValType(tid); }

// Equality of two values in stored form (strings with their length prefix).
// A view shorter than the bytes the library compares is refused.
inline bool ValCompare(uint16_t tid, ByteView a, ByteView b) {
  auto check = [&](ByteView v) {
    const std::size_t needed = KSTRN_IsVariableSize(tid)
                                   ? (v.empty() ? 1 : KSTRN_ValSize(tid, v.data()[0]))
                                   : KSTRN_ValSize(tid, 0);
    if (v.size() < needed) {
      detail::ThrowUncoded("a stored " + detail::Describe(tid) + " takes " +
                           std::to_string(needed) + " bytes, not " + std::to_string(v.size()));
    }
  };
  check(a);
  check(b);
  return KSTRN_ValCompare(tid, a.data(), b.data());
}

// Equality of two payloads as the lookup compares keys: text up to its
// first NUL, fixed values over exactly their size (other sizes refused).
inline bool CompareValues(uint16_t tid, ByteView a, ByteView b) {
  if (detail::IsStringTid(tid)) {
    const std::string x(reinterpret_cast<const char*>(a.data()), a.size());
    const std::string y(reinterpret_cast<const char*>(b.data()), b.size());
    return KSTRN_CompareValues(tid, x.c_str(), y.c_str());
  }
  const std::size_t size = KSTRN_ValSize(tid, 0);
  if (tid == kTidData || a.size() != size || b.size() != size) {
    detail::ThrowUncoded(detail::Describe(tid) + " is not compared over " +
                         std::to_string(a.size()) + " and " + std::to_string(b.size()) + " bytes");
  }
  static const uint8_t kNothing = 0;
  return KSTRN_CompareValues(tid, size != 0 ? a.data() : &kNothing,
                             size != 0 ? b.data() : &kNothing);
}

// Largest output the decoder can make from one input byte: a 4-byte run item
// expands to at most 4111 bytes.
inline constexpr std::size_t kMaxExpansion = 1028;

// LZRW1-KH compression of a buffer of less than 2 GiB.
inline std::vector<uint8_t> Compress(ByteView bytes) {
  if (bytes.size() > INT32_MAX - 6) detail::ThrowUncoded("buffer too large to compress");
  std::vector<uint8_t> out(bytes.size() + 6);
  const int32_t n = KSTRN_Compress(bytes.data(), out.data(), static_cast<int32_t>(bytes.size()));
  out.resize(static_cast<std::size_t>(n));
  return out;
}

// Decompresses what Compress made of originalSize bytes. The output buffer is
// sized for the worst the decoder can produce from this input, so a corrupt
// or hostile buffer cannot write past it; meant for buffers of a few MiB.
inline std::vector<uint8_t> Decompress(ByteView packed, std::size_t originalSize) {
  if (packed.empty() || packed.size() > INT32_MAX)
    detail::ThrowUncoded("corrupt compressed buffer");
  const std::size_t room = packed.size() * kMaxExpansion + 16;
  // Left uninitialised: pages the decoder does not reach are never touched.
  std::unique_ptr<uint8_t[]> out(new uint8_t[room]);
  const int32_t n = KSTRN_DeCompress(packed.data(), out.get(), static_cast<int32_t>(packed.size()));
  if (n <= 0 && originalSize != 0) detail::ThrowUncoded("corrupt compressed buffer");
  if (static_cast<std::size_t>(n < 0 ? 0 : n) != originalSize) {
    detail::ThrowUncoded("compressed buffer does not give the expected size");
  }
  return std::vector<uint8_t>(out.get(), out.get() + originalSize);
}

// Directory for the library's temporary files, as UTF-8; empty: the system's.
inline void SetGlobalTempDir(const std::string& directory) {
  const std::u16string wide = detail::Utf16Path(directory);
  KSTRN_SetGlobalTempDir(detail::Units(wide.c_str()));
}

inline std::string Version() { return KSTRN_GetEVersion(); }

// Containers carry no checksum: always 0.
inline uint8_t CheckSum() {
  uint8_t sum = 0;
  KSTRN_GetCheckSum(&sum);
  return sum;
}

}  // namespace kstrn

#endif  // KESTRON4_CXX_LIBRARY_HPP_
