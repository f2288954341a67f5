// Telling whether two names reach the same file, and reaching the very file
// behind a descriptor again. Files are compared by device and inode, so hard
// links and symbolic links count as the same file and an equal copy does not.
#pragma once

#include <memory>
#include <string>

#include "storage/streams/file_stream.h"

namespace kestron4 {

// Whether both descriptors are open on the same file. False when either
// cannot be asked.
bool SameOpenFile(int a, int b);
// Whether path (links followed) currently names the file open at fd.
bool PathNamesOpenFile(const std::string& path, int fd);

// A new read-only stream on the file open at fd, with a file position of its
// own. It reaches that file even after the file was renamed over, replaced
// or deleted, which a reopen by path would not. Throws EOpenError.
std::unique_ptr<TFileStream> ReopenOpenFile(int fd);

}  // namespace kestron4
