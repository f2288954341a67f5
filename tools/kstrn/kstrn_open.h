// Opening the files named on the command line.
#pragma once

#include <cstdint>
#include <string>

#include "kestron4/kestron4.hpp"

namespace kstrn::tool {

// Loads a container or older logger file into memory, or with streamed set
// as a streamed session whose values stay in the file until read (a path
// that is not UTF-8, which the streamed open cannot take, is loaded into
// memory); "-" is standard input, held in memory. The file is remembered as
// an input (kstrn_safety.h). On failure throws Failure with the path, the
// library's error text and, in brackets, why: the file's type for a file
// the library recognised but cannot load, else Diagnose's finding.
Session OpenFile(const std::string& path, bool streamed = false);

// Bytes read from standard input by OpenFile("-").
uint64_t StdinBytes();

// Why path cannot be loaded as far as the tool can tell: the system's error,
// "empty file", "not a container: starts with ...", "cut short at byte N of
// at least M, in block P ..."; empty when it finds nothing wrong.
std::string Diagnose(const std::string& path);

// Name of a file type code of the library.
const char* FileTypeName(uint16_t type);

}  // namespace kstrn::tool
