// The operating system under the library, behind one interface. Every open,
// read, write, flush, replace, mapping and random number goes through
// CurrentPlatform(), so a test can install a platform that fails exactly one
// chosen call and check that nothing was lost or leaked.
//
// The operations are the ones the library needs, not those of one system:
// posix_platform.cc and win32_platform.cc implement the same contract.
// Paths are UTF-8 (on POSIX, bytes handed to the system unchanged). Every
// call reports failure by its result and never throws; interrupted system
// calls are retried inside, so callers never see an interruption. A Platform
// must be safe to call from several threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

namespace kestron4 {

// An open file: a descriptor on POSIX, a HANDLE on Windows, kept in an
// integer wide enough for both. kNoFile is never an open file on either.
using NativeFile = std::intptr_t;
inline constexpr NativeFile kNoFile = -1;

// The public interface's file handle (an int descriptor or a HANDLE) as a
// NativeFile; -1 and INVALID_HANDLE_VALUE both become kNoFile.
template <typename Handle>
NativeFile ToNativeFile(Handle handle) {
  if constexpr (std::is_pointer_v<Handle>) {
    return reinterpret_cast<NativeFile>(handle);
  } else {
    return static_cast<NativeFile>(handle);
  }
}

// The other way: a NativeFile as the public interface's file handle.
template <typename Handle>
Handle FromNativeFile(NativeFile file) {
  if constexpr (std::is_pointer_v<Handle>) {
    return reinterpret_cast<Handle>(file);
  } else {
    return static_cast<Handle>(file);
  }
}

// Flags of Platform::Open. Without kOpenWrite the file is opened read-only.
enum OpenFlags : unsigned {
  kOpenRead = 0,
  kOpenWrite = 1,
  kOpenCreate = 2,     // create the file if it does not exist
  kOpenTruncate = 4,   // empty the file on opening
  kOpenExclusive = 8,  // with kOpenCreate: fail if the file exists
};

// What identifies a file on its system: device and inode, or volume serial
// number and file index. Equal for two names of one file (links), different
// for an equal copy.
struct FileId {
  uint64_t volume = 0;
  uint64_t index = 0;
  bool operator==(const FileId&) const = default;
};

struct PathInfo {
  bool regular = false;    // a regular file (not a directory or a device)
  bool directory = false;
  bool writable = false;   // this process may open it for writing
  uint64_t size = 0;       // meaningful for regular files
  uint32_t permissions = 0;  // what CopyPermissions hands on
  FileId id;
};

// Where a sparse file holds data and where it has holes.
struct Extent {
  uint64_t hole = 0;  // bytes from the probed offset that read as zeros
  uint64_t data = 0;  // bytes after those that hold data (may hold zeros)
};

enum FileOrigin : int { kFromBegin = 0, kFromCurrent = 1, kFromEnd = 2 };

class Platform {
 public:
  virtual ~Platform() = default;

  // kNoFile on failure. The file is not inherited by child processes and is
  // opened sharing read, write and delete access (so it can be replaced
  // while open, as on POSIX).
  virtual NativeFile Open(const std::string& path, unsigned flags) = 0;
  // The file is released even when this reports failure; a failure can be a
  // late write error.
  virtual bool Close(NativeFile file) = 0;
  // A second handle on the same open file (shared offset); kNoFile on failure.
  virtual NativeFile Duplicate(NativeFile file) = 0;
  // At the file's offset, moving it; at most count bytes. The bytes moved,
  // 0 at the end of the file, -1 on failure.
  virtual int64_t Read(NativeFile file, void* buffer, size_t count) = 0;
  // At offset, without using or moving the file's offset.
  virtual int64_t ReadAt(NativeFile file, void* buffer, size_t count, uint64_t offset) = 0;
  virtual int64_t Write(NativeFile file, const void* buffer, size_t count) = 0;
  // The new offset, or -1 (a negative target, an unknown origin).
  virtual int64_t Seek(NativeFile file, int64_t offset, FileOrigin origin) = 0;
  // The size of a regular file; false for anything else or on failure.
  virtual bool Size(NativeFile file, uint64_t* size) = 0;
  // Makes the file's bytes durable.
  virtual bool Sync(NativeFile file) = 0;
  virtual bool Identify(NativeFile file, FileId* id) = 0;
  // An absolute path that opens the file behind an open file. False when
  // there is none (pipes, deleted or replaced files, empty files on Windows).
  virtual bool PathOf(NativeFile file, std::string* path) = 0;
  // The sparse extent of a file at offset, both parts at most limit bytes
  // together; a range past the end counts as data. False when the system
  // cannot tell. May move the file's offset.
  virtual bool ProbeExtent(NativeFile file, uint64_t offset, uint64_t limit, Extent* extent) = 0;

