#include "storage/platform/library_entry.h"
#include "storage/platform/unload_hooks.h"

namespace kestron4 {
namespace {

// Destroyed with the library's other static data, at dlclose or exit.
struct UnloadRunner {
  UnloadRunner() = default;
  UnloadRunner(const UnloadRunner&) = delete;
  UnloadRunner& operator=(const UnloadRunner&) = delete;
  ~UnloadRunner() { g_unloadHooks.RunAll(); }
};
UnloadRunner g_runner;

}  // namespace

void SetThreadDetachHook(void (*)()) {}

std::string LibraryProductVersion(const char* compiled_in) { return compiled_in; }

}  // namespace kestron4
