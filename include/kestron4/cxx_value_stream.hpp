// kstrn::ValueStream: a private read position on a streamed session's file.
// Include kestron4/kestron4.hpp rather than this.
#ifndef KESTRON4_CXX_VALUE_STREAM_HPP_
#define KESTRON4_CXX_VALUE_STREAM_HPP_

#include <cstdint>
#include <utility>

#include "kestron4/cxx_base.hpp"

namespace kstrn {

// For reading large values in pieces, one stream per thread of reading.
// REQUIRES: it lives no longer than its session.
class ValueStream {
 public:
  ValueStream(KSTRN_StreamHandle stream, KSTRN_SessionHandle session) noexcept
      : stream_(stream), session_(session) {}
  ~ValueStream() {
    if (stream_ != nullptr) KSTRN_DestroyStream(stream_, session_);
  }
  ValueStream(ValueStream&& other) noexcept
      : stream_(std::exchange(other.stream_, nullptr)), session_(other.session_) {}
  ValueStream& operator=(ValueStream&& other) noexcept {
    if (this != &other) {
      if (stream_ != nullptr) KSTRN_DestroyStream(stream_, session_);
      stream_ = std::exchange(other.stream_, nullptr);
      session_ = other.session_;
    }
    return *this;
  }
  ValueStream(const ValueStream&) = delete;
  ValueStream& operator=(const ValueStream&) = delete;

  // Copies count stored bytes of value from offset into destination. The
  // library returns its code rather than storing it; the error carries that
  // code with the library's text for it.
  void Read(KSTRN_ValueHandle value, uint64_t offset, void* destination, uint32_t count) const {
    const uint32_t code =
        KSTRN_ReadValueStream(stream_, value, offset, destination, count, session_);
    if (code != KSTRN_ErrNone) detail::ThrowCode(code);
  }

 private:
  KSTRN_StreamHandle stream_;
  KSTRN_SessionHandle session_;
};

}  // namespace kstrn

#endif  // KESTRON4_CXX_VALUE_STREAM_HPP_
