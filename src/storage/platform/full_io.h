// Whole transfers over the platform's read and write calls. The system may
// move fewer bytes than asked; these loops go on until everything moved, the
// end of the file was reached, or the platform reported a failure.
#pragma once

#include <cstddef>
#include <cstdint>

#include "storage/platform/platform.h"

namespace kestron4 {

// True when all count bytes were read; false at the end of the file or on a
// failure.
bool ReadFull(Platform& platform, NativeFile file, void* buffer, size_t count);
bool ReadFullAt(Platform& platform, NativeFile file, void* buffer, size_t count, uint64_t offset);

// True when all count bytes were written. A write that moves nothing counts
// as a failure (the disk is full), so the loop cannot spin.
bool WriteFull(Platform& platform, NativeFile file, const void* buffer, size_t count);

}  // namespace kestron4
