#include "support/faulty_platform.h"

#include <sys/mman.h>

#include <cerrno>
#include <filesystem>

namespace kestron4 {

void FaultyPlatform::FailNth(FaultOp op, int n, int error, bool sticky) {
  std::lock_guard<std::mutex> hold(mutex_);
  armed_op_ = op;
  armed_at_ = calls_[static_cast<int>(op)] + n;
  armed_error_ = error;
  sticky_ = sticky;
  injected_ = false;
}

void FaultyPlatform::LimitTransfers(size_t limit) {
  std::lock_guard<std::mutex> hold(mutex_);
  transfer_limit_ = limit;
}

int FaultyPlatform::Calls(FaultOp op) const {
  std::lock_guard<std::mutex> hold(mutex_);
  return calls_[static_cast<int>(op)];
}

bool FaultyPlatform::Injected() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return injected_;
}

void FaultyPlatform::Reset() {
  std::lock_guard<std::mutex> hold(mutex_);
  for (int& count : calls_) count = 0;
  armed_op_ = FaultOp::kCount;
  armed_at_ = 0;
  injected_ = false;
  sticky_ = false;
}

bool FaultyPlatform::Fail(FaultOp op) {
  std::lock_guard<std::mutex> hold(mutex_);
  const int call = ++calls_[static_cast<int>(op)];
  if (op != armed_op_ || armed_at_ == 0) return false;
  if (call == armed_at_ || (sticky_ && call > armed_at_)) {
    injected_ = true;
    errno = armed_error_;
    return true;
  }
  return false;
}

size_t FaultyPlatform::Cap(size_t count) const {
  std::lock_guard<std::mutex> hold(mutex_);
  return transfer_limit_ != 0 && count > transfer_limit_ ? transfer_limit_ : count;
}

int FaultyPlatform::Open(const char* path, int flags, mode_t mode) {
  return Fail(FaultOp::kOpen) ? -1 : PlatformWrapper::Open(path, flags, mode);
}

int FaultyPlatform::Close(int fd) {
  const bool fail = Fail(FaultOp::kClose);
  const int error = errno;
  const int result = PlatformWrapper::Close(fd);
  if (!fail) return result;
  errno = error;
  return -1;
}

ssize_t FaultyPlatform::Read(int fd, void* buffer, size_t count) {
  return Fail(FaultOp::kRead) ? -1 : PlatformWrapper::Read(fd, buffer, Cap(count));
}

ssize_t FaultyPlatform::PRead(int fd, void* buffer, size_t count, off_t offset) {
  return Fail(FaultOp::kRead) ? -1 : PlatformWrapper::PRead(fd, buffer, Cap(count), offset);
}

ssize_t FaultyPlatform::Write(int fd, const void* buffer, size_t count) {
  return Fail(FaultOp::kWrite) ? -1 : PlatformWrapper::Write(fd, buffer, Cap(count));
}

off_t FaultyPlatform::Lseek(int fd, off_t offset, int whence) {
  return Fail(FaultOp::kLseek) ? -1 : PlatformWrapper::Lseek(fd, offset, whence);
}

int FaultyPlatform::Fstat(int fd, struct stat* info) {
  return Fail(FaultOp::kFstat) ? -1 : PlatformWrapper::Fstat(fd, info);
}

int FaultyPlatform::Fsync(int fd) {
  return Fail(FaultOp::kFsync) ? -1 : PlatformWrapper::Fsync(fd);
}

int FaultyPlatform::Fchmod(int fd, mode_t mode) {
  return Fail(FaultOp::kFchmod) ? -1 : PlatformWrapper::Fchmod(fd, mode);
}

int FaultyPlatform::DupCloexec(int fd) {
  return Fail(FaultOp::kDup) ? -1 : PlatformWrapper::DupCloexec(fd);
}

int FaultyPlatform::Rename(const char* from, const char* to) {
  return Fail(FaultOp::kRename) ? -1 : PlatformWrapper::Rename(from, to);
}

int FaultyPlatform::Unlink(const char* path) {
  return Fail(FaultOp::kUnlink) ? -1 : PlatformWrapper::Unlink(path);
}

int FaultyPlatform::Stat(const char* path, struct stat* info) {
  return Fail(FaultOp::kStat) ? -1 : PlatformWrapper::Stat(path, info);
}

int FaultyPlatform::Lstat(const char* path, struct stat* info) {
  return Fail(FaultOp::kLstat) ? -1 : PlatformWrapper::Lstat(path, info);
}

int FaultyPlatform::Access(const char* path, int mode) {
  return Fail(FaultOp::kAccess) ? -1 : PlatformWrapper::Access(path, mode);
}

ssize_t FaultyPlatform::Readlink(const char* path, char* buffer, size_t size) {
  return Fail(FaultOp::kReadlink) ? -1 : PlatformWrapper::Readlink(path, buffer, size);
}

void* FaultyPlatform::Mmap(size_t length, int prot, int flags, int fd, off_t offset) {
  return Fail(FaultOp::kMmap) ? MAP_FAILED : PlatformWrapper::Mmap(length, prot, flags, fd, offset);
}

int FaultyPlatform::Munmap(void* address, size_t length) {
  const bool fail = Fail(FaultOp::kMunmap);
  const int error = errno;
  const int result = PlatformWrapper::Munmap(address, length);
  if (!fail) return result;
  errno = error;
  return -1;
}

ssize_t FaultyPlatform::GetRandom(void* buffer, size_t count, unsigned flags) {
  return Fail(FaultOp::kGetRandom) ? -1 : PlatformWrapper::GetRandom(buffer, count, flags);
}

int OpenDescriptorCount() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

}  // namespace kestron4
