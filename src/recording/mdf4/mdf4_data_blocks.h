// The data section of one data group: records go out as DT blocks (or DZ
// blocks when compressing) of a bounded size as they are packed, and
// Finish() links them, through DL lists when there is more than one.
// Memory: one compressed block at a time and one offset per block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "recording/mdf4/mdf4_output.h"

namespace kstrn::recording::mdf4 {

struct DataBlockOptions {
  bool compress = false;   // DZ blocks (zlib) instead of DT blocks
  bool transpose = true;   // with compress: bytes of one column of records together
  int level = 1;           // zlib level
  size_t list_links = 1024;  // data blocks per DL; more go to the next DL
};

class DataBlockWriter {
 public:
  DataBlockWriter(BlockOutput& out, const DataBlockOptions& options)
      : out_(out), options_(options) {}

  // Writes one block of whole records. Every block but the last of a group
  // must have the same size (the DL lists say so). Throws what the sink
  // throws, or std::runtime_error when compressing fails.
  void Add(std::span<const uint8_t> records, uint32_t record_bytes);

  // Writes the lists and returns what the data group links to: 0 without
  // blocks, the block itself when there is one, else the first DL.
  uint64_t Finish();

 private:
  void AddCompressed(std::span<const uint8_t> records, uint32_t record_bytes);

  BlockOutput& out_;
  DataBlockOptions options_;
  std::vector<uint64_t> blocks_;
  uint64_t equal_length_ = 0;
  std::vector<uint8_t> transposed_;
  std::vector<uint8_t> packed_;
};

// Transposition of MDF's DZ blocks: the first (size / columns) * columns
// bytes read as rows of `columns` bytes are written column by column; the
// remaining bytes follow unchanged.
void Transpose(std::span<const uint8_t> in, size_t columns, uint8_t* out);

}  // namespace kstrn::recording::mdf4
