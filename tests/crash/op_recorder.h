// Records, through the platform seam, what a writer does to the files of one
// folder: creations, writes (with their offsets), truncations, flushes of a
// file or of the folder, renames and removals, in the order they happened.
// Every call still goes to the real system, so the writer runs as usual.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "storage/platform/platform.h"

namespace kestron4::crash {

struct Op {
  enum Kind { kCreate, kTruncate, kWrite, kSyncFile, kSyncFolder, kRename, kUnlink } kind;
  std::string name, to;  // names inside the folder: kCreate, kRename, kUnlink
  uint64_t ino = 0;      // file index: kCreate, kTruncate, kWrite, kSyncFile
  uint64_t offset = 0;   // kWrite
  std::string bytes;     // kWrite
};

class OpRecorder : public PlatformWrapper {
 public:
  // folder: absolute, without a trailing '/'.
  explicit OpRecorder(std::string folder);

  std::vector<Op> Ops() const;

  NativeFile Open(const std::string& path, unsigned flags) override;
  bool Close(NativeFile file) override;
  int64_t Write(NativeFile file, const void* buffer, size_t count) override;
  bool Sync(NativeFile file) override;
  NativeFile Duplicate(NativeFile file) override;
  // Recorded as a rename only: whatever durability the system adds is not
  // counted on.
  bool Replace(const std::string& source, const std::string& target, bool* across) override;
  bool Remove(const std::string& path) override;
  bool SyncFolder(const std::string& folder) override;

 private:
  // The name inside the folder, or empty for a path elsewhere.
  std::string NameOf(const std::string& path) const;

  const std::string folder_;
  mutable std::mutex mutex_;
  std::vector<Op> ops_;
  std::map<NativeFile, uint64_t> files_;  // open files in the folder
};

}  // namespace kestron4::crash
