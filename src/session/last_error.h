// The calling thread's last-error cell. Kept by the interface layer; the few
// session operations that report through it directly (a cut string, the copy
// of one session into another) use these two functions.
#pragma once

#include "session/error_codes.h"

namespace kestron4 {

void SetLastError(ErrorCode code);
ErrorCode GetLastError();

}  // namespace kestron4
