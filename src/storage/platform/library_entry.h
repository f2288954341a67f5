// What the library learns from being loaded as a module of its own: its
// file (for the version text), the end of each thread that used it, and its
// own unloading.
#pragma once

#include <string>

namespace kestron4 {

// hook runs on every thread that ends while the library is loaded, before
// the thread is gone: from the DLL entry point's thread detach on Windows,
// under the loader lock, so it must not wait for any lock of the library.
// On POSIX nothing calls it (thread-end destructors do that work there).
// Set once, from a static initialiser.
void SetThreadDetachHook(void (*hook)());

// hook runs once when the library is taken out of a process that goes on:
// FreeLibrary on Windows (the entry point's process detach), the library's
// static destruction on POSIX (dlclose, or exit). It undoes what the library
// registered with the system or the runtime. Not at all on Windows when the
// process is ending: other threads were killed where they stood, and nothing
// they held may be touched. Hooks run in the reverse order of their setting;
// at most four, set from static initialisers or call_once.
void RunAtUnload(void (*hook)());

// The ProductVersion text of the library's own version resource, read from
// the library's file (not the host program's); empty when it has none. On
// systems without version resources, compiled_in.
std::string LibraryProductVersion(const char* compiled_in);

}  // namespace kestron4
