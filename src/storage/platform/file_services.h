// File-system questions and moves that the streams and the save paths need.
// None of them throws: each reports failure by its result, with errno left
// as the failing call set it. Paths are bytes handed to the system unchanged;
// the UTF-16 overloads convert to UTF-8 first. A path that is empty or holds
// a NUL byte names no file and fails every call.
#pragma once

#include <sys/stat.h>

#include <string>
#include <string_view>

namespace kestron4 {

bool IsUsablePath(std::string_view path);

// Whether something exists at path, one trailing '/' ignored (so "dir/" and
// "dir" agree, and "file/" finds the file). Fills info when given and found.
bool FileExists(const std::string& path, struct stat* info = nullptr);
bool FileExists(const std::u16string& path, struct stat* info = nullptr);

// Whether both paths reach the same file (same device and inode): true for a
// hard link or a symbolic link to it, false for an equal copy.
bool SameFile(const std::string& a, const std::string& b);
bool SameFile(const std::u16string& a, const std::u16string& b);

// An absolute path that opens the file behind fd. False for descriptors that
// have no such path: pipes, sockets, and files that were deleted or replaced
// since they were opened.
bool PathOfDescriptor(int fd, std::string* path);

// Moves source over target, replacing it. Across file systems the bytes are
// copied into a scratch file in the target's directory, flushed to disk and
// renamed into place, then the source is removed (a source that cannot be
// removed stays behind; the move still counts as done).
bool ReplaceFile(const std::string& source, const std::string& target);
bool ReplaceFile(const std::u16string& source, const std::u16string& target);

bool DeleteFile(const std::string& path);
bool DeleteFile(const std::u16string& path);

// The directory part of path: "." for a bare name, "/" for a name at the root.
std::string ParentDirectory(const std::string& path);

// Follows symbolic links at the last component of path until it names a
// non-link or nothing; a dangling link resolves to where it points. False on a
// loop or an unreadable link.
bool ResolveSymlinks(const std::string& path, std::string* resolved);

}  // namespace kestron4
