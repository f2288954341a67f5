// The text that KSTRN_GetLastEEStr reports for an error code.
#pragma once

#include <cstddef>

#include "session/error_codes.h"

namespace kestron4 {

// Writes "Kestron Error <code as signed decimal>: <message>" with its NUL
// into out (capacity bytes, cut to fit) and returns out.
const char* FormatErrorText(ErrorCode code, char* out, std::size_t capacity);

}  // namespace kestron4
