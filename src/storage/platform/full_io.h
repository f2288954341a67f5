// Whole transfers over the platform's read and write calls. The system may
// move fewer bytes than asked, or be interrupted by a signal; these loops go
// on until everything moved, the end of the file was reached, or a real error
// occurred.
#pragma once

#include <sys/types.h>

#include <cstddef>

#include "storage/platform/platform.h"

namespace kestron4 {

// True when all count bytes were read. False at the end of the file (errno
// is then 0) or on an error (errno tells which).
bool ReadFull(Platform& platform, int fd, void* buffer, size_t count);
bool PReadFull(Platform& platform, int fd, void* buffer, size_t count, off_t offset);

// True when all count bytes were written.
bool WriteFull(Platform& platform, int fd, const void* buffer, size_t count);

}  // namespace kestron4
