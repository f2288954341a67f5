#include "storage/streams/atomic_file_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "storage/platform/file_services.h"
#include "storage/platform/platform.h"
#include "storage/platform/temp_paths.h"
#include "text/text_codec.h"

namespace kestron4 {
namespace {

constexpr mode_t kNewFileMode = 0666;  // narrowed by the process umask

int CreateExclusive(Platform& platform, const std::string& path) {
  for (;;) {
    const int fd = platform.Open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode);
    if (fd >= 0 || errno != EINTR) return fd;
  }
}

// Makes the rename itself durable. The new file is complete and in place
// whether or not this works, so its failure is not the save's failure.
void SyncDirectory(Platform& platform, const std::string& directory) {
  const int fd = platform.Open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (fd < 0) return;
  platform.Fsync(fd);
  platform.Close(fd);
}

}  // namespace

AtomicFileWriter::AtomicFileWriter(const std::u16string& target)
    : AtomicFileWriter(Utf16ToUtf8(target)) {}

AtomicFileWriter::AtomicFileWriter(const std::string& target) {
  if (!IsUsablePath(target)) throw EOpenError();
  Platform& platform = CurrentPlatform();
  struct stat existing;
  const bool exists = platform.Stat(target.c_str(), &existing) == 0;
  if (!exists && errno != ENOENT) throw EOpenError();
  if (exists && !S_ISREG(existing.st_mode)) {
    target_ = target;
    stream_ = std::make_unique<TFileStream>(target, ModeCreate);
    return;
  }
  if (!ResolveSymlinks(target, &target_)) throw EOpenError();
  if (exists && platform.Access(target_.c_str(), W_OK) != 0) throw EOpenError();

  const std::string uuid = RandomUuid();
  if (uuid.empty()) throw EOpenError();
  scratch_ = JoinPath(ParentDirectory(target_), uuid);
  const int fd = CreateExclusive(platform, scratch_);
  if (fd < 0) throw EOpenError();
  try {
    stream_ = TFileStream::Adopt(fd, scratch_, ModeCreate);
  } catch (...) {
    Abandon();
    throw;
  }
  if (exists && platform.Fchmod(fd, existing.st_mode & 0777) != 0) {
    Abandon();
    throw EOpenError();
  }
}

AtomicFileWriter::~AtomicFileWriter() {
  if (state_ != kCommitted) Abandon();
}

void AtomicFileWriter::Abandon() {
  if (stream_) stream_->Close();
  if (!scratch_.empty()) CurrentPlatform().Unlink(scratch_.c_str());
  scratch_.clear();
  state_ = kFailed;
}

void AtomicFileWriter::Commit() {
  if (state_ != kOpen) throw EWriteError();
  Platform& platform = CurrentPlatform();
  bool ok;
  if (scratch_.empty()) {
    ok = stream_->Close();
  } else {
    ok = platform.Fsync(stream_->Handle()) == 0 && stream_->Close() &&
         platform.Rename(scratch_.c_str(), target_.c_str()) == 0;
  }
  if (!ok) {
    Abandon();
    throw EWriteError();
  }
  state_ = kCommitted;
  if (!scratch_.empty()) SyncDirectory(platform, ParentDirectory(target_));
}

}  // namespace kestron4
