#include "policies/positional_file_stream.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#include "storage/platform/file_services.h"
#include "storage/platform/full_io.h"
#include "storage/platform/platform.h"

namespace kestron4 {

PositionalFileStream::SharedFd::~SharedFd() {
  if (owned && fd >= 0) CurrentPlatform().Close(fd);
}

std::unique_ptr<PositionalFileStream> PositionalFileStream::Open(const std::string& path) {
  if (!IsUsablePath(path)) throw EOpenError();
  Platform& platform = CurrentPlatform();
  int fd;
  do {
    fd = platform.Open(path.c_str(), O_RDONLY | O_CLOEXEC, 0);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) throw EOpenError();
  auto descriptor = std::make_shared<SharedFd>();
  descriptor->fd = fd;
  descriptor->owned = true;
  return std::unique_ptr<PositionalFileStream>(new PositionalFileStream(std::move(descriptor)));
}

std::unique_ptr<PositionalFileStream> PositionalFileStream::Duplicate(int fd) {
  const int own = fd >= 0 ? CurrentPlatform().DupCloexec(fd) : -1;
  if (own < 0) throw EOpenError();
  auto descriptor = std::make_shared<SharedFd>();
  descriptor->fd = own;
  descriptor->owned = true;
  return std::unique_ptr<PositionalFileStream>(new PositionalFileStream(std::move(descriptor)));
}

std::unique_ptr<PositionalFileStream> PositionalFileStream::Borrow(int fd) {
  auto descriptor = std::make_shared<SharedFd>();
  descriptor->fd = fd;
  return std::unique_ptr<PositionalFileStream>(new PositionalFileStream(std::move(descriptor)));
}

std::unique_ptr<TStream> PositionalFileStream::Clone() {
  std::unique_ptr<PositionalFileStream> clone(new PositionalFileStream(descriptor_));
  clone->position_ = position_;
  return clone;
}

bool PositionalFileStream::Seek(int64_t offset, uint32_t origin) {
  int64_t base;
  switch (origin) {
    case kSeekBegin:
      base = 0;
      break;
    case kSeekCurrent:
      base = position_;
      break;
    case kSeekEnd:
      base = GetSize();
      break;
    default:
      return false;
  }
  if ((offset > 0 && base > INT64_MAX - offset) || base + offset < 0) return false;
  position_ = base + offset;
  return true;
}

void PositionalFileStream::Read(void* destination, int64_t count) {
  if (count == 0) return;
  if (count < 0 || position_ > INT64_MAX - count ||
      !PReadFull(CurrentPlatform(), Descriptor(), destination, static_cast<size_t>(count),
                 static_cast<off_t>(position_)))
    throw EReadError();
  position_ += count;
}

void PositionalFileStream::Write(const void*, int64_t) { throw EWriteError(); }

int64_t PositionalFileStream::GetSize() {
  struct stat info;
  if (CurrentPlatform().Fstat(Descriptor(), &info) != 0 || !S_ISREG(info.st_mode)) return 0;
  return info.st_size;
}

}  // namespace kestron4
