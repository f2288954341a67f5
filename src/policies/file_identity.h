// Telling whether two names reach the same file. Files are compared by
// their FileId (device and inode, or volume and file index), so hard links
// and symbolic links count as the same file and an equal copy does not.
#pragma once

#include <string>

#include "storage/platform/platform.h"

namespace kestron4 {

// Whether both are open on the same file. False when either cannot be asked.
bool SameOpenFile(NativeFile a, NativeFile b);
// Whether path (links followed) currently names the open file.
bool PathNamesOpenFile(const std::string& path, NativeFile file);

}  // namespace kestron4
