// The library's product version: on Windows the ProductVersion of the DLL's
// own version resource; where files carry no such resource, the text that
// follows the SONAME's numbers, compiled in.
#include <new>
#include <string>

#include "kestron4/kestron4.h"
#include "storage/platform/library_entry.h"

namespace {
constexpr char kProductVersion[] = "4.38.258.0";
}  // namespace

const char* KSTRN_GetEVersion(void) {
  // Read once, and never destroyed: no exit-time free can meet a heap lock
  // that a thread killed at exit was holding.
  alignas(std::string) static unsigned char storage[sizeof(std::string)];
  static const std::string* const text =
      new (storage) std::string(kestron4::LibraryProductVersion(kProductVersion));
  return text->empty() ? nullptr : text->c_str();
}
