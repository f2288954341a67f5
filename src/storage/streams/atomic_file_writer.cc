#include "storage/streams/atomic_file_writer.h"

#include <exception>

#include "storage/platform/file_services.h"

namespace kestron4 {

AtomicFileWriter::AtomicFileWriter(const std::u16string& target)
    : AtomicFileWriter(PathFromUtf16(target)) {}

AtomicFileWriter::AtomicFileWriter(const std::string& target) {
  if (!file_.Open(target)) throw EOpenError();
  if (file_.InPlace()) {
    stream_ = std::make_unique<TFileStream>(target, ModeCreate);
  } else {
    // The stream borrows the descriptor: the SafeFile keeps it, and with it
    // the scratch file's lock, until the rename.
    stream_ = std::make_unique<TFileStream>(file_.file());
  }
}

AtomicFileWriter::~AtomicFileWriter() = default;

void AtomicFileWriter::Commit() {
  if (state_ != kOpen) throw EWriteError();
  state_ = kFailed;
  if (file_.InPlace()) {
    if (!stream_->Close()) throw EWriteError();
  } else {
    stream_->Close();
    if (!file_.Commit()) throw EWriteError();
  }
  state_ = kCommitted;
}

}  // namespace kestron4
