// The operating-system calls of the library, behind one interface. Every
// open, read, write, rename, mapping and random number goes through
// CurrentPlatform(), so a test can install a platform that fails exactly one
// chosen call and check that nothing was lost or leaked.
//
// Each method has the contract of the POSIX call it is named after: it returns
// what the call returns and leaves errno set on failure. Descriptors are
// plain ints. A Platform must be safe to call from several threads at once.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>

namespace kestron4 {

class Platform {
 public:
  virtual ~Platform() = default;

  // open(2); callers always pass O_CLOEXEC.
  virtual int Open(const char* path, int flags, mode_t mode) = 0;
  // close(2). The descriptor is released even when this reports failure.
  virtual int Close(int fd) = 0;
  virtual ssize_t Read(int fd, void* buffer, size_t count) = 0;
  virtual ssize_t PRead(int fd, void* buffer, size_t count, off_t offset) = 0;
  virtual ssize_t Write(int fd, const void* buffer, size_t count) = 0;
  virtual off_t Lseek(int fd, off_t offset, int whence) = 0;
  virtual int Fstat(int fd, struct stat* info) = 0;
  virtual int Fsync(int fd) = 0;
  virtual int Fchmod(int fd, mode_t mode) = 0;
  // flock(2): whole-file advisory locks, held by the open file description.
  virtual int Flock(int fd, int operation) = 0;
  // fcntl(fd, F_DUPFD_CLOEXEC, 0).
  virtual int DupCloexec(int fd) = 0;
  virtual int Rename(const char* from, const char* to) = 0;
  virtual int Unlink(const char* path) = 0;
  virtual int Stat(const char* path, struct stat* info) = 0;
  virtual int Lstat(const char* path, struct stat* info) = 0;
  // faccessat(AT_FDCWD, path, mode, AT_EACCESS): checked with the effective ids.
  virtual int Access(const char* path, int mode) = 0;
  virtual ssize_t Readlink(const char* path, char* buffer, size_t size) = 0;
  // mmap(2) with a null address hint; MAP_FAILED on failure.
  virtual void* Mmap(size_t length, int prot, int flags, int fd, off_t offset) = 0;
  // munmap(2). The range is released even when this reports failure.
  virtual int Munmap(void* address, size_t length) = 0;
  virtual ssize_t GetRandom(void* buffer, size_t count, unsigned flags) = 0;
};

// The real system calls.
Platform& PosixPlatform();

// The platform in force: PosixPlatform() unless a test installed another.
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
// overrides only the calls it wants to break.
class PlatformWrapper : public Platform {
 public:
  explicit PlatformWrapper(Platform& target) : target_(target) {}
  Platform& Target() const { return target_; }

  int Open(const char* path, int flags, mode_t mode) override {
    return target_.Open(path, flags, mode);
  }
  int Close(int fd) override { return target_.Close(fd); }
  ssize_t Read(int fd, void* buffer, size_t count) override {
    return target_.Read(fd, buffer, count);
  }
  ssize_t PRead(int fd, void* buffer, size_t count, off_t offset) override {
    return target_.PRead(fd, buffer, count, offset);
  }
  ssize_t Write(int fd, const void* buffer, size_t count) override {
    return target_.Write(fd, buffer, count);
  }
  off_t Lseek(int fd, off_t offset, int whence) override {
    return target_.Lseek(fd, offset, whence);
  }
  int Fstat(int fd, struct stat* info) override { return target_.Fstat(fd, info); }
  int Fsync(int fd) override { return target_.Fsync(fd); }
  int Fchmod(int fd, mode_t mode) override { return target_.Fchmod(fd, mode); }
  int Flock(int fd, int operation) override { return target_.Flock(fd, operation); }
  int DupCloexec(int fd) override { return target_.DupCloexec(fd); }
  int Rename(const char* from, const char* to) override { return target_.Rename(from, to); }
  int Unlink(const char* path) override { return target_.Unlink(path); }
  int Stat(const char* path, struct stat* info) override { return target_.Stat(path, info); }
  int Lstat(const char* path, struct stat* info) override { return target_.Lstat(path, info); }
  int Access(const char* path, int mode) override { return target_.Access(path, mode); }
  ssize_t Readlink(const char* path, char* buffer, size_t size) override {
    return target_.Readlink(path, buffer, size);
  }
  void* Mmap(size_t length, int prot, int flags, int fd, off_t offset) override {
    return target_.Mmap(length, prot, flags, fd, offset);
  }
  int Munmap(void* address, size_t length) override { return target_.Munmap(address, length); }
  ssize_t GetRandom(void* buffer, size_t count, unsigned flags) override {
    return target_.GetRandom(buffer, count, flags);
  }

 private:
  Platform& target_;
};

}  // namespace kestron4
