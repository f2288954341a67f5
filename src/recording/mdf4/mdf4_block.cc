#include "recording/mdf4/mdf4_block.h"

#include <cstring>
#include <stdexcept>

#include "recording/mdf4/mdf4_format.h"

namespace kstrn::recording::mdf4 {

namespace {

void PutLe(uint8_t* at, uint64_t value, size_t width) {
  for (size_t i = 0; i < width; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

Block::Block(std::string_view kind, size_t link_count)
    : bytes_(kHeaderBytes + 8 * link_count, 0), links_(link_count) {
  bytes_[0] = bytes_[1] = '#';
  bytes_[2] = static_cast<uint8_t>(kind[0]);
  bytes_[3] = static_cast<uint8_t>(kind[1]);
  PutLe(&bytes_[16], link_count, 8);
}

Block& Block::Link(size_t index, uint64_t offset) {
  if (index >= links_) throw std::out_of_range("MDF block link index past its link count");
  PutLe(&bytes_[kHeaderBytes + 8 * index], offset, 8);
  return *this;
}

Block& Block::F64(double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, 8);
  return Le(bits, 8);
}

Block& Block::Zeros(size_t count) {
  bytes_.resize(bytes_.size() + count, 0);
  return *this;
}

Block& Block::Bytes(std::span<const uint8_t> bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

Block& Block::Le(uint64_t value, size_t width) {
  const size_t at = bytes_.size();
  bytes_.resize(at + width);
  PutLe(&bytes_[at], value, width);
  return *this;
}

std::span<const uint8_t> Block::Finish(bool count_padding) {
  const uint64_t exact = bytes_.size();
  bytes_.resize((exact + 7) / 8 * 8, 0);
  PutLe(&bytes_[8], count_padding ? bytes_.size() : exact, 8);
  return bytes_;
}

std::vector<uint8_t> Block::Header(std::string_view kind, uint64_t data_bytes) {
  Block block(kind, 0);
  PutLe(&block.bytes_[8], kHeaderBytes + data_bytes, 8);
  return std::move(block.bytes_);
}

std::vector<uint8_t> TextBlock(std::string_view kind, std::string_view text) {
  Block block(kind, 0);
  block.Bytes({reinterpret_cast<const uint8_t*>(text.data()), text.size()}).U8(0);
  const auto bytes = block.Finish(true);
  return {bytes.begin(), bytes.end()};
}

}  // namespace kstrn::recording::mdf4
