// Reading one value of the block under the cursor as the recording's model
// needs it; absent or unreadable values give nothing (NaN for reals), as the
// older files leave many of them out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "kestron4/kestron4.hpp"

namespace kstrn::recording::detail {

std::optional<std::string> TextValue(const Session& session, uint16_t tid);
// A fixed value of 1 to 8 bytes as an unsigned little-endian number.
std::optional<uint64_t> NumberValue(const Session& session, uint16_t tid);
// A real as the conversion stores it: the bits of a double in an 8-byte
// value; NaN otherwise.
double RealValue(const Session& session, uint16_t tid);
// Payload bytes of the blob (1063) that can really be read: its length value
// (1066), or less when fewer bytes are there.
uint32_t BlobLength(const Session& session);

}  // namespace kstrn::recording::detail
