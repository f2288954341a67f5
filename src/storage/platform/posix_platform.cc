#include <fcntl.h>
#include <sys/mman.h>
#include <sys/file.h>
#include <sys/random.h>
#include <unistd.h>

#include <atomic>

#include "storage/platform/platform.h"

namespace kestron4 {
namespace {

class Posix final : public Platform {
 public:
  int Open(const char* path, int flags, mode_t mode) override { return open(path, flags, mode); }
  int Close(int fd) override { return close(fd); }
  ssize_t Read(int fd, void* buffer, size_t count) override { return read(fd, buffer, count); }
  ssize_t PRead(int fd, void* buffer, size_t count, off_t offset) override {
    return pread(fd, buffer, count, offset);
  }
  ssize_t Write(int fd, const void* buffer, size_t count) override {
    return write(fd, buffer, count);
  }
  off_t Lseek(int fd, off_t offset, int whence) override { return lseek(fd, offset, whence); }
  int Fstat(int fd, struct stat* info) override { return fstat(fd, info); }
  int Fsync(int fd) override { return fsync(fd); }
  int Fchmod(int fd, mode_t mode) override { return fchmod(fd, mode); }
  int Flock(int fd, int operation) override { return flock(fd, operation); }
  int DupCloexec(int fd) override { return fcntl(fd, F_DUPFD_CLOEXEC, 0); }
  int Rename(const char* from, const char* to) override { return rename(from, to); }
  int Unlink(const char* path) override { return unlink(path); }
  int Stat(const char* path, struct stat* info) override { return stat(path, info); }
  int Lstat(const char* path, struct stat* info) override { return lstat(path, info); }
  int Access(const char* path, int mode) override {
    return faccessat(AT_FDCWD, path, mode, AT_EACCESS);
  }
  ssize_t Readlink(const char* path, char* buffer, size_t size) override {
    return readlink(path, buffer, size);
  }
  void* Mmap(size_t length, int prot, int flags, int fd, off_t offset) override {
    return mmap(nullptr, length, prot, flags, fd, offset);
  }
  int Munmap(void* address, size_t length) override { return munmap(address, length); }
  ssize_t GetRandom(void* buffer, size_t count, unsigned flags) override {
    return getrandom(buffer, count, flags);
  }
};

// Constant-initialised, so it is usable from any static initialiser and
// outlives every object that could still call it.
std::atomic<Platform*> g_installed{nullptr};

}  // namespace

Platform& PosixPlatform() {
  static Posix instance;
  return instance;
}

Platform& CurrentPlatform() {
  Platform* const installed = g_installed.load(std::memory_order_acquire);
  return installed != nullptr ? *installed : PosixPlatform();
}

ScopedPlatform::ScopedPlatform(Platform& platform)
    : previous_(g_installed.exchange(&platform, std::memory_order_acq_rel)) {}

ScopedPlatform::~ScopedPlatform() { g_installed.store(previous_, std::memory_order_release); }

}  // namespace kestron4
