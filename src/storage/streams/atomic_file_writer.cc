#include "storage/streams/atomic_file_writer.h"

#include "storage/platform/file_services.h"
#include "storage/platform/platform.h"
#include "storage/platform/temp_paths.h"
#include "text/text_codec.h"

namespace kestron4 {

AtomicFileWriter::AtomicFileWriter(const std::u16string& target)
    : AtomicFileWriter(Utf16ToUtf8(target)) {}

AtomicFileWriter::AtomicFileWriter(const std::string& target) {
  if (!IsUsablePath(target)) throw EOpenError();
  Platform& platform = CurrentPlatform();
  PathInfo existing;
  bool missing = false;
  const bool exists = platform.Inspect(target, &existing, &missing);
  if (!exists && !missing) throw EOpenError();
  if (exists && !existing.regular) {
    target_ = target;
    stream_ = std::make_unique<TFileStream>(target, ModeCreate);
    return;
  }
  if (!platform.ResolveTarget(target, &target_)) throw EOpenError();
  if (exists && !existing.writable) throw EOpenError();

  const std::string uuid = RandomUuid();
  if (uuid.empty()) throw EOpenError();
  scratch_ = JoinPath(ParentDirectory(target_), uuid);
  const NativeFile file = platform.Open(scratch_, kOpenWrite | kOpenCreate | kOpenExclusive);
  if (file == kNoFile) throw EOpenError();
  try {
    stream_ = TFileStream::Adopt(file, scratch_, ModeCreate);
  } catch (...) {
    Abandon();
    throw;
  }
  if (exists && !platform.CopyPermissions(file, existing)) {
    Abandon();
    throw EOpenError();
  }
}

AtomicFileWriter::~AtomicFileWriter() {
  if (state_ != kCommitted) Abandon();
}

void AtomicFileWriter::Abandon() {
  if (stream_) stream_->Close();
  if (!scratch_.empty()) CurrentPlatform().Remove(scratch_);
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
    ok = platform.Sync(stream_->Handle()) && stream_->Close() &&
         platform.Replace(scratch_, target_);
  }
  if (!ok) {
    Abandon();
    throw EWriteError();
  }
  state_ = kCommitted;
}

}  // namespace kestron4
