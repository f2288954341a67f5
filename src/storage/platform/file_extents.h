// Where a sparse file holds data and where it has holes, so that copies can
// skip the holes instead of reading and writing their zeros.
#pragma once

#include <cstdint>

namespace kestron4 {

struct Extent {
  uint64_t hole = 0;  // bytes from the probed offset that read as zeros
  uint64_t data = 0;  // bytes after those that hold data (may hold zeros)
};

// The extent of fd at offset, both parts at most limit bytes together. A
// range past the end of the file counts as data, so that reading it fails
// as it would without the probe. False when the system cannot tell; the
// caller then treats everything as data. Moves fd's file offset.
bool ProbeExtent(int fd, uint64_t offset, uint64_t limit, Extent* extent);

}  // namespace kestron4
