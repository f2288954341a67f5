// What the library learns from being loaded as a module of its own: its
// file (for the version text) and the end of each thread that used it.
#pragma once

#include <string>

namespace kestron4 {

// hook runs on every thread that ends while the library is loaded, before
// the thread is gone: from the DLL entry point's thread detach on Windows.
// On POSIX nothing calls it (thread_local destructors do that work there).
// Set once, from a static initialiser.
void SetThreadDetachHook(void (*hook)());

// The ProductVersion text of the library's own version resource, read from
// the library's file (not the host program's); empty when it has none. On
// systems without version resources, compiled_in.
std::string LibraryProductVersion(const char* compiled_in);

}  // namespace kestron4
