#include "support/caller_file.h"

#include <utility>

#include "storage/platform/full_io.h"

namespace kestron4 {

CallerFile::CallerFile(const std::string& path, unsigned flags)
    : file_(SystemPlatform().Open(path, flags)) {}

bool CallerFile::WriteAt(const void* data, size_t size, uint64_t offset) {
  return SystemPlatform().Seek(file_, static_cast<int64_t>(offset), kFromBegin) >= 0 &&
         WriteFull(SystemPlatform(), file_, data, size);
}

void CallerFile::Close() {
  if (file_ != kNoFile) SystemPlatform().Close(std::exchange(file_, kNoFile));
}

}  // namespace kestron4
