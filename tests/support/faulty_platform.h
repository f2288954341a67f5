// A platform that fails one chosen system call, for fault tests in the style
// "fail the Nth call, for N = 1, 2, 3, ... until a run injects nothing":
//
//   for (int n = 1;; ++n) {
//     FaultyPlatform faulty;
//     faulty.FailNth(FaultOp::kWrite, n);
//     {
//       ScopedPlatform use(faulty);
//       ... run the operation, check the old data survived ...
//     }
//     if (!faulty.Injected()) break;
//   }
//
// It also counts calls per kind and can cap the bytes each read or write
// moves, to exercise loops over short transfers.
#pragma once

#include <cerrno>
#include <cstddef>
#include <mutex>

#include "storage/platform/platform.h"

namespace kestron4 {

enum class FaultOp {
  kOpen,
  kClose,
  kRead,  // read and pread
  kWrite,
  kLseek,
  kFstat,
  kFsync,
  kFchmod,
  kDup,
  kRename,
  kUnlink,
  kStat,
  kLstat,
  kAccess,
  kReadlink,
  kMmap,
  kMunmap,
  kGetRandom,
  kCount
};

class FaultyPlatform : public PlatformWrapper {
 public:
  // To stack two doubles, pass the inner one as a Platform&.
  explicit FaultyPlatform(Platform& target = PosixPlatform()) : PlatformWrapper(target) {}
  FaultyPlatform(const FaultyPlatform&) = delete;
  FaultyPlatform& operator=(const FaultyPlatform&) = delete;

  // The nth call of op from now on (1-based) fails with errno = error; with
  // sticky, every later call of op fails too. A failed close or munmap still
  // releases its resource, as Linux does. Replaces any earlier arming.
  void FailNth(FaultOp op, int n, int error = EIO, bool sticky = false);
  // Each read or write moves at most limit bytes (0: no cap).
  void LimitTransfers(size_t limit);

  // Calls of op since construction or Reset().
  int Calls(FaultOp op) const;
  // Whether the armed failure has fired.
  bool Injected() const;
  // Disarms and zeroes the counters.
  void Reset();

  int Open(const char* path, int flags, mode_t mode) override;
  int Close(int fd) override;
  ssize_t Read(int fd, void* buffer, size_t count) override;
  ssize_t PRead(int fd, void* buffer, size_t count, off_t offset) override;
  ssize_t Write(int fd, const void* buffer, size_t count) override;
  off_t Lseek(int fd, off_t offset, int whence) override;
  int Fstat(int fd, struct stat* info) override;
  int Fsync(int fd) override;
  int Fchmod(int fd, mode_t mode) override;
  int DupCloexec(int fd) override;
  int Rename(const char* from, const char* to) override;
  int Unlink(const char* path) override;
  int Stat(const char* path, struct stat* info) override;
  int Lstat(const char* path, struct stat* info) override;
  int Access(const char* path, int mode) override;
  ssize_t Readlink(const char* path, char* buffer, size_t size) override;
  void* Mmap(size_t length, int prot, int flags, int fd, off_t offset) override;
  int Munmap(void* address, size_t length) override;
  ssize_t GetRandom(void* buffer, size_t count, unsigned flags) override;

 private:
  // Counts a call of op; true (with errno set) when it must fail.
  bool Fail(FaultOp op);
  size_t Cap(size_t count) const;

  mutable std::mutex mutex_;
  int calls_[static_cast<int>(FaultOp::kCount)] = {};
  FaultOp armed_op_ = FaultOp::kCount;
  int armed_at_ = 0;  // call number that fails, 0 when disarmed
  int armed_error_ = 0;
  bool sticky_ = false;
  bool injected_ = false;
  size_t transfer_limit_ = 0;
};

// Descriptors the process holds now, so a fault test can check that a failed
// operation closed everything it opened.
int OpenDescriptorCount();

}  // namespace kestron4
