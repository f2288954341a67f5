#include "storage/policies/file_identity.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

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

std::unique_ptr<TFileStream> ReopenOpenFile(int fd) {
  if (fd < 0) throw EOpenError();
  Platform& platform = CurrentPlatform();
  // The process's own descriptor table names the open file itself, not the
  // directory entry it was once opened by.
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  int again;
  do {
    again = platform.Open(self.c_str(), O_RDONLY | O_CLOEXEC, 0);
  } while (again < 0 && errno == EINTR);
  if (again < 0) throw EOpenError();
  if (!SameOpenFile(fd, again)) {
    platform.Close(again);
    throw EOpenError();
  }
  return TFileStream::Adopt(again, std::string(), ModeReadOnly | ModeShareRead);
}

}  // namespace kestron4
