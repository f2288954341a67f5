// Where scratch files go and how they are named. The global directory is one
// setting for the whole process, read and written under ApiLock(); every
// other function here is stateless.
#pragma once

#include <string>
#include <string_view>

namespace kestron4 {

// Sets the directory for temporary files; an empty string restores the
// default. Any thread may call it at any time.
void SetGlobalTempDir(std::u16string directory);

// The global directory if one is set, else the system's
// (Platform::TempDirectory: $TMPDIR or "/tmp" on POSIX). Never empty.
std::u16string GetTempDirectory();

// A random (version 4) UUID as 36 lowercase characters in 8-4-4-4-12 groups,
// or an empty string if the system gave no random bytes.
std::string RandomUuid();

// directory + separator + name, without doubling a separator that ends
// directory; just name when directory is empty.
std::string JoinPath(std::string_view directory, std::string_view name);

// GetTempDirectory() joined with a fresh UUID (on Windows with every '/'
// turned into '\\'); empty if RandomUuid() failed. Only a name: nothing is
// created.
std::u16string MakeTempFilePath();

}  // namespace kestron4
