#include "api/export_frame.h"

namespace kestron4 {

void ThrowNullSessionHandle() { throw NullSessionHandle{}; }

}  // namespace kestron4
