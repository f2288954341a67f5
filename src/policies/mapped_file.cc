#include "policies/mapped_file.h"

#include <limits>

#include "storage/platform/platform.h"
#include "storage/platform/view_fault_guard.h"

namespace kestron4 {

bool MappedFile::Attach(NativeFile file) {
  Release();
  Platform& platform = CurrentPlatform();
  const NativeFile own = file != kNoFile ? platform.Duplicate(file) : kNoFile;
  if (own == kNoFile) return false;
  uint64_t size = 0;
  if (!platform.Size(own, &size) || size == 0 || size > std::numeric_limits<size_t>::max()) {
    platform.Close(own);
    return false;
  }
  file_ = own;
  size_ = size;
  if (Remap()) return true;
  Release();
  return false;
}

void MappedFile::Release() {
  Unmap();
  if (file_ != kNoFile) CurrentPlatform().Close(file_);
  file_ = kNoFile;
  size_ = 0;
}

void MappedFile::Unmap() {
  if (base_ == nullptr) return;
  CurrentPlatform().Unmap(base_, size_);
  base_ = nullptr;
}

bool MappedFile::Remap() {
  if (file_ == kNoFile) return false;
  if (base_ != nullptr) return true;
  const void* view = CurrentPlatform().Map(file_, size_);
  if (view == nullptr) return false;
  base_ = static_cast<const uint8_t*>(view);
  return true;
}

bool MappedFile::Copy(uint64_t offset, void* destination, uint64_t count) {
  if (base_ == nullptr || offset > size_ || count > size_ - offset) return false;
  if (CopyFromView(base_, size_, offset, destination, count)) return true;
  Refresh();
  return false;
}

void MappedFile::Refresh() {
  if (base_ == nullptr) return;
  if (!RestoreView(file_, base_, size_)) Unmap();
}

}  // namespace kestron4
