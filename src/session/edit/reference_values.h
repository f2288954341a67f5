// The values a reference entry is made of, and the key a reference hands to
// the search for its target.
//
// A reference entry is a block of the item 112 of the referring block. It
// holds its number (1052), the item TID of the target (1024) and a copy of one
// value of the target, the key. A nested entry also holds one item whose first
// block names an inner block of the target by item TID (first value) and key
// (second value).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "session/records.h"
#include "session/session_core.h"

namespace kestron4 {

// A 2-byte value read as an unsigned little-endian number; false when it is
// shorter than 2 bytes or its bytes cannot be read.
bool ReadU16Value(SessionCore& session, const Value& value, uint16_t* number);

// The entry's key: among its first three values the first that is neither
// its number nor its target TID; null when there is none.
const Value* EntryKeyValue(SessionCore& session, const ItemBlock* entry);

// What the lookup is given as the key of a search for a reference target.
struct SearchKey {
  Tid vtid = 0;
  // The key's payload as the lookup reads it: texts end in a NUL, fixed kinds
  // hold at least their full size (zero-padded), kinds compared over no bytes
  // hold one dummy byte. Never empty, so data() is never null.
  std::vector<uint8_t> bytes;
};

// Reads value (held by block) as a search key. False when its bytes cannot be
// read. A data value (1063) is compared over no bytes, so its bytes, which may
// lie in an outside file, are not read at all.
bool ReadSearchKey(SessionCore& session, const ItemBlock* block, const Value& value,
                   SearchKey* key);

// The bytes that decide equality under the plain lookup, appended to out:
// texts up to their first NUL, fixed kinds their first ValSize bytes, and
// nothing for the kinds that compare over no bytes (data, TIDs without a
// layout). Two payloads of one TID match exactly when these are equal.
void AppendCanonicalKey(Tid vtid, const uint8_t* payload, std::size_t length, std::string* out);

}  // namespace kestron4
