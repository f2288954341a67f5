#include "crash/op_recorder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace kestron4::crash {

OpRecorder::OpRecorder(std::string folder)
    : PlatformWrapper(PosixPlatform()), folder_(std::move(folder)) {}

std::vector<Op> OpRecorder::Ops() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return ops_;
}

std::string OpRecorder::NameOf(const char* path) const {
  const std::string p = path;
  if (p.size() <= folder_.size() + 1 || p.compare(0, folder_.size(), folder_) != 0 ||
      p[folder_.size()] != '/' || p.find('/', folder_.size() + 1) != std::string::npos)
    return "";
  return p.substr(folder_.size() + 1);
}

int OpRecorder::Open(const char* path, int flags, mode_t mode) {
  const std::string name = NameOf(path);
  struct stat before;
  const bool existed = !name.empty() && Target().Lstat(path, &before) == 0;
  const int fd = Target().Open(path, flags, mode);
  if (fd < 0) return fd;
  std::lock_guard<std::mutex> lock(mutex_);
  if (folder_ == path) {
    folders_.insert(fd);
  } else if (!name.empty() && (flags & O_ACCMODE) != O_RDONLY) {
    struct stat info;
    Target().Fstat(fd, &info);
    files_[fd] = info.st_ino;
    if (!existed) ops_.push_back({Op::kCreate, name, "", info.st_ino, 0, ""});
    if (existed && (flags & O_TRUNC) != 0) ops_.push_back({Op::kTruncate, "", "", info.st_ino, 0, ""});
  }
  return fd;
}

int OpRecorder::Close(int fd) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    files_.erase(fd);
    folders_.erase(fd);
  }
  return Target().Close(fd);
}

ssize_t OpRecorder::Write(int fd, const void* buffer, size_t count) {
  std::unique_lock<std::mutex> lock(mutex_);
  const auto file = files_.find(fd);
  if (file == files_.end()) {
    lock.unlock();
    return Target().Write(fd, buffer, count);
  }
  const off_t offset = Target().Lseek(fd, 0, SEEK_CUR);
  const ssize_t n = Target().Write(fd, buffer, count);
  if (n > 0)
    ops_.push_back({Op::kWrite, "", "", file->second, static_cast<uint64_t>(offset),
                    std::string(static_cast<const char*>(buffer), static_cast<size_t>(n))});
  return n;
}

int OpRecorder::Fsync(int fd) {
  const int result = Target().Fsync(fd);
  std::lock_guard<std::mutex> lock(mutex_);
  if (result != 0) return result;
  if (const auto file = files_.find(fd); file != files_.end())
    ops_.push_back({Op::kSyncFile, "", "", file->second, 0, ""});
  if (folders_.count(fd) != 0) ops_.push_back({Op::kSyncFolder, "", "", 0, 0, ""});
  return result;
}

int OpRecorder::DupCloexec(int fd) {
  const int copy = Target().DupCloexec(fd);
  std::lock_guard<std::mutex> lock(mutex_);
  if (const auto file = files_.find(fd); copy >= 0 && file != files_.end()) files_[copy] = file->second;
  if (copy >= 0 && folders_.count(fd) != 0) folders_.insert(copy);
  return copy;
}

int OpRecorder::Rename(const char* from, const char* to) {
  const int result = Target().Rename(from, to);
  std::lock_guard<std::mutex> lock(mutex_);
  if (result == 0 && !NameOf(to).empty())
    ops_.push_back({Op::kRename, NameOf(from), NameOf(to), 0, 0, ""});
  return result;
}

int OpRecorder::Unlink(const char* path) {
  const int result = Target().Unlink(path);
  std::lock_guard<std::mutex> lock(mutex_);
  if (result == 0 && !NameOf(path).empty()) ops_.push_back({Op::kUnlink, NameOf(path), "", 0, 0, ""});
  return result;
}

}  // namespace kestron4::crash
