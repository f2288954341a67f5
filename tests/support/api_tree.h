// Building and locating item blocks through the C interface. A block is
// named by its path from the root: "tid.index" steps joined by '/', "" for
// the root itself.
#pragma once

#include <cstdint>
#include <string>

#include "kestron4/kestron4.h"

namespace kestron4::testing {

// The path of the cursor's block; the cursor stays.
std::string Where(KSTRN_SessionHandle s);

// Moves the cursor to the block at path; false when a step is missing.
bool Go(KSTRN_SessionHandle s, const std::string& path);

// Appends a block to item tid of the block at parent, gives it the 8-bit
// text name as value 2001 when one is given, and returns its path. The
// cursor is left on the new block.
std::string Add(KSTRN_SessionHandle s, const std::string& parent, uint16_t tid,
                const char* name = nullptr);

}  // namespace kestron4::testing
