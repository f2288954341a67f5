// File-system questions and moves that the streams and the save paths need,
// built on the platform in force. None of them throws: each reports failure
// by its result. Paths are UTF-8 (bytes handed to the system unchanged on
// POSIX); the UTF-16 overloads convert first. A path that is empty or holds
// a NUL byte names no file and fails every call.
#pragma once

#include <string>
#include <string_view>

#include "storage/platform/platform.h"

namespace kestron4 {

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// Whether c separates the components of a path here ('\\' and '/' on
// Windows, '/' elsewhere).
bool IsPathSeparator(char c);

bool IsUsablePath(std::string_view path);

// A path of the 8-bit interface as a path here: on Windows its bytes are
// text in the ANSI code page (what CreateFileA makes of them); elsewhere the
// bytes themselves. Empty (unusable) when they are not such text.
std::string PathFromBytes(std::string_view path);

// A path of the UTF-16 interface as a path here. Empty (unusable) when it
// holds an unpaired surrogate: no UTF-8 name carries one, and standing in
// U+FFFD would write a file of another name.
std::string PathFromUtf16(std::u16string_view path);

// Whether something exists at path, one trailing separator ignored (so
// "dir/" and "dir" agree, and "file/" finds the file). Fills info when given
// and found.
bool FileExists(const std::string& path, PathInfo* info = nullptr);
bool FileExists(const std::u16string& path, PathInfo* info = nullptr);

// Whether both paths reach the same file: true for a hard link or a symbolic
// link to it, false for an equal copy.
bool SameFile(const std::string& a, const std::string& b);
bool SameFile(const std::u16string& a, const std::u16string& b);

// Moves source over target, replacing it (Platform::Replace). Where the
// system cannot move across the two file systems, the bytes are copied into
// a scratch file in the target's directory, flushed and moved into place,
// then the source is removed (a source that cannot be removed stays behind;
// the move still counts as done). The folder is flushed last; a failure of
// only that step is not reported.
bool ReplaceFile(const std::string& source, const std::string& target);
bool ReplaceFile(const std::u16string& source, const std::u16string& target);

bool DeleteFile(const std::string& path);
bool DeleteFile(const std::u16string& path);

// The directory part of path: "." for a bare name, the root for a name at
// the root.
std::string ParentDirectory(const std::string& path);

}  // namespace kestron4
