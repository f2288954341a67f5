// What a command-line program needs of its system besides files: its
// arguments as UTF-8, its own path, the standard streams, whether they are a
// terminal, the text of the last system error, and a last word when Ctrl+C
// or a termination request ends it. posix_program_process.cc and
// win32_program_process.cc implement it; the library itself never uses it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "storage/platform/platform.h"

namespace kestron4 {

// Call first in main(). Returns the arguments as UTF-8: on POSIX argv
// unchanged, on Windows read from the UTF-16 command line (argv there is in
// the ANSI code page and loses other characters). On Windows it also makes
// the console show UTF-8 and escape sequences, and puts the C streams in
// binary mode, so that what the program writes reaches a pipe or file
// byte for byte.
std::vector<std::string> StartProgram(int argc, char** argv);

// The path of the running program, UTF-8; empty when the system cannot tell.
std::string ProgramPath();

enum class StandardStream { kInput, kOutput, kError };
// Never closed by the caller.
NativeFile StandardFile(StandardStream stream);
bool IsTerminal(StandardStream stream);
// The width of the terminal of stream; 0 when it is none or cannot tell.
std::size_t TerminalColumns(StandardStream stream);

// Why the last failed system call failed (errno or GetLastError), as text.
std::string LastSystemError();

// cleanup runs when an interruption (Ctrl+C, SIGTERM, SIGHUP, SIGPIPE, a
// closing console) ends the program, which then ends as it would have.
// Interruptions the caller ignores stay ignored. cleanup may call only
// RemoveAtInterrupt and must not allocate (it can run inside a signal
// handler). Call once.
void OnInterrupt(void (*cleanup)());
// Removes the file at path (UTF-8) from inside a cleanup.
void RemoveAtInterrupt(const char* path);

}  // namespace kestron4
