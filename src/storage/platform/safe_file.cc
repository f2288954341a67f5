#include "storage/platform/safe_file.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <utility>

#include "storage/platform/file_services.h"
#include "storage/platform/full_io.h"

namespace kestron4 {
namespace {

constexpr const char* kScratchSuffix = ".kestron4-scratch";
constexpr std::size_t kMaxNameBytes = 255;  // NAME_MAX of the common file systems
// A claimed scratch file can be taken away between open and lock by a
// writer that finished with it; each such turn is one more try.
constexpr int kClaimTries = 1000;

std::size_t LastSeparator(const std::string& path) {
  std::size_t at = std::string::npos;
  for (std::size_t i = 0; i < path.size(); ++i)
    if (IsPathSeparator(path[i])) at = i;
  return at;
}

uint64_t Fnv1a(const std::string& text) {
  uint64_t hash = 14695981039346656037ull;
  for (const unsigned char c : text) hash = (hash ^ c) * 1099511628211ull;
  return hash;
}

}  // namespace

std::string ScratchPathFor(const std::string& target) {
  const std::size_t slash = LastSeparator(target);
  std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  const std::size_t fixed = 1 + std::char_traits<char>::length(kScratchSuffix);
  if (name.size() + fixed > kMaxNameBytes) {
    char hash[18];
    std::snprintf(hash, sizeof hash, "~%016llx", static_cast<unsigned long long>(Fnv1a(name)));
    // Cut where a UTF-8 character starts, or the name is no longer UTF-8.
    std::size_t keep = kMaxNameBytes - fixed - 17;
    while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
    name = name.substr(0, keep) + hash;
  }
  const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  return folder + "." + name + kScratchSuffix;
}

SafeFile::~SafeFile() {
  if (!committed_) Abandon();
}

bool SafeFile::Open(const std::string& target) {
  if (!IsUsablePath(target)) {
    errno = ENOENT;
    return false;
  }
  Platform& platform = CurrentPlatform();
  PathInfo existing;
  bool missing = false;
  const bool exists = platform.Inspect(target, &existing, &missing);
  if (!exists && !missing) return false;
  if (exists && !existing.regular) {
    PathInfo folderInfo;
    // A folder cannot be written at all; a device or a pipe in place.
    if (FileExists(target + "/.", &folderInfo)) {
      errno = EISDIR;
      return false;
    }
    target_ = target;
    inPlace_ = true;
    return true;
  }
  if (!platform.ResolveTarget(target, &target_)) return false;
  if (exists && !existing.writable) {
    errno = EACCES;
    return false;
  }
  scratch_ = ScratchPathFor(target_);
  if (!Claim()) {
    scratch_.clear();
    return false;
  }
  if (exists && !platform.CopyPermissions(file_, existing)) {
    const int error = errno;
    Abandon();
    errno = error;
    return false;
  }
  return true;
}

// Creates the scratch file afresh and locks it. A file already there is a
// live writer's (its lock is held: wait) or a dead one's (removed once its
// lock is ours). Whoever holds the lock may still move or remove the file,
// so after every lock the name must still lead to the locked file.
bool SafeFile::Claim() {
  Platform& platform = CurrentPlatform();
  for (int attempt = 0; attempt < kClaimTries; ++attempt) {
    NativeFile file = platform.Open(scratch_, kOpenWrite | kOpenCreate | kOpenExclusive);
    const bool created = file != kNoFile;
    if (!created) {
      PathInfo there;
      bool missing = false;
      if (!platform.Inspect(scratch_, &there, &missing)) {
        if (missing) continue;
        return false;
      }
      if (!there.regular) {
        errno = EEXIST;
        return false;
      }
      file = platform.Open(scratch_, kOpenWrite);
      if (file == kNoFile) {
        if (!FileExists(scratch_)) continue;
        return false;
      }
    }
    FileId locked;
    PathInfo named;
    if (!platform.Lock(file) || !platform.Identify(file, &locked)) {
      const int error = errno;
      if (created) platform.Remove(scratch_);
      platform.Close(file);
      errno = error;
      return false;
    }
    const bool current = platform.Inspect(scratch_, &named) && named.id == locked;
    if (current && created && named.size == 0) {
      file_ = file;
      return true;
    }
    if (current) platform.Remove(scratch_);  // a dead writer's leftover
    platform.Close(file);
  }
  errno = EAGAIN;
  return false;
}

bool SafeFile::WriteAll(const void* data, std::size_t size) {
  if (file_ == kNoFile) {
    errno = EBADF;
    return false;
  }
  return WriteFull(CurrentPlatform(), file_, data, size);
}

bool SafeFile::Commit() {
  if (file_ == kNoFile || committed_) {
    errno = EBADF;
    return false;
  }
  Platform& platform = CurrentPlatform();
  // The move comes before the close: until the close the lock keeps the
  // next writer off the scratch name.
  if (!platform.Sync(file_) || !platform.Replace(scratch_, target_)) {
    const int error = errno;
    Abandon();
    errno = error;
    return false;
  }
  committed_ = true;
  platform.Close(std::exchange(file_, kNoFile));  // flushed already: nothing left to report
  return platform.SyncFolder(ParentDirectory(target_));
}

void SafeFile::Abandon() {
  Platform& platform = CurrentPlatform();
  if (file_ != kNoFile) {
    // Still locked: nobody else can have taken the name yet.
    platform.Remove(scratch_);
    platform.Close(std::exchange(file_, kNoFile));
  }
}

}  // namespace kestron4
