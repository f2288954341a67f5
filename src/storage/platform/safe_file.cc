#include "storage/platform/safe_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <utility>

#include "storage/platform/file_services.h"
#include "storage/platform/full_io.h"
#include "storage/platform/platform.h"

namespace kestron4 {
namespace {

constexpr const char* kScratchSuffix = ".kestron4-scratch";
constexpr std::size_t kMaxNameBytes = 255;  // NAME_MAX of the common file systems
// A claimed scratch file can be taken away between open and lock by a
// writer that finished with it; each such turn is one more try.
constexpr int kClaimTries = 1000;

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

uint64_t Fnv1a(const std::string& text) {
  uint64_t hash = 14695981039346656037ull;
  for (const unsigned char c : text) hash = (hash ^ c) * 1099511628211ull;
  return hash;
}

template <class Call>
int RetryEintr(Call call) {
  for (;;) {
    const int result = call();
    if (result >= 0 || errno != EINTR) return result;
  }
}

bool SameInode(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

std::string ScratchPathFor(const std::string& target) {
  std::string name = BaseName(target);
  const std::size_t fixed = 1 + std::char_traits<char>::length(kScratchSuffix);
  if (name.size() + fixed > kMaxNameBytes) {
    char hash[18];
    std::snprintf(hash, sizeof hash, "~%016llx", static_cast<unsigned long long>(Fnv1a(name)));
    name = name.substr(0, kMaxNameBytes - fixed - 17) + hash;
  }
  const std::size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  return folder + "." + name + kScratchSuffix;
}

SafeFile::~SafeFile() {
  if (!committed_) Abandon();
  if (folder_ >= 0) CurrentPlatform().Close(folder_);
}

bool SafeFile::Open(const std::string& target) {
  if (!IsUsablePath(target)) {
    errno = ENOENT;
    return false;
  }
  Platform& platform = CurrentPlatform();
  struct stat existing;
  const bool exists = platform.Stat(target.c_str(), &existing) == 0;
  if (!exists && errno != ENOENT) return false;
  if (exists && S_ISDIR(existing.st_mode)) {
    errno = EISDIR;
    return false;
  }
  if (exists && !S_ISREG(existing.st_mode)) {
    target_ = target;
    inPlace_ = true;
    return true;
  }
  if (!ResolveSymlinks(target, &target_)) return false;
  if (exists && platform.Access(target_.c_str(), W_OK) != 0) return false;
  // The folder is opened first: a folder that cannot be flushed is found
  // out before anything is written.
  folder_ = RetryEintr([&] {
    return platform.Open(ParentDirectory(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  });
  if (folder_ < 0) return false;
  scratch_ = ScratchPathFor(target_);
  if (!Claim()) {
    scratch_.clear();
    return false;
  }
  if (exists && platform.Fchmod(fd_, existing.st_mode & 0777) != 0) {
    const int error = errno;
    Abandon();
    errno = error;
    return false;
  }
  return true;
}

// Creates the scratch file afresh and locks it. A file already there is a
// live writer's (its lock is held: wait) or a dead one's (removed once its
// lock is ours). Whoever holds the lock may still rename or remove the file,
// so after every lock the name must still lead to the locked file.
bool SafeFile::Claim() {
  Platform& platform = CurrentPlatform();
  const char* path = scratch_.c_str();
  for (int attempt = 0; attempt < kClaimTries; ++attempt) {
    int fd = RetryEintr(
        [&] { return platform.Open(path, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666); });
    const bool created = fd >= 0;
    if (!created) {
      if (errno != EEXIST) return false;
      fd = RetryEintr([&] { return platform.Open(path, O_RDWR | O_NOFOLLOW | O_CLOEXEC, 0); });
      if (fd < 0) {
        if (errno == ENOENT) continue;
        return false;
      }
    }
    struct stat locked, named;
    if (RetryEintr([&] { return platform.Flock(fd, LOCK_EX); }) != 0 ||
        platform.Fstat(fd, &locked) != 0) {
      const int error = errno;
      if (created) platform.Unlink(path);
      platform.Close(fd);
      errno = error;
      return false;
    }
    const bool current = platform.Lstat(path, &named) == 0 && SameInode(locked, named);
    if (current && created && locked.st_size == 0) {
      fd_ = fd;
      return true;
    }
    if (current) platform.Unlink(path);  // a dead writer's leftover
    platform.Close(fd);
  }
  errno = EAGAIN;
  return false;
}

bool SafeFile::WriteAll(const void* data, std::size_t size) {
  if (fd_ < 0) {
    errno = EBADF;
    return false;
  }
  return WriteFull(CurrentPlatform(), fd_, data, size);
}

bool SafeFile::Commit() {
  if (fd_ < 0 || committed_) {
    errno = EBADF;
    return false;
  }
  Platform& platform = CurrentPlatform();
  // The rename comes before the close: until the close the lock keeps the
  // next writer off the scratch name.
  if (platform.Fsync(fd_) != 0 || platform.Rename(scratch_.c_str(), target_.c_str()) != 0) {
    const int error = errno;
    Abandon();
    errno = error;
    return false;
  }
  committed_ = true;
  platform.Close(std::exchange(fd_, -1));  // flushed already: nothing left to report
  const int synced = platform.Fsync(folder_);
  const int error = errno;
  platform.Close(std::exchange(folder_, -1));
  errno = error;
  return synced == 0;
}

void SafeFile::Abandon() {
  Platform& platform = CurrentPlatform();
  if (fd_ >= 0) {
    // Still locked: nobody else can have taken the name yet.
    platform.Unlink(scratch_.c_str());
    platform.Close(std::exchange(fd_, -1));
  }
}

}  // namespace kestron4
