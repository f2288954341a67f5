#include "storage/platform/file_extents.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "storage/platform/platform.h"

namespace kestron4 {

bool ProbeExtent(int fd, uint64_t offset, uint64_t limit, Extent* extent) {
  Platform& platform = CurrentPlatform();
  struct stat info;
  if (offset > static_cast<uint64_t>(INT64_MAX) || platform.Fstat(fd, &info) != 0 ||
      !S_ISREG(info.st_mode))
    return false;
  const auto size = static_cast<uint64_t>(info.st_size);
  *extent = Extent{};
  if (offset >= size) {
    extent->data = limit;
    return true;
  }
  const auto at = static_cast<off_t>(offset);
  errno = 0;
  const off_t data = platform.Lseek(fd, at, SEEK_DATA);
  if (data < 0 && errno != ENXIO) return false;
  // No data at or after offset: a hole up to the end of the file.
  const uint64_t dataStart = data < 0 ? size : static_cast<uint64_t>(data);
  if (dataStart < offset) return false;
  extent->hole = std::min(dataStart - offset, limit);
  if (extent->hole == limit) return true;
  if (dataStart >= size) {
    extent->data = limit - extent->hole;  // past the end: left to the read
    return true;
  }
  const off_t holeStart = platform.Lseek(fd, static_cast<off_t>(dataStart), SEEK_HOLE);
  if (holeStart < 0 || static_cast<uint64_t>(holeStart) <= dataStart) return false;
  extent->data = std::min(static_cast<uint64_t>(holeStart) - dataStart, limit - extent->hole);
  return true;
}

}  // namespace kestron4
