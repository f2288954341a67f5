// A stream over a block of memory that the caller owns and keeps alive for
// the stream's lifetime (and its clones'). The block never grows: reads and
// writes that would pass its end throw and change nothing.
#pragma once

#include <cstdint>
#include <memory>

#include "storage/streams/stream.h"

namespace kestron4 {

class TMemRefStream : public TStream {
 public:
  // A negative size is taken as 0.
  TMemRefStream(void* base, int64_t size);
  // A block that must not be written: Write throws EWriteError.
  TMemRefStream(const void* base, int64_t size);

  // Same block, same size, same position.
  std::unique_ptr<TStream> Clone() override;
  // Accepts a target in [0, size]. An origin other than kSeekBegin,
  // kSeekCurrent and kSeekEnd changes nothing and returns true.
  bool Seek(int64_t offset, uint32_t origin) override;
  // Throws EReadError, position unchanged, if count is negative or passes
  // the end.
  void Read(void* destination, int64_t count) override;
  // Throws EWriteError, nothing written, if count is negative, passes the
  // end, or the block is read-only.
  void Write(const void* source, int64_t count) override;
  int64_t GetSize() override { return size_; }
  int64_t GetPosition() override { return position_; }

  // The whole block, for readers that want to look at it without copying.
  const uint8_t* Data() const { return base_; }

 private:
  uint8_t* base_;
  int64_t size_;
  int64_t position_ = 0;
  bool read_only_;
};

}  // namespace kestron4
