#include "format/legacy/legacy_reader.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace kestron4::legacy {

LegacyReader::LegacyReader(TStream& stream) : stream_(stream) {
  const int64_t size = stream.GetSize();
  size_ = size > 0 ? static_cast<uint64_t>(size) : 0;
}

const uint8_t* LegacyReader::At(uint64_t offset, std::size_t count) {
  if (offset > size_ || count > size_ - offset) throw EReadError();
  if (offset < windowStart_ || offset + count > windowStart_ + window_.size()) {
    // Aligned windows keep neighbouring fields in one read; a field that
    // straddles the boundary starts its own window.
    uint64_t start = offset - offset % kWindow;
    if (offset + count > start + kWindow) start = offset;
    const uint64_t length =
        std::min<uint64_t>(std::max<std::size_t>(kWindow, count), size_ - start);
    window_.resize(static_cast<std::size_t>(length));
    windowStart_ = start;
    try {
      ReadStream(start, window_.data(), length);
    } catch (...) {
      window_.clear();
      throw;
    }
  }
  return window_.data() + (offset - windowStart_);
}

uint8_t LegacyReader::U8(uint64_t offset) { return *At(offset, 1); }

uint16_t LegacyReader::U16(uint64_t offset) {
  const uint8_t* p = At(offset, 2);
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint16_t LegacyReader::U16BE(uint64_t offset) {
  const uint8_t* p = At(offset, 2);
  return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

float LegacyReader::F32(uint64_t offset) {
  const uint8_t* p = At(offset, 4);
  const uint32_t bits =
      uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
  return std::bit_cast<float>(bits);
}

void LegacyReader::Bytes(uint64_t offset, void* destination, std::size_t count) {
  std::memcpy(destination, At(offset, count), count);
}

void LegacyReader::ReadRun(uint64_t offset, void* destination, uint64_t count) {
  if (offset >= windowStart_ && offset - windowStart_ <= window_.size() &&
      count <= window_.size() - (offset - windowStart_)) {
    if (count != 0) std::memcpy(destination, window_.data() + (offset - windowStart_), count);
    return;
  }
  ReadStream(offset, destination, count);
}

void LegacyReader::ReadStream(uint64_t offset, void* destination, uint64_t count) {
  if (offset > size_ || count > size_ - offset) throw EReadError();
  if (count == 0) return;
  if (!stream_.Seek(static_cast<int64_t>(offset), kSeekBegin)) throw EReadError();
  stream_.Read(destination, static_cast<int64_t>(count));
}

}  // namespace kestron4::legacy
