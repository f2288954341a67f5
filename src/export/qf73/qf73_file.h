// Puts a finished configuration image on disk in one piece.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kestron4::qf73 {

// Replaces the file at `path` (UTF-8) by `image`, atomically: on failure the
// target is unchanged and no partial file remains. Throws on failure.
void WriteImageFile(const std::string& path, const std::vector<uint8_t>& image);

}  // namespace kestron4::qf73
