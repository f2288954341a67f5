#include "policies/file_identity.h"

namespace kestron4 {

bool SameOpenFile(NativeFile a, NativeFile b) {
  Platform& platform = CurrentPlatform();
  FileId idA, idB;
  return a != kNoFile && b != kNoFile && platform.Identify(a, &idA) && platform.Identify(b, &idB) &&
         idA == idB;
}

bool PathNamesOpenFile(const std::string& path, NativeFile file) {
  Platform& platform = CurrentPlatform();
  PathInfo named;
  FileId open;
  return file != kNoFile && !path.empty() && platform.Inspect(path, &named) &&
         platform.Identify(file, &open) && named.id == open;
}

}  // namespace kestron4
