// Opening the files named on the command line.
#pragma once

#include <cstdint>
#include <string>

#include "kestron4/kestron4.hpp"

namespace kstrn::tool {

// Loads a container or older logger file into memory. On failure throws
// Failure with the path and the library's error text, and for a file the
// library recognised but cannot load, its file type.
Session OpenFile(const std::string& path);

// Name of a file type code of the library.
const char* FileTypeName(uint16_t type);

}  // namespace kstrn::tool
