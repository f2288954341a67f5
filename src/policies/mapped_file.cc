#include "policies/mapped_file.h"

#include <sys/mman.h>
#include <sys/stat.h>

#include <cstring>
#include <limits>

#include "storage/platform/platform.h"
#include "policies/view_fault_guard.h"

namespace kestron4 {

bool MappedFile::Attach(int fd) {
  Release();
  Platform& platform = CurrentPlatform();
  const int own = platform.DupCloexec(fd);
  if (own < 0) return false;
  struct stat info;
  if (platform.Fstat(own, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0 ||
      static_cast<uint64_t>(info.st_size) > std::numeric_limits<size_t>::max()) {
    platform.Close(own);
    return false;
  }
  fd_ = own;
  size_ = static_cast<uint64_t>(info.st_size);
  if (Remap()) return true;
  Release();
  return false;
}

void MappedFile::Release() {
  Unmap();
  if (fd_ >= 0) CurrentPlatform().Close(fd_);
  fd_ = -1;
  size_ = 0;
}

void MappedFile::Unmap() {
  if (base_ == nullptr) return;
  CurrentPlatform().Munmap(const_cast<uint8_t*>(base_), size_);
  base_ = nullptr;
}

bool MappedFile::Remap() {
  if (fd_ < 0) return false;
  if (base_ != nullptr) return true;
  void* view = CurrentPlatform().Mmap(size_, PROT_READ, MAP_SHARED, fd_, 0);
  if (view == MAP_FAILED) return false;
  base_ = static_cast<const uint8_t*>(view);
  return true;
}

bool MappedFile::Copy(uint64_t offset, void* destination, uint64_t count) {
  if (base_ == nullptr || offset > size_ || count > size_ - offset) return false;
  if (count == 0) return true;
  ViewFaultGuard guard(base_, size_);
  std::memcpy(destination, base_ + offset, count);
  if (!guard.Faulted()) return true;
  Refresh();
  return false;
}

void MappedFile::Refresh() {
  if (base_ == nullptr) return;
  // MAP_FIXED keeps the view where it was, so pointers handed out before
  // stay pointers into the view; the platform layer has no call for that.
  void* again = mmap(const_cast<uint8_t*>(base_), size_, PROT_READ, MAP_SHARED | MAP_FIXED, fd_, 0);
  if (again == MAP_FAILED) Unmap();
}

}  // namespace kestron4
