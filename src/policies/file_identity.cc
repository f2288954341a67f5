#include "policies/file_identity.h"

#include <sys/stat.h>

#include "storage/platform/platform.h"

namespace kestron4 {
namespace {

bool Same(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

bool SameOpenFile(int a, int b) {
  Platform& platform = CurrentPlatform();
  struct stat infoA;
  struct stat infoB;
  return a >= 0 && b >= 0 && platform.Fstat(a, &infoA) == 0 && platform.Fstat(b, &infoB) == 0 &&
         Same(infoA, infoB);
}

bool PathNamesOpenFile(const std::string& path, int fd) {
  Platform& platform = CurrentPlatform();
  struct stat named;
  struct stat open;
  return fd >= 0 && !path.empty() && platform.Stat(path.c_str(), &named) == 0 &&
         platform.Fstat(fd, &open) == 0 && Same(named, open);
}

}  // namespace kestron4
