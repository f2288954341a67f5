// Values between their stored payload and Python objects. Every function
// acts on the block under the cursor.
//
// Decoding follows the TID's layout: text values (NUL-terminated, marked
// UTF-8 or in Windows-1252) become str, other string payloads bytes; fixed
// values of 1, 2, 3, 4 and 5 bytes unsigned int, 8-byte values a float for
// value type 5 and a signed int for type 6; the blob (1063) bytes.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <string>

#include "kestron4/kestron4.h"

namespace kestron4::binding {

enum class Kind { kNone, kFixed, kShort, kLong, kData };

inline constexpr uint16_t kTidData = 1063;

Kind KindOf(uint16_t tid);

// The payload of value tid, read whole.
std::string ReadPayload(uint16_t tid, KSTRN_SessionHandle s);
// The stored bytes a blob really holds, at most announced.
uint32_t BlobLength(KSTRN_ValueHandle value, uint32_t announced, KSTRN_SessionHandle s);

pybind11::object Decode(uint16_t tid, const std::string& payload, KSTRN_SessionHandle s);

// Stores value under tid; encoding "utf8" or "ansi" for str values.
void Store(uint16_t tid, pybind11::handle value, const std::string& encoding,
           KSTRN_SessionHandle s);

// The bytes of a number or bytes-like for a fixed TID; raises TypeError or
// ValueError when it does not fit.
std::string EncodeFixed(uint16_t tid, pybind11::handle value);

// The payload of a bytes-like object, with a copy only where needed.
std::string BytesOf(pybind11::handle value);

}  // namespace kestron4::binding
