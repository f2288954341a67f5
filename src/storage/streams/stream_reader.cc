#include "storage/streams/stream_reader.h"

#include <algorithm>
#include <cstring>

#include "storage/platform/file_extents.h"
#include "storage/streams/file_stream.h"
#include "storage/streams/mem_ref_stream.h"

namespace kestron4 {

StreamReader::StreamReader(TStream& stream)
    : stream_(stream), size_(stream.GetSize()), position_(stream.GetPosition()) {
  if (size_ < 0) size_ = 0;
  stream_position_ = position_;
  // A position past the end (a file shrunk under a descriptor, say) leaves
  // nothing to read rather than a negative remainder.
  if (position_ < 0 || position_ > size_) {
    position_ = size_;
    stream_position_ = -1;
  }
  if (const auto* memory = dynamic_cast<const TMemRefStream*>(&stream)) {
    in_memory_ = true;
    window_ = memory->Data();
    window_end_ = size_;
  }
}

void StreamReader::PlaceStream() {
  if (stream_position_ == position_) return;
  if (!stream_.Seek(position_, kSeekBegin)) throw EReadError();
  stream_position_ = position_;
}

void StreamReader::Fill() {
  if (buffer_.empty()) buffer_.resize(kBufferSize);
  PlaceStream();
  const int64_t want = jumped_ ? kJumpFillSize : kBufferSize;
  jumped_ = false;
  const int64_t length = std::min<int64_t>(want, size_ - position_);
  // The window is emptied first, so a failed read leaves no stale bytes.
  window_ = buffer_.data();
  window_start_ = window_end_ = position_;
  stream_position_ = -1;  // unknown until the read succeeds
  stream_.Read(buffer_.data(), length);
  window_end_ = position_ + length;
  stream_position_ = window_end_;
}

void StreamReader::ReadSlow(void* destination, size_t count) {
  if (count > static_cast<uint64_t>(Remaining())) throw EReadError();
  auto* out = static_cast<uint8_t*>(destination);
  while (count > 0) {
    if (position_ >= window_start_ && position_ < window_end_) {
      const size_t take = static_cast<size_t>(
          std::min<int64_t>(static_cast<int64_t>(count), window_end_ - position_));
      std::memcpy(out, window_ + (position_ - window_start_), take);
      out += take;
      count -= take;
      position_ += static_cast<int64_t>(take);
    } else if (count >= kBufferSize) {
      // Large pieces skip the buffer: one read straight into place.
      PlaceStream();
      stream_position_ = -1;
      stream_.Read(out, static_cast<int64_t>(count));
      position_ += static_cast<int64_t>(count);
      stream_position_ = position_;
      return;
    } else {
      Fill();
    }
  }
}

void StreamReader::ReadIntoZeroed(void* destination, size_t count) {
  const auto* file = dynamic_cast<const TFileStream*>(&stream_);
  if (file == nullptr || count < kSparseRead) return Read(destination, count);
  if (count > static_cast<uint64_t>(Remaining())) throw EReadError();
  auto* out = static_cast<uint8_t*>(destination);
  while (count > 0) {
    Extent extent;
    stream_position_ = -1;  // the probe moves the descriptor
    if (!ProbeExtent(file->Handle(), static_cast<uint64_t>(position_), count, &extent))
      return Read(out, count);
    Skip(extent.hole);
    const auto data = static_cast<size_t>(extent.hole + extent.data);
    Read(out + extent.hole, data - extent.hole);
    out += data;
    count -= data;
  }
}

void StreamReader::Skip(uint64_t count) {
  if (count > static_cast<uint64_t>(Remaining())) throw EReadError();
  position_ += static_cast<int64_t>(count);
  if (position_ > window_end_) jumped_ = true;
}

void StreamReader::Seek(int64_t position) {
  if (position < 0 || position > size_) throw EReadError();
  position_ = position;
  if (position_ < window_start_ || position_ > window_end_) jumped_ = true;
}

bool StreamReader::SyncPosition() {
  if (!in_memory_ && stream_position_ == position_) return true;
  if (!stream_.Seek(position_, kSeekBegin)) return false;
  stream_position_ = position_;
  return true;
}

}  // namespace kestron4
