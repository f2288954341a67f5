// A path of the 8-bit interface, as the core takes it (PathFromBytes): on
// Windows the caller's ANSI text made UTF-8, elsewhere the bytes unchanged.
// A null path stays null, for the core to report as it always has.
#pragma once

#include <string>

#include "storage/platform/file_services.h"

namespace kestron4 {

class BytesPath {
 public:
  explicit BytesPath(const char* path)
      : null_(path == nullptr), path_(path != nullptr ? PathFromBytes(path) : std::string()) {}
  const char* get() const { return null_ ? nullptr : path_.c_str(); }

 private:
  bool null_;
  std::string path_;
};

}  // namespace kestron4
