// The library's product version. Linux shared objects carry no version
// resource, so the text is compiled in; it follows the SONAME's numbers.
#include "kestron4/kestron4.h"

namespace {
constexpr char kProductVersion[] = "4.38.258.0";
}  // namespace

const char* KSTRN_GetEVersion(void) { return kProductVersion; }
