#include "storage/platform/library_entry.h"

namespace kestron4 {

void SetThreadDetachHook(void (*)()) {}

std::string LibraryProductVersion(const char* compiled_in) { return compiled_in; }

}  // namespace kestron4
