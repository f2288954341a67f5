#include "recording/mdf4/mdf4_data_blocks.h"

#ifdef KESTRON4_HAVE_ZLIB
#include <zlib.h>
#endif

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "recording/mdf4/mdf4_block.h"
#include "recording/mdf4/mdf4_format.h"

namespace kstrn::recording::mdf4 {

void Transpose(std::span<const uint8_t> in, size_t columns, uint8_t* out) {
  const size_t rows = columns == 0 ? 0 : in.size() / columns;
  for (size_t c = 0; c < columns && rows != 0; ++c) {
    const uint8_t* from = in.data() + c;
    uint8_t* to = out + c * rows;
    for (size_t r = 0; r < rows; ++r, from += columns) to[r] = *from;
  }
  const size_t done = rows * columns;
  if (in.size() > done) std::memcpy(out + done, in.data() + done, in.size() - done);
}

void DataBlockWriter::Add(std::span<const uint8_t> records, uint32_t record_bytes) {
  if (blocks_.empty()) equal_length_ = records.size();
  if (options_.compress) {
    AddCompressed(records, record_bytes);
  } else {
    blocks_.push_back(out_.Append(Block::Header("DT", records.size()), records));
  }
}

void DataBlockWriter::AddCompressed(std::span<const uint8_t> records, uint32_t record_bytes) {
  const bool transpose = options_.transpose && record_bytes > 1 && records.size() >= 2u * record_bytes;
  std::span<const uint8_t> input = records;
  if (transpose) {
    transposed_.resize(records.size());
    Transpose(records, record_bytes, transposed_.data());
    input = transposed_;
  }
#ifdef KESTRON4_HAVE_ZLIB
  uLongf packed_size = compressBound(static_cast<uLong>(input.size()));
  packed_.resize(packed_size);
  if (compress2(packed_.data(), &packed_size, input.data(), static_cast<uLong>(input.size()),
                options_.level) != Z_OK) {
    throw std::runtime_error("zlib could not compress a data block");
  }
#else
  const uint64_t packed_size = 0;
  throw std::runtime_error("this build has no zlib: MDF data blocks cannot be compressed");
#endif
  Block head("DZ", 0);
  head.U8('D').U8('T')
      .U8(transpose ? kTransposeDeflate : kDeflate)
      .U8(0)
      .U32(transpose ? record_bytes : 0)
      .U64(records.size())
      .U64(packed_size);
  const auto header = head.Finish();
  // Finish() set the length to the header alone; the data follows it.
  std::vector<uint8_t> with_length(header.begin(), header.end());
  const uint64_t length = with_length.size() + packed_size;
  for (int i = 0; i < 8; ++i) with_length[8 + i] = static_cast<uint8_t>(length >> (8 * i));
  blocks_.push_back(out_.Append(with_length, {packed_.data(), packed_size}));
}

uint64_t DataBlockWriter::Finish() {
  if (blocks_.size() <= 1) return blocks_.empty() ? 0 : blocks_[0];
  // The lists are written last one first, so that each links the next.
  const size_t per_list = std::max<size_t>(1, options_.list_links);
  const size_t lists = (blocks_.size() + per_list - 1) / per_list;
  uint64_t next = 0;
  for (size_t l = lists; l-- > 0;) {
    const size_t first = l * per_list;
    const size_t count = std::min(per_list, blocks_.size() - first);
    Block list("DL", 1 + count);
    list.Link(0, next);
    for (size_t i = 0; i < count; ++i) list.Link(1 + i, blocks_[first + i]);
    list.U8(kEqualLength).Zeros(3).U32(static_cast<uint32_t>(count)).U64(equal_length_);
    next = out_.Append(list.Finish());
  }
  return next;
}

}  // namespace kstrn::recording::mdf4
