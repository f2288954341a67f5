// The existence test that the opening functions make before they create a
// session, so that a mistyped path costs no session.
#pragma once

#include <string>

namespace kestron4 {

// Whether path names an existing file or directory. One trailing '/' is
// ignored; an empty path exists nowhere.
bool PathExists(std::string path);

// The same for a UTF-16 path; null exists nowhere.
bool PathExistsW(const char16_t* path);

}  // namespace kestron4
