// Where a sparse file holds data and where it has holes, so that copies can
// skip the holes instead of reading and writing their zeros.
#pragma once

#include <cstdint>

#include "storage/platform/platform.h"

namespace kestron4 {

// The extent of file at offset, both parts at most limit bytes together,
// through the platform in force (Platform::ProbeExtent). False when the
// system cannot tell; the caller then treats everything as data. May move
// the file's offset.
bool ProbeExtent(NativeFile file, uint64_t offset, uint64_t limit, Extent* extent);

}  // namespace kestron4
