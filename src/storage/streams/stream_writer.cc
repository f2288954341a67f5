#include "storage/streams/stream_writer.h"

#include <cstring>

#include "storage/streams/mem_ref_stream.h"

namespace kestron4 {

StreamWriter::StreamWriter(TStream& stream)
    : stream_(stream), direct_(dynamic_cast<TMemRefStream*>(&stream) != nullptr) {
  if (!direct_) buffer_.resize(kBufferSize);
}

void StreamWriter::Emit(const void* source, size_t count) {
  if (failed_) throw EWriteError();
  try {
    stream_.Write(source, static_cast<int64_t>(count));
  } catch (...) {
    failed_ = true;
    throw;
  }
}

// Reached when the bytes do not fit in the buffer, the stream is written
// directly, or an earlier write failed.
void StreamWriter::WriteSlow(const void* source, size_t count) {
  if (failed_) throw EWriteError();
  if (direct_) {
    if (count != 0) Emit(source, count);
  } else {
    Flush();
    if (count >= kBufferSize) {
      Emit(source, count);
    } else {
      std::memcpy(buffer_.data(), source, count);
      used_ = count;
    }
  }
  written_ += count;
}

void StreamWriter::Flush() {
  if (failed_) throw EWriteError();
  if (used_ == 0) return;
  const size_t count = used_;
  used_ = 0;
  Emit(buffer_.data(), count);
}

void StreamWriter::SkipZeros(uint64_t count) {
  if (!holes_ || count > static_cast<uint64_t>(INT64_MAX)) throw EWriteError();
  Flush();
  if (!stream_.Seek(static_cast<int64_t>(count), kSeekCurrent)) {
    failed_ = true;
    throw EWriteError();
  }
  written_ += count;
}

}  // namespace kestron4
