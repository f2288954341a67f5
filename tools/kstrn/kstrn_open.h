// Opening the files named on the command line.
#pragma once

#include <cstdint>
#include <string>

#include "kestron4/kestron4.hpp"

namespace kstrn::tool {

// Loads a container or older logger file into memory, or with streamed set
// as a streamed session whose values stay in the file until read (a path
// that is not UTF-8, which the streamed open cannot take, is loaded into
// memory). On failure throws Failure with the path and the library's error
// text, and for a file the library recognised but cannot load, its type.
Session OpenFile(const std::string& path, bool streamed = false);

// Name of a file type code of the library.
const char* FileTypeName(uint16_t type);

}  // namespace kstrn::tool
