// Names in older logger files are 12-byte fields padded with blanks, or with
// whatever the logger's tool left behind. The name ends after its last
// printable byte (0x21..0x7D); within that, the first byte outside the plain
// range 0x20..0x7C cuts it. A field without any printable byte keeps all 12
// bytes up to that cut, so a blank field stays twelve blanks.
#pragma once

#include <cstdint>
#include <string>

#include "format/legacy/legacy_layout.h"

namespace kestron4::legacy {

std::string LegacyName(const uint8_t (&field)[kNameLength]);

// Whether the raw field begins with prefix (a default name the logger's tool
// writes for unused records).
bool HasPrefix(const uint8_t (&field)[kNameLength], const char* prefix);

}  // namespace kestron4::legacy
