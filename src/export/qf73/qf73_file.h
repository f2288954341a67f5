// Puts a finished configuration image on disk in one piece.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestron4::qf73 {

// Replaces the file at `path` by `image` with one write, atomically: on
// failure the target is unchanged and no scratch file remains. Throws
// EOpenError or EWriteError.
void WriteImageFile(const std::u16string& path, const std::vector<uint8_t>& image);

}  // namespace kestron4::qf73
