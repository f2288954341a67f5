#include "storage/platform/file_extents.h"

namespace kestron4 {

bool ProbeExtent(NativeFile file, uint64_t offset, uint64_t limit, Extent* extent) {
  return file != kNoFile && CurrentPlatform().ProbeExtent(file, offset, limit, extent);
}

}  // namespace kestron4
