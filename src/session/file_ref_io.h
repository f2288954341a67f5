// Reading the bytes of an outside file that a data value stands for.
#pragma once

#include <cstdint>
#include <memory>

#include "session/records.h"

namespace kestron4 {

class TStream;

// Opens the file of ref read-only: its 8-bit path when that is set,
// otherwise its UTF-16 path. The caller owns the stream. Throws EOpenError.
std::unique_ptr<TStream> OpenFileRef(const FileRef& ref);

// Copies count bytes starting offset bytes into the range of ref; false when
// the file cannot be opened or holds fewer bytes. Never throws.
bool ReadFileRefRange(const FileRef& ref, uint64_t offset, void* destination, uint64_t count);

}  // namespace kestron4
