// Deciding whether a reference entry's key equals a block's key value, for
// listing, counting and renaming the references to a block.
//
// Texts match when their bytes up to the NUL are equal; when exactly one of
// the two carries the UTF-8 mark, the other is read as 8-bit text and
// converted to UTF-8 first, so a key written through either string interface
// finds the references made from the other. Fixed kinds compare over their
// size. Data values (1063) compare by length and content: treating every blob
// as equal would let a rename overwrite every data-keyed reference of the
// session.
//
// A data key held as a FileRef takes part only when the outside file can be
// read: then its bytes are compared like any other. When they cannot be read
// the block's own key is refused with code 1 (nothing is counted or changed),
// and an entry's key matches nothing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "session/session_core.h"

namespace kestron4 {

class KeyMatcher {
 public:
  // Reads block's value tid as the key: 4 without a block, 7 when the value
  // is missing, 16 for a data value without its size, 1 when its bytes cannot
  // be read, else 0.
  ErrorCode Load(SessionCore& session, const ItemBlock* block, Tid tid);

  // Whether entry's first value of the key's TID holds an equal key.
  // REQUIRES: Load returned 0.
  bool Matches(SessionCore& session, const ItemBlock* entry);

 private:
  bool TextMatches(std::string_view text, bool marked);
  bool DataMatches(SessionCore& session, const ItemBlock* entry, const Value& value);

  Tid tid_ = 0;
  std::vector<uint8_t> key_;  // the key's payload
  std::string_view keyText_;  // texts: the key up to its NUL (into key_)
  bool keyMarked_ = false;
  std::string keyAsUtf8_;  // an unmarked text key converted, made when first needed
  bool keyAsUtf8Ready_ = false;
  std::string canonical_;  // fixed kinds: the key's compared bytes
  std::vector<uint8_t> scratch_;
  std::string converted_;
};

}  // namespace kestron4
