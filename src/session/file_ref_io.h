// Reading the bytes of an outside file that a data value stands for.
#pragma once

#include <cstdint>

#include "session/records.h"

namespace kestron4 {

// Copies count bytes starting offset bytes into the range of ref; false when
// the file cannot be opened or holds fewer bytes. Never throws.
bool ReadFileRefRange(const FileRef& ref, uint64_t offset, void* destination, uint64_t count);

}  // namespace kestron4
