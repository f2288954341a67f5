#include "storage/streams/file_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "storage/platform/file_services.h"
#include "storage/platform/full_io.h"
#include "storage/platform/platform.h"
#include "text/text_codec.h"

namespace kestron4 {
namespace {

constexpr mode_t kNewFileMode = 0666;  // narrowed by the process umask

int AccessFlags(uint32_t mode) { return O_CLOEXEC | ((mode & ModeReadOnly) ? O_RDONLY : O_RDWR); }

int OpenFlags(uint32_t mode) {
  int flags = AccessFlags(mode);
  if (mode & ModeCreate) {
    flags |= O_CREAT | O_TRUNC;
  } else if (!(mode & ModeReadOnly)) {
    flags |= O_TRUNC;
  }
  return flags;
}

// The descriptor, or -1.
int OpenPath(const std::string& path, int flags) {
  if (!IsUsablePath(path)) return -1;
  Platform& platform = CurrentPlatform();
  for (;;) {
    const int fd = platform.Open(path.c_str(), flags, kNewFileMode);
    if (fd >= 0 || errno != EINTR) return fd;
  }
}

int OpenOrThrow(const std::string& path, int flags) {
  const int fd = OpenPath(path, flags);
  if (fd < 0) throw EOpenError();
  return fd;
}

}  // namespace

TFileStream::TFileStream(int fd) : fd_(fd) {}

TFileStream::TFileStream(std::string path, uint32_t mode)
    : fd_(OpenOrThrow(path, OpenFlags(mode))), owns_(true), path8_(std::move(path)), mode_(mode) {}

TFileStream::TFileStream(std::u16string path, uint32_t mode)
    : fd_(OpenOrThrow(Utf16ToUtf8(path), OpenFlags(mode))),
      owns_(true),
      path16_(std::move(path)),
      mode_(mode) {}

TFileStream::TFileStream(std::string path8, std::u16string path16) : owns_(true) {
  if (!path8.empty()) {
    fd_ = OpenOrThrow(path8, OpenFlags(mode_));
    path8_ = std::move(path8);
  } else {
    fd_ = OpenOrThrow(Utf16ToUtf8(path16), OpenFlags(mode_));
    path16_ = std::move(path16);
  }
}

TFileStream::~TFileStream() { Close(); }

std::unique_ptr<TFileStream> TFileStream::Adopt(int fd, std::string path, uint32_t mode) {
  std::unique_ptr<TFileStream> stream;
  try {
    stream = std::make_unique<TFileStream>(fd);
  } catch (...) {
    CurrentPlatform().Close(fd);
    throw;
  }
  stream->owns_ = true;
  stream->path8_ = std::move(path);
  stream->mode_ = mode;
  return stream;
}

bool TFileStream::Close() {
  const int fd = fd_;
  fd_ = -1;
  if (fd < 0 || !owns_) return true;
  return CurrentPlatform().Close(fd) == 0;
}

std::unique_ptr<TStream> TFileStream::Clone() {
  auto clone = std::make_unique<TFileStream>();
  clone->mode_ = mode_;
  if (fd_ < 0) return clone;
  std::string path;
  if (!path8_.empty()) {
    path = path8_;
    clone->path8_ = path8_;
  } else if (!path16_.empty()) {
    path = Utf16ToUtf8(path16_);
    clone->path16_ = path16_;
  } else if (!PathOfDescriptor(fd_, &path)) {
    return clone;
  }
  // The copy must see the same bytes: a mode that would create or empty the
  // file on opening applies to the first opener only.
  clone->fd_ = OpenOrThrow(path, AccessFlags(mode_));
  clone->owns_ = true;
  return clone;
}

bool TFileStream::Seek(int64_t offset, uint32_t origin) {
  static constexpr int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  if (fd_ < 0 || origin > kSeekEnd) return false;
  return CurrentPlatform().Lseek(fd_, offset, kWhence[origin]) >= 0;
}

void TFileStream::Read(void* destination, int64_t count) {
  if (count == 0) return;
  if (fd_ < 0 || count < 0 ||
      !ReadFull(CurrentPlatform(), fd_, destination, static_cast<size_t>(count))) {
    throw EReadError();
  }
}

void TFileStream::Write(const void* source, int64_t count) {
  if (count == 0) return;
  if (fd_ < 0 || count < 0 ||
      !WriteFull(CurrentPlatform(), fd_, source, static_cast<size_t>(count))) {
    throw EWriteError();
  }
}

int64_t TFileStream::GetSize() {
  struct stat info;
  if (fd_ < 0 || CurrentPlatform().Fstat(fd_, &info) != 0) return 0;
  return S_ISREG(info.st_mode) ? info.st_size : 0;
}

int64_t TFileStream::GetPosition() {
  if (fd_ < 0) return 0;
  const off_t position = CurrentPlatform().Lseek(fd_, 0, SEEK_CUR);
  return position < 0 ? 0 : position;
}

}  // namespace kestron4