  // Links followed. False when nothing is at path or it cannot be asked;
  // *missing (when given) then tells whether nothing was there.
  virtual bool Inspect(const std::string& path, PathInfo* info, bool* missing = nullptr) = 0;
  // Gives file the permissions that Inspect reported for another file.
  virtual bool CopyPermissions(NativeFile file, const PathInfo& from) = 0;
  // The file that writing path replaces: a symbolic link at path is followed
  // (the link stays, its target is replaced); a dangling link resolves to
  // where it points. The path itself where the system has no such links.
  virtual bool ResolveTarget(const std::string& path, std::string* target) = 0;
  // Moves source over target in one step that readers cannot see half done.
  // Making the move durable is SyncFolder's, where the system needs it. On
  // failure target is as it was. Where the
  // system cannot move between the two file systems, *across (when given) is
  // set and the caller copies instead (see ReplaceFile).
  virtual bool Replace(const std::string& source, const std::string& target,
                       bool* across = nullptr) = 0;
  virtual bool Remove(const std::string& path) = 0;
  // Makes the names in folder (creations, renames, removals) durable. A
  // system whose Replace is already durable may do nothing.
  virtual bool SyncFolder(const std::string& folder) = 0;
  // Waits for an exclusive lock on the whole file, held by this open file
  // (not by the process) until it is closed. Advisory: it keeps off only
  // those who ask for it too.
  virtual bool Lock(NativeFile file) = 0;

  // A read-only view of the first size bytes of file (size > 0), or null.
  virtual const void* Map(NativeFile file, uint64_t size) = 0;
  // The view is released even when this reports failure.
  virtual bool Unmap(const void* view, uint64_t size) = 0;

  // count bytes from the system's random source.
  virtual bool RandomBytes(void* buffer, size_t count) = 0;
  // The system's directory for temporary files, UTF-8; never empty.
  virtual std::string TempDirectory() = 0;
};

// The real system of the build: POSIX on Linux, Win32 on Windows.
Platform& SystemPlatform();

// How many files (descriptors or handles) the process holds open now, or -1
// when the system cannot tell. For tests that check nothing was left open.
int CountOpenFiles();

// The platform in force: SystemPlatform() unless a test installed another.
Platform& CurrentPlatform();

// Installs a platform for the lifetime of the object and restores the
// previous one afterwards. For tests: install before the code under test
// runs and keep the object alive while any stream or mapping made under it
// exists, since those call the platform again when they are destroyed.
class ScopedPlatform {
 public:
  explicit ScopedPlatform(Platform& platform);
  ~ScopedPlatform();
  ScopedPlatform(const ScopedPlatform&) = delete;
  ScopedPlatform& operator=(const ScopedPlatform&) = delete;

 private:
  Platform* previous_;
};

// Passes every call to another platform; a test double derives from it and
// overrides only the calls it wants to break or record.
class PlatformWrapper : public Platform {
 public:
  explicit PlatformWrapper(Platform& target) : target_(target) {}
  Platform& Target() const { return target_; }

  NativeFile Open(const std::string& path, unsigned flags) override {
    return target_.Open(path, flags);
  }
  bool Close(NativeFile file) override { return target_.Close(file); }
  NativeFile Duplicate(NativeFile file) override { return target_.Duplicate(file); }
  int64_t Read(NativeFile file, void* buffer, size_t count) override {
    return target_.Read(file, buffer, count);
  }
  int64_t ReadAt(NativeFile file, void* buffer, size_t count, uint64_t offset) override {
    return target_.ReadAt(file, buffer, count, offset);
  }
  int64_t Write(NativeFile file, const void* buffer, size_t count) override {
    return target_.Write(file, buffer, count);
  }
  int64_t Seek(NativeFile file, int64_t offset, FileOrigin origin) override {
    return target_.Seek(file, offset, origin);
  }
  bool Size(NativeFile file, uint64_t* size) override { return target_.Size(file, size); }
  bool Sync(NativeFile file) override { return target_.Sync(file); }
  bool Identify(NativeFile file, FileId* id) override { return target_.Identify(file, id); }
  bool PathOf(NativeFile file, std::string* path) override { return target_.PathOf(file, path); }
  bool ProbeExtent(NativeFile file, uint64_t offset, uint64_t limit, Extent* extent) override {
    return target_.ProbeExtent(file, offset, limit, extent);
  }
  bool Inspect(const std::string& path, PathInfo* info, bool* missing = nullptr) override {
    return target_.Inspect(path, info, missing);
  }
  bool CopyPermissions(NativeFile file, const PathInfo& from) override {
    return target_.CopyPermissions(file, from);
  }
  bool ResolveTarget(const std::string& path, std::string* target) override {
    return target_.ResolveTarget(path, target);
  }
  bool Replace(const std::string& source, const std::string& target,
               bool* across = nullptr) override {
    return target_.Replace(source, target, across);
  }
  bool Remove(const std::string& path) override { return target_.Remove(path); }
  bool SyncFolder(const std::string& folder) override { return target_.SyncFolder(folder); }
  bool Lock(NativeFile file) override { return target_.Lock(file); }
  const void* Map(NativeFile file, uint64_t size) override { return target_.Map(file, size); }
  bool Unmap(const void* view, uint64_t size) override { return target_.Unmap(view, size); }
  bool RandomBytes(void* buffer, size_t count) override {
    return target_.RandomBytes(buffer, count);
  }
  std::string TempDirectory() override { return target_.TempDirectory(); }

 private:
  Platform& target_;
};

}  // namespace kestron4
