#include "storage/platform/file_services.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "storage/platform/full_io.h"
#include "storage/platform/platform.h"
#include "storage/platform/temp_paths.h"
#include "text/text_codec.h"

namespace kestron4 {
namespace {

// The kernel itself gives up after 40 links in one lookup.
constexpr int kMaxLinkHops = 40;
constexpr size_t kCopyBuffer = size_t{64} << 10;
// No path the kernel accepts is longer than PATH_MAX; this leaves room for
// file systems that report longer link targets.
constexpr size_t kMaxLinkText = size_t{1} << 16;

bool ReadLinkText(Platform& platform, const std::string& path, std::string* text) {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t length = platform.Readlink(path.c_str(), buffer.data(), buffer.size());
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

// Closes a descriptor on every way out of CopyAcross.
class Descriptor {
 public:
  Descriptor(Platform& platform, int fd) : platform_(platform), fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) platform_.Close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  // Closes now and reports the result; close can report a late write error.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return platform_.Close(fd) == 0;
  }

 private:
  Platform& platform_;
  int fd_;
};

// The cross-file-system half of ReplaceFile.
bool CopyAcross(Platform& platform, const std::string& source, const std::string& target) {
  Descriptor in(platform, platform.Open(source.c_str(), O_RDONLY | O_CLOEXEC, 0));
  if (in.get() < 0) return false;
  struct stat info;
  if (platform.Fstat(in.get(), &info) != 0) return false;
  const std::string uuid = RandomUuid();
  if (uuid.empty()) return false;
  const std::string scratch = JoinPath(ParentDirectory(target), uuid);
  Descriptor out(platform, platform.Open(scratch.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                                         S_IRUSR | S_IWUSR));
  if (out.get() < 0) return false;
  bool ok = platform.Fchmod(out.get(), info.st_mode & 07777) == 0;
  std::vector<uint8_t> buffer(kCopyBuffer);
  while (ok) {
    const ssize_t got = platform.Read(in.get(), buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      ok = got == 0;
      break;
    }
    ok = WriteFull(platform, out.get(), buffer.data(), static_cast<size_t>(got));
  }
  ok = ok && platform.Fsync(out.get()) == 0;
  ok = out.Close() && ok;
  ok = ok && platform.Rename(scratch.c_str(), target.c_str()) == 0;
  if (!ok) {
    const int error = errno;
    platform.Unlink(scratch.c_str());
    errno = error;
    return false;
  }
  platform.Unlink(source.c_str());
  return true;
}

}  // namespace

bool IsUsablePath(std::string_view path) {
  return !path.empty() && path.find('\0') == std::string_view::npos;
}

bool FileExists(const std::string& path, struct stat* info) {
  if (!IsUsablePath(path)) return false;
  std::string lookup = path;
  if (lookup.size() > 1 && lookup.back() == '/') lookup.pop_back();
  struct stat found;
  if (CurrentPlatform().Stat(lookup.c_str(), &found) != 0) return false;
  if (info != nullptr) *info = found;
  return true;
}

bool FileExists(const std::u16string& path, struct stat* info) {
  return FileExists(Utf16ToUtf8(path), info);
}

bool SameFile(const std::string& a, const std::string& b) {
  if (!IsUsablePath(a) || !IsUsablePath(b)) return false;
  Platform& platform = CurrentPlatform();
  struct stat first, second;
  if (platform.Stat(a.c_str(), &first) != 0 || platform.Stat(b.c_str(), &second) != 0) {
    return false;
  }
  return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool SameFile(const std::u16string& a, const std::u16string& b) {
  return SameFile(Utf16ToUtf8(a), Utf16ToUtf8(b));
}

bool PathOfDescriptor(int fd, std::string* path) {
  if (fd < 0) return false;
  Platform& platform = CurrentPlatform();
  std::string text;
  if (!ReadLinkText(platform, "/proc/self/fd/" + std::to_string(fd), &text)) return false;
  // Pipes and sockets read as "pipe:[1234]" and the like.
  if (text.empty() || text.front() != '/') return false;
  // A deleted file reads as its old path plus " (deleted)"; a file renamed
  // over may have left its old name to another file. Either way the name
  // would open the wrong bytes.
  struct stat open_file, named_file;
  if (platform.Fstat(fd, &open_file) != 0 || platform.Stat(text.c_str(), &named_file) != 0 ||
      open_file.st_dev != named_file.st_dev || open_file.st_ino != named_file.st_ino) {
    return false;
  }
  *path = std::move(text);
  return true;
}

bool ReplaceFile(const std::string& source, const std::string& target) {
  if (!IsUsablePath(source) || !IsUsablePath(target)) return false;
  Platform& platform = CurrentPlatform();
  if (platform.Rename(source.c_str(), target.c_str()) == 0) return true;
  if (errno != EXDEV) return false;
  return CopyAcross(platform, source, target);
}

bool ReplaceFile(const std::u16string& source, const std::u16string& target) {
  return ReplaceFile(Utf16ToUtf8(source), Utf16ToUtf8(target));
}

bool DeleteFile(const std::string& path) {
  return IsUsablePath(path) && CurrentPlatform().Unlink(path.c_str()) == 0;
}

bool DeleteFile(const std::u16string& path) { return DeleteFile(Utf16ToUtf8(path)); }

std::string ParentDirectory(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool ResolveSymlinks(const std::string& path, std::string* resolved) {
  if (!IsUsablePath(path)) {
    errno = ENOENT;
    return false;
  }
  Platform& platform = CurrentPlatform();
  std::string current = path;
  for (int hop = 0; hop <= kMaxLinkHops; ++hop) {
    struct stat info;
    if (platform.Lstat(current.c_str(), &info) != 0) {
      if (errno != ENOENT) return false;
      *resolved = std::move(current);
      return true;
    }
    if (!S_ISLNK(info.st_mode)) {
      *resolved = std::move(current);
      return true;
    }
    std::string link;
    if (!ReadLinkText(platform, current, &link)) return false;
    if (link.empty()) {
      errno = ENOENT;
      return false;
    }
    current = link.front() == '/' ? link : JoinPath(ParentDirectory(current), link);
  }
  errno = ELOOP;
  return false;
}

}  // namespace kestron4
