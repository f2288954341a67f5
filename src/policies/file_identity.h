// Telling whether two names reach the same file. Files are compared by
// device and inode, so hard links and symbolic links count as the same file
// and an equal copy does not.
#pragma once

#include <string>

namespace kestron4 {

// Whether both descriptors are open on the same file. False when either
// cannot be asked.
bool SameOpenFile(int a, int b);
// Whether path (links followed) currently names the file open at fd.
bool PathNamesOpenFile(const std::string& path, int fd);

}  // namespace kestron4
