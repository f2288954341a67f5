// Sequential reading of a TStream without a system call per value: bytes
// come from a 64 KiB buffer refilled in whole pieces, or straight from the
// block of a TMemRefStream. The reader knows how many bytes the stream still
// holds, so a loader can refuse a size field larger than what is left
// before it allocates anything.
//
// While a reader is in use nobody else may move or read the stream. The
// stream's own position afterwards is wherever the last refill left it;
// call SyncPosition() to put it at Position().
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "storage/streams/copy_bytes.h"
#include "storage/streams/stream.h"

namespace kestron4 {

class StreamReader {
 public:
  static constexpr size_t kBufferSize = size_t{64} << 10;
  // The first refill after a Skip or Seek past the window reads only this
  // much: a reader that jumps over large values (a file-backed session
  // leaves them in the file) reads the records between them, not the
  // values. Refills in sequence read the whole buffer again.
  static constexpr size_t kJumpFillSize = size_t{1} << 10;

  // Starts at the stream's current position; the stream's size is taken
  // once, here.
  explicit StreamReader(TStream& stream);
  StreamReader(const StreamReader&) = delete;
  StreamReader& operator=(const StreamReader&) = delete;

  // Exactly count bytes, or EReadError. A count beyond Remaining() throws
  // before anything is read; after any other throw the position is undefined.
  void Read(void* destination, size_t count) {
    const uint8_t* bytes = count <= kBufferSize ? Take(count) : nullptr;
    if (bytes != nullptr) {
      CopyBytes(destination, bytes, count);
    } else {
      ReadSlow(destination, count);
    }
  }
  // As Read, into a destination that already holds zeros: from a file
  // stream, pieces of at least kSparseRead bytes leave the holes of a sparse
  // file unread.
  static constexpr size_t kSparseRead = size_t{1} << 20;
  void ReadIntoZeroed(void* destination, size_t count);
  uint8_t ReadU8() { return static_cast<uint8_t>(ReadLittleEndian(1)); }
  // Little-endian, as the files store them.
  uint16_t ReadU16() { return static_cast<uint16_t>(ReadLittleEndian(2)); }
  uint32_t ReadU32() { return static_cast<uint32_t>(ReadLittleEndian(4)); }
  uint64_t ReadU64() { return ReadLittleEndian(8); }

  // Moves forward by count bytes (EReadError past the end).
  void Skip(uint64_t count);
  // Moves to an absolute position in [0, Size()] (EReadError outside).
  void Seek(int64_t position);

  int64_t Position() const { return position_; }
  int64_t Size() const { return size_; }
  int64_t Remaining() const { return size_ - position_; }

  // Moves the stream to Position(); false if it refused.
  bool SyncPosition();

  // The bytes from Position() on that the window already holds (*count of
  // them, possibly 0), for a caller that parses in place; Advance(n) then
  // moves past n <= *count of them.
  const uint8_t* Available(size_t* count) const {
    if (position_ < window_start_ || position_ >= window_end_) {
      *count = 0;
      return nullptr;
    }
    *count = static_cast<size_t>(window_end_ - position_);
    return window_ + (position_ - window_start_);
  }
  void Advance(size_t n) { position_ += static_cast<int64_t>(n); }

 private:
  // The next count bytes when they are all in the window (and moves past
  // them), else null. This is the path nearly every value takes.
  const uint8_t* Take(size_t count) {
    if (position_ < window_start_ || position_ > window_end_ ||
        count > static_cast<uint64_t>(window_end_ - position_)) {
      return nullptr;
    }
    const uint8_t* bytes = window_ + (position_ - window_start_);
    position_ += static_cast<int64_t>(count);
    return bytes;
  }
  uint64_t ReadLittleEndian(size_t width) {
    uint8_t copy[8];
    const uint8_t* bytes = Take(width);
    if (bytes == nullptr) {
      ReadSlow(copy, width);
      bytes = copy;
    }
    uint64_t value = 0;
    for (size_t i = width; i-- > 0;) value = value << 8 | bytes[i];
    return value;
  }
  void ReadSlow(void* destination, size_t count);
  // Loads the buffer at position_. REQUIRES: position_ < size_.
  void Fill();
  // Moves the stream to position_ if it is not already there.
  void PlaceStream();

  TStream& stream_;
  int64_t size_;
  int64_t position_;
  // Bytes of the stream from window_start_ up to window_end_ are at window_.
  const uint8_t* window_ = nullptr;
  int64_t window_start_ = 0;
  int64_t window_end_ = 0;
  bool in_memory_ = false;
  bool jumped_ = false;  // the position left the window by Skip or Seek
  int64_t stream_position_;
  std::vector<uint8_t> buffer_;
};

}  // namespace kestron4
