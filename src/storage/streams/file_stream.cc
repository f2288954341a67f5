#include "storage/streams/file_stream.h"

#include <utility>

#include "storage/platform/file_services.h"
#include "storage/platform/full_io.h"
#include "text/text_codec.h"

namespace kestron4 {
namespace {

unsigned AccessFlags(uint32_t mode) { return (mode & ModeReadOnly) ? kOpenRead : kOpenWrite; }

unsigned FlagsOf(uint32_t mode) {
  unsigned flags = AccessFlags(mode);
  if (mode & ModeCreate) {
    flags |= kOpenCreate | kOpenTruncate;
  } else if (!(mode & ModeReadOnly)) {
    flags |= kOpenTruncate;
  }
  return flags;
}

NativeFile OpenOrThrow(const std::string& path, unsigned flags) {
  const NativeFile file = IsUsablePath(path) ? CurrentPlatform().Open(path, flags) : kNoFile;
  if (file == kNoFile) throw EOpenError();
  return file;
}

}  // namespace

TFileStream::TFileStream(NativeFile file) : file_(file) {}

TFileStream::TFileStream(std::string path, uint32_t mode)
    : file_(OpenOrThrow(path, FlagsOf(mode))), owns_(true), path8_(std::move(path)), mode_(mode) {}

TFileStream::TFileStream(std::u16string path, uint32_t mode)
    : file_(OpenOrThrow(PathFromUtf16(path), FlagsOf(mode))),
      owns_(true),
      path16_(std::move(path)),
      mode_(mode) {}

TFileStream::TFileStream(std::string path8, std::u16string path16) : owns_(true) {
  if (!path8.empty()) {
    file_ = OpenOrThrow(path8, FlagsOf(mode_));
    path8_ = std::move(path8);
  } else {
    file_ = OpenOrThrow(PathFromUtf16(path16), FlagsOf(mode_));
    path16_ = std::move(path16);
  }
}

TFileStream::~TFileStream() { Close(); }

std::unique_ptr<TFileStream> TFileStream::Adopt(NativeFile file, std::string path, uint32_t mode) {
  std::unique_ptr<TFileStream> stream;
  try {
    stream = std::make_unique<TFileStream>(file);
  } catch (...) {
    CurrentPlatform().Close(file);
    throw;
  }
  stream->owns_ = true;
  stream->path8_ = std::move(path);
  stream->mode_ = mode;
  return stream;
}

bool TFileStream::Close() {
  const NativeFile file = file_;
  file_ = kNoFile;
  if (file == kNoFile || !owns_) return true;
  return CurrentPlatform().Close(file);
}

std::unique_ptr<TStream> TFileStream::Clone() {
  auto clone = std::make_unique<TFileStream>();
  clone->mode_ = mode_;
  if (file_ == kNoFile) return clone;
  std::string path;
  if (!path8_.empty()) {
    path = path8_;
    clone->path8_ = path8_;
  } else if (!path16_.empty()) {
    path = PathFromUtf16(path16_);
    clone->path16_ = path16_;
  } else if (!CurrentPlatform().PathOf(file_, &path)) {
    return clone;
  }
  // The copy must see the same bytes: a mode that would create or empty the
  // file on opening applies to the first opener only.
  clone->file_ = OpenOrThrow(path, AccessFlags(mode_));
  clone->owns_ = true;
  return clone;
}

bool TFileStream::Seek(int64_t offset, uint32_t origin) {
  if (file_ == kNoFile || origin > kSeekEnd) return false;
  return CurrentPlatform().Seek(file_, offset, static_cast<FileOrigin>(origin)) >= 0;
}

void TFileStream::Read(void* destination, int64_t count) {
  if (count == 0) return;
  if (file_ == kNoFile || count < 0 ||
      !ReadFull(CurrentPlatform(), file_, destination, static_cast<size_t>(count))) {
    throw EReadError();
  }
}

void TFileStream::Write(const void* source, int64_t count) {
  if (count == 0) return;
  if (file_ == kNoFile || count < 0 ||
      !WriteFull(CurrentPlatform(), file_, source, static_cast<size_t>(count))) {
    throw EWriteError();
  }
}

int64_t TFileStream::GetSize() {
  uint64_t size = 0;
  if (file_ == kNoFile || !CurrentPlatform().Size(file_, &size)) return 0;
  return static_cast<int64_t>(size);
}

int64_t TFileStream::GetPosition() {
  if (file_ == kNoFile) return 0;
  const int64_t position = CurrentPlatform().Seek(file_, 0, kFromCurrent);
  return position < 0 ? 0 : position;
}

}  // namespace kestron4
