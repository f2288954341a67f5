#include "format/legacy/legacy_name.h"

#include <cstring>

namespace kestron4::legacy {

std::string LegacyName(const uint8_t (&field)[kNameLength]) {
  std::size_t end = kNameLength;
  for (std::size_t i = kNameLength; i > 0; --i) {
    if (field[i - 1] >= 0x21 && field[i - 1] <= 0x7D) {
      end = i;
      break;
    }
  }
  std::size_t length = 0;
  while (length < end && field[length] >= 0x20 && field[length] <= 0x7C) ++length;
  return std::string(reinterpret_cast<const char*>(field), length);
}

bool HasPrefix(const uint8_t (&field)[kNameLength], const char* prefix) {
  const std::size_t length = std::strlen(prefix);
  return length <= kNameLength && std::memcmp(field, prefix, length) == 0;
}

}  // namespace kestron4::legacy
