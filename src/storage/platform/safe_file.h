// Replacing a file so that a crash at any moment leaves either the old file
// or the complete new one under its name, and a returned Commit() means the
// new one survives a power cut. Every writer of the project goes through
// this: the library's saves and exports, the command-line program's outputs
// and, through the library, the Python package.
//
// The bytes go to a scratch file beside the target, named after it:
//
//   <folder>/.<name>.kestron4-scratch
//
// which is written, flushed to disk (fsync), renamed over the target, after
// which the folder is flushed too. A failed flush is a failed Commit().
//
// Each target has one scratch name, and a writer holds an exclusive lock
// (Platform::Lock) on its scratch file from the moment it claims it until it has renamed it.
// So at most one scratch file per target can outlive a crash, and the next
// writer of that target tells such a leftover (nobody holds its lock) from a
// live writer's file (locked): it removes the first and waits for the
// second to finish. Two writers of one target therefore take turns.
//
// A symbolic link at the target is followed, so the link stays and the file
// it points to is replaced. An existing target that is not a regular file (a
// device, a pipe) cannot be replaced by renaming: InPlace() then tells the
// caller to write it directly.
//
// Calls go through CurrentPlatform(). Failures report false (on POSIX, errno
// tells why).
//
//   SafeFile file;
//   if (!file.Open(path)) ...;           // nothing created
//   write everything to file.fd() ...;
//   if (!file.Commit()) ...;             // target unchanged or replaced, never torn
#pragma once

#include <cstddef>
#include <string>

#include "storage/platform/platform.h"

namespace kestron4 {

// What the scratch file of target is called (links not followed); a name
// too long for the folder keeps a prefix of the target's name and a hash of
// all of it.
std::string ScratchPathFor(const std::string& target);

class SafeFile {
 public:
  SafeFile() = default;
  // Without a successful Commit(): removes the scratch file.
  ~SafeFile();
  SafeFile(const SafeFile&) = delete;
  SafeFile& operator=(const SafeFile&) = delete;

  // Claims the scratch file of target, empty, with the target's permission
  // bits (a new target's follow the umask). Waits while another writer of
  // the same target is live. False when the path is unusable, an existing
  // target may not be written by this process
  // (as opening it for writing would refuse), or the scratch file cannot be
  // made. REQUIRES: called once.
  bool Open(const std::string& target);

  // True after Open() found a target that is not a regular file: there is no
  // scratch file and file() is kNoFile; the caller writes the target itself.
  bool InPlace() const { return inPlace_; }
  // The scratch file, open for reading and writing at offset 0.
  NativeFile file() const { return file_; }
  // The file that gets replaced (links followed).
  const std::string& TargetPath() const { return target_; }
  const std::string& ScratchPath() const { return scratch_; }

  // Writes all of size bytes at the descriptor's offset.
  bool WriteAll(const void* data, std::size_t size);

  // REQUIRES: Open() succeeded, every byte is written, not InPlace().
  // Flushes the scratch file, moves it over the target and flushes the
  // folder. On failure before the rename the scratch file is removed and the
  // target is unchanged; a failed flush of the folder leaves the new file in
  // place but not known to be durable.
  bool Commit();

  // Removes the scratch file now; Commit() is then refused.
  void Abandon();

 private:
  bool Claim();

  std::string target_;
  std::string scratch_;
  NativeFile file_ = kNoFile;
  bool inPlace_ = false;
  bool committed_ = false;
};

}  // namespace kestron4
