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

// Each call counts; the armed one fails with its errno instead of going through.
// clang-format off
#define KESTRON4_PASS(Result, Name, Op, Failed, Params, Args) \
  Result FaultyPlatform::Name Params { return Fail(FaultOp::Op) ? Failed : PlatformWrapper::Name Args; }

KESTRON4_PASS(int, Open, kOpen, -1, (const char* p, int f, mode_t m), (p, f, m))
KESTRON4_PASS(ssize_t, Read, kRead, -1, (int fd, void* b, size_t n), (fd, b, Cap(n)))
KESTRON4_PASS(ssize_t, PRead, kRead, -1, (int fd, void* b, size_t n, off_t o), (fd, b, Cap(n), o))
KESTRON4_PASS(ssize_t, Write, kWrite, -1, (int fd, const void* b, size_t n), (fd, b, Cap(n)))
KESTRON4_PASS(off_t, Lseek, kLseek, -1, (int fd, off_t o, int w), (fd, o, w))
KESTRON4_PASS(int, Fstat, kFstat, -1, (int fd, struct stat* i), (fd, i))
KESTRON4_PASS(int, Fsync, kFsync, -1, (int fd), (fd))
KESTRON4_PASS(int, Fchmod, kFchmod, -1, (int fd, mode_t m), (fd, m))
KESTRON4_PASS(int, DupCloexec, kDup, -1, (int fd), (fd))
KESTRON4_PASS(int, Rename, kRename, -1, (const char* a, const char* b), (a, b))
KESTRON4_PASS(int, Unlink, kUnlink, -1, (const char* p), (p))
KESTRON4_PASS(int, Stat, kStat, -1, (const char* p, struct stat* i), (p, i))
KESTRON4_PASS(int, Lstat, kLstat, -1, (const char* p, struct stat* i), (p, i))
KESTRON4_PASS(int, Access, kAccess, -1, (const char* p, int m), (p, m))
KESTRON4_PASS(ssize_t, Readlink, kReadlink, -1, (const char* p, char* b, size_t n), (p, b, n))
KESTRON4_PASS(void*, Mmap, kMmap, MAP_FAILED, (size_t n, int p, int f, int fd, off_t o), (n, p, f, fd, o))
KESTRON4_PASS(ssize_t, GetRandom, kGetRandom, -1, (void* b, size_t n, unsigned f), (b, n, f))
#undef KESTRON4_PASS
// clang-format on

// A failed close or munmap still releases its resource, as Linux does.
int FaultyPlatform::Close(int fd) {
  const bool fail = Fail(FaultOp::kClose);
  const int error = errno;
  const int result = PlatformWrapper::Close(fd);
  if (!fail) return result;
  errno = error;
  return -1;
}

int FaultyPlatform::Munmap(void* address, size_t length) {
  const bool fail = Fail(FaultOp::kMunmap);
  const int error = errno;
  const int result = PlatformWrapper::Munmap(address, length);
  if (!fail) return result;
  errno = error;
  return -1;
}

int OpenDescriptorCount() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

}  // namespace kestron4
