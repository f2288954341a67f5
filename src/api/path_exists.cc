#include "api/path_exists.h"

#include <sys/stat.h>

#include "text/text_codec.h"

namespace kestron4 {

bool PathExists(std::string path) {
  if (!path.empty() && path.back() == '/') path.pop_back();
  if (path.empty()) return false;
  struct stat info;
  return ::stat(path.c_str(), &info) == 0;
}

bool PathExistsW(const char16_t* path) {
  if (path == nullptr) return false;
  return PathExists(Utf16ToUtf8(std::u16string_view(path, U16Length(path))));
}

}  // namespace kestron4
