// Reads values of the session's current item block for the configuration
// writer, through one value buffer and one value-list buffer that grow to the
// largest value and list met and are reused for every read.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <vector>

#include "session/abstract_session.h"

namespace kestron4::qf73 {

// Raised when the configuration holds something the format cannot carry
// faithfully; the export then fails without writing a file.
class Qf73Unwritable : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A short text (value 1002, 1064, ...) copied out of the value buffer, so
// that reading other values does not overwrite it.
struct ShortText {
  bool present = false;
  uint8_t size = 0;
  uint8_t bytes[255] = {};
};

class Qf73Values {
 public:
  explicit Qf73Values(AbstractSession& session) : session_(session) {}

  // Reads the payload of the current item block's value `tid` into the value
  // buffer. False when the block has no such value or the session cannot
  // deliver it; such a value is left out of the file.
  // Throws Qf73Unwritable for a short-variable value of more than 255 bytes.
  bool Fetch(Tid tid);
  // The payload of the last successful Fetch.
  const uint8_t* Data() const { return buffer_.data(); }
  uint32_t Size() const { return size_; }

  std::optional<uint8_t> U8(Tid tid);
  std::optional<uint16_t> U16(Tid tid);
  std::optional<uint32_t> U32(Tid tid);
  ShortText Text(Tid tid);

  // The value TIDs of the current item block in list order. Valid until the
  // next call of List.
  const std::vector<Tid>& List();

 private:
  AbstractSession& session_;
  std::vector<uint8_t> buffer_;
  uint32_t size_ = 0;
  std::vector<Tid> list_;
};

}  // namespace kestron4::qf73
