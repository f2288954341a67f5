// The Platform of Linux and other POSIX systems.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "storage/platform/platform.h"

namespace kestron4 {
namespace {

// The kernel itself gives up after 40 links in one lookup.
constexpr int kMaxLinkHops = 40;
// No path the kernel accepts is longer than PATH_MAX; this leaves room for
// file systems that report longer link targets.
constexpr size_t kMaxLinkText = size_t{1} << 16;
// Linux moves at most about 2 GiB per call.
constexpr size_t kMaxChunk = size_t{1} << 30;
constexpr mode_t kNewFileMode = 0666;  // narrowed by the process umask

template <typename Call>
auto Retry(Call call) {
  for (;;) {
    const auto result = call();
    if (result >= 0 || errno != EINTR) return result;
  }
}

int Fd(NativeFile file) { return static_cast<int>(file); }

FileId IdOf(const struct stat& info) {
  return FileId{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
}

std::string ParentOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool ReadLinkText(const std::string& path, std::string* text) {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t length = readlink(path.c_str(), buffer.data(), buffer.size());
    if (length < 0) return false;
    if (static_cast<size_t>(length) < buffer.size()) {
      text->assign(buffer.data(), static_cast<size_t>(length));
      return true;
    }
    if (buffer.size() >= kMaxLinkText) {
      errno = ENAMETOOLONG;
      return false;
    }
    buffer.resize(buffer.size() * 2);
  }
}

// Makes a rename durable. The file is complete and in place whether or not
// this works.
bool SyncDirectory(const std::string& directory) {
  const int fd = Retry([&] { return open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
  if (fd < 0) return false;
  const bool ok = fsync(fd) == 0;
  close(fd);
  return ok;
}

class Posix final : public Platform {
 public:
  NativeFile Open(const std::string& path, unsigned flags) override {
    int os = O_CLOEXEC | ((flags & kOpenWrite) ? O_RDWR : O_RDONLY);
    if (flags & kOpenCreate) os |= O_CREAT;
    if (flags & kOpenTruncate) os |= O_TRUNC;
    if (flags & kOpenExclusive) os |= O_EXCL;
    const int fd = Retry([&] { return open(path.c_str(), os, kNewFileMode); });
    return fd < 0 ? kNoFile : fd;
  }
  bool Close(NativeFile file) override { return close(Fd(file)) == 0; }
  NativeFile Duplicate(NativeFile file) override {
    const int fd = fcntl(Fd(file), F_DUPFD_CLOEXEC, 0);
    return fd < 0 ? kNoFile : fd;
  }
  int64_t Read(NativeFile file, void* buffer, size_t count) override {
    return Retry([&] { return read(Fd(file), buffer, std::min(count, kMaxChunk)); });
  }
  int64_t ReadAt(NativeFile file, void* buffer, size_t count, uint64_t offset) override {
    if (offset > static_cast<uint64_t>(INT64_MAX)) return -1;
    return Retry([&] {
      return pread(Fd(file), buffer, std::min(count, kMaxChunk), static_cast<off_t>(offset));
    });
  }
  int64_t Write(NativeFile file, const void* buffer, size_t count) override {
    return Retry([&] { return write(Fd(file), buffer, std::min(count, kMaxChunk)); });
  }
  int64_t Seek(NativeFile file, int64_t offset, FileOrigin origin) override {
    static constexpr int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    if (origin < kFromBegin || origin > kFromEnd) return -1;
    return lseek(Fd(file), offset, kWhence[origin]);
  }
  bool Size(NativeFile file, uint64_t* size) override {
    struct stat info;
    if (fstat(Fd(file), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    *size = static_cast<uint64_t>(info.st_size);
    return true;
  }
  bool Sync(NativeFile file) override { return fsync(Fd(file)) == 0; }
  bool Identify(NativeFile file, FileId* id) override {
    struct stat info;
    if (fstat(Fd(file), &info) != 0) return false;
    *id = IdOf(info);
    return true;
  }
  bool PathOf(NativeFile file, std::string* path) override;
  bool ProbeExtent(NativeFile file, uint64_t offset, uint64_t limit, Extent* extent) override;

  bool Inspect(const std::string& path, PathInfo* info, bool* missing) override {
    struct stat found;
    const bool ok = stat(path.c_str(), &found) == 0;
    if (missing != nullptr) *missing = !ok && errno == ENOENT;
    if (!ok) return false;
    info->regular = S_ISREG(found.st_mode);
    info->directory = S_ISDIR(found.st_mode);
    info->writable = faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
    info->size = static_cast<uint64_t>(found.st_size);
    info->permissions = static_cast<uint32_t>(found.st_mode & 07777);
    info->id = IdOf(found);
    return true;
  }
  bool CopyPermissions(NativeFile file, const PathInfo& from) override {
    return fchmod(Fd(file), static_cast<mode_t>(from.permissions)) == 0;
  }
  bool ResolveTarget(const std::string& path, std::string* target) override;
  bool Replace(const std::string& source, const std::string& target, bool* across) override {
    const bool ok = rename(source.c_str(), target.c_str()) == 0;
    if (across != nullptr) *across = !ok && errno == EXDEV;
    return ok;
  }
  bool Remove(const std::string& path) override { return unlink(path.c_str()) == 0; }
  bool SyncFolder(const std::string& folder) override { return SyncDirectory(folder); }
  bool Lock(NativeFile file) override {
    return Retry([&] { return flock(Fd(file), LOCK_EX); }) == 0;
  }

  const void* Map(NativeFile file, uint64_t size) override {
    void* view = mmap(nullptr, size, PROT_READ, MAP_SHARED, Fd(file), 0);
    return view == MAP_FAILED ? nullptr : view;
  }
  bool Unmap(const void* view, uint64_t size) override {
    return munmap(const_cast<void*>(view), size) == 0;
  }

  bool RandomBytes(void* buffer, size_t count) override {
    auto* out = static_cast<uint8_t*>(buffer);
    while (count > 0) {
      const ssize_t got = Retry([&] { return getrandom(out, count, 0); });
      if (got <= 0) return false;
      out += got;
      count -= static_cast<size_t>(got);
    }
    return true;
  }
  std::string TempDirectory() override {
    const char* const variable = std::getenv("TMPDIR");
    if (variable != nullptr && *variable != '\0') return variable;
    return "/tmp";
  }
};

bool Posix::PathOf(NativeFile file, std::string* path) {
  std::string text;
  if (file < 0 || !ReadLinkText("/proc/self/fd/" + std::to_string(file), &text)) return false;
  // Pipes and sockets read as "pipe:[1234]" and the like.
  if (text.empty() || text.front() != '/') return false;
  // A deleted file reads as its old path plus " (deleted)"; a file renamed
  // over may have left its old name to another file. Either way the name
  // would open the wrong bytes.
  struct stat open_file, named_file;
  if (fstat(Fd(file), &open_file) != 0 || stat(text.c_str(), &named_file) != 0 ||
      IdOf(open_file) != IdOf(named_file)) {
    return false;
  }
  *path = std::move(text);
  return true;
}

bool Posix::ProbeExtent(NativeFile file, uint64_t offset, uint64_t limit, Extent* extent) {
  const int fd = Fd(file);
  struct stat info;
  if (offset > static_cast<uint64_t>(INT64_MAX) || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
    return false;
  const auto size = static_cast<uint64_t>(info.st_size);
  *extent = Extent{};
  if (offset >= size) {
    extent->data = limit;
    return true;
  }
  errno = 0;
  const off_t data = lseek(fd, static_cast<off_t>(offset), SEEK_DATA);
  if (data < 0 && errno != ENXIO) return false;
  // No data at or after offset: a hole up to the end of the file.
  const uint64_t dataStart = data < 0 ? size : static_cast<uint64_t>(data);
  if (dataStart < offset) return false;
  extent->hole = std::min(dataStart - offset, limit);
  if (extent->hole == limit) return true;
  if (dataStart >= size) {
    extent->data = limit - extent->hole;  // past the end: left to the read
    return true;
  }
  const off_t holeStart = lseek(fd, static_cast<off_t>(dataStart), SEEK_HOLE);
  if (holeStart < 0 || static_cast<uint64_t>(holeStart) <= dataStart) return false;
  extent->data = std::min(static_cast<uint64_t>(holeStart) - dataStart, limit - extent->hole);
  return true;
}

bool Posix::ResolveTarget(const std::string& path, std::string* target) {
  std::string current = path;
  for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
    struct stat info;
    if (lstat(current.c_str(), &info) != 0) {
      if (errno != ENOENT) return false;
      *target = std::move(current);
      return true;
    }
    if (!S_ISLNK(info.st_mode)) {
      *target = std::move(current);
      return true;
    }
    std::string link;
    if (!ReadLinkText(current, &link) || link.empty()) return false;
    current = link.front() == '/' ? link : ParentOf(current) + "/" + link;
  }
  return false;
}

}  // namespace

Platform& SystemPlatform() {
  static Posix instance;
  return instance;
}

int CountOpenFiles() {
  std::error_code error;
  int count = 0;
  for (std::filesystem::directory_iterator it("/proc/self/fd", error), end; !error && it != end;
       it.increment(error)) {
    ++count;
  }
  return error ? -1 : count;
}

}  // namespace kestron4
