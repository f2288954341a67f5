#include "policies/positional_file_stream.h"

#include "storage/platform/file_services.h"
#include "storage/platform/full_io.h"
#include "storage/platform/platform.h"

namespace kestron4 {

PositionalFileStream::SharedFd::~SharedFd() {
  if (owned && fd != kNoFile) CurrentPlatform().Close(fd);
}

std::unique_ptr<PositionalFileStream> PositionalFileStream::Open(const std::string& path) {
  if (!IsUsablePath(path)) throw EOpenError();
  const NativeFile fd = CurrentPlatform().Open(path, kOpenRead);
  if (fd == kNoFile) throw EOpenError();
  auto descriptor = std::make_shared<SharedFd>();
  descriptor->fd = fd;
  descriptor->owned = true;
  return std::unique_ptr<PositionalFileStream>(new PositionalFileStream(std::move(descriptor)));
}

std::unique_ptr<PositionalFileStream> PositionalFileStream::Duplicate(NativeFile fd) {
  const NativeFile own = fd != kNoFile ? CurrentPlatform().Duplicate(fd) : kNoFile;
  if (own == kNoFile) throw EOpenError();
  auto descriptor = std::make_shared<SharedFd>();
  descriptor->fd = own;
  descriptor->owned = true;
  return std::unique_ptr<PositionalFileStream>(new PositionalFileStream(std::move(descriptor)));
}

std::unique_ptr<PositionalFileStream> PositionalFileStream::Borrow(NativeFile fd) {
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
      !ReadFullAt(CurrentPlatform(), Descriptor(), destination, static_cast<size_t>(count),
                  static_cast<uint64_t>(position_)))
    throw EReadError();
  position_ += count;
}

void PositionalFileStream::Write(const void*, int64_t) { throw EWriteError(); }

int64_t PositionalFileStream::GetSize() {
  uint64_t size = 0;
  if (!CurrentPlatform().Size(Descriptor(), &size)) return 0;
  return static_cast<int64_t>(size);
}

}  // namespace kestron4
