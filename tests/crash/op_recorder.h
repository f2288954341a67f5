// Records, through the platform seam, what a writer does to the files of one
// folder: creations, writes (with their offsets), truncations, flushes of a
// file or of the folder, renames and removals, in the order they happened.
// Every call still goes to the real system, so the writer runs as usual.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "storage/platform/platform.h"

namespace kestron4::crash {

struct Op {
  enum Kind { kCreate, kTruncate, kWrite, kSyncFile, kSyncFolder, kRename, kUnlink } kind;
  std::string name, to;  // names inside the folder: kCreate, kRename, kUnlink
  ino_t ino = 0;         // kCreate, kTruncate, kWrite, kSyncFile
  uint64_t offset = 0;   // kWrite
  std::string bytes;     // kWrite
};

class OpRecorder : public PlatformWrapper {
 public:
  // folder: absolute, without a trailing '/'.
  explicit OpRecorder(std::string folder);

  std::vector<Op> Ops() const;

  int Open(const char* path, int flags, mode_t mode) override;
  int Close(int fd) override;
  ssize_t Write(int fd, const void* buffer, size_t count) override;
  int Fsync(int fd) override;
  int DupCloexec(int fd) override;
  int Rename(const char* from, const char* to) override;
  int Unlink(const char* path) override;

 private:
  // The name inside the folder, or empty for a path elsewhere.
  std::string NameOf(const char* path) const;

  const std::string folder_;
  mutable std::mutex mutex_;
  std::vector<Op> ops_;
  std::map<int, ino_t> files_;  // descriptors of files in the folder
  std::set<int> folders_;       // descriptors of the folder itself
};

}  // namespace kestron4::crash
