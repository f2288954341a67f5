// A read-only shared mapping of a whole file, held through the mapping's own
// handle on the file so that it can be mapped again after an unmap.
#pragma once

#include <cstdint>

#include "storage/platform/platform.h"

namespace kestron4 {

class MappedFile {
 public:
  MappedFile() = default;
  ~MappedFile() { Release(); }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  // Releases what was held, duplicates file and maps the whole file, of any
  // size the address space takes: files of 4 GiB or more (whose size fields
  // have wrapped) are read as the other policies read them. False, with
  // nothing held, when file cannot be duplicated, is not a non-empty regular
  // file, or cannot be mapped for reading.
  bool Attach(NativeFile file);
  // Unmaps the view and closes the duplicate.
  void Release();
  // Drops the view; the file stays open, so Remap() can restore it.
  void Unmap();
  // Maps the file again, at its size when attached, if no view is mapped.
  // False when no file is attached or the mapping fails.
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

  bool Attached() const { return file_ != kNoFile; }
  const uint8_t* Base() const { return base_; }
  uint64_t Size() const { return size_; }
  NativeFile Descriptor() const { return file_; }

 private:
  NativeFile file_ = kNoFile;
  const uint8_t* base_ = nullptr;
  uint64_t size_ = 0;
};

}  // namespace kestron4
