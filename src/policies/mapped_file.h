// A read-only shared mapping of a whole file, held through the mapping's own
// descriptor so that it can be mapped again after an unmap.
#pragma once

#include <cstdint>

namespace kestron4 {

class MappedFile {
 public:
  // Files of this size or more are not mapped, as every other reader of
  // these files refuses them too; the streamed policy reads them instead.
  static constexpr uint64_t kSizeLimit = uint64_t{1} << 32;

  MappedFile() = default;
  ~MappedFile() { Release(); }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // Releases what was held, duplicates fd and maps the whole file. False,
  // with nothing held, when fd cannot be duplicated, is not a non-empty
  // regular file below kSizeLimit, or cannot be mapped for reading.
  bool Attach(int fd);
  // Unmaps the view and closes the descriptor.
  void Release();
  // Drops the view; the descriptor stays, so Remap() can restore it.
  void Unmap();
  // Maps the file again, at its size when attached, if no view is mapped.
  // False when there is no descriptor or the mapping fails.
  bool Remap();

  // Copies count bytes of the view from offset. False when no view is
  // mapped, the range passes the view, or the file no longer holds those
  // bytes (it was truncated under us); destination is then unspecified.
  // The system itself fills the rest of the page that holds the file's new
  // end with zeros, without a fault, so bytes there read as zeros.
  bool Copy(uint64_t offset, void* destination, uint64_t count);
  // Maps the file anew over the same addresses after a guarded read found a
  // page that the file no longer backs (see view_fault_guard.h); drops the
  // view if that fails.
  void Refresh();

  bool Attached() const { return fd_ >= 0; }
  const uint8_t* Base() const { return base_; }
  uint64_t Size() const { return size_; }
  int Descriptor() const { return fd_; }

 private:
  int fd_ = -1;
  const uint8_t* base_ = nullptr;
  uint64_t size_ = 0;
};

}  // namespace kestron4
