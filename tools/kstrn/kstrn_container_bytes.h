// Writes container bytes directly, for from-json: the interface cannot
// create some things files hold (an item without blocks, an empty string, a
// blob whose length value is not right before it), so from-json writes the
// file form and lets the library load it. The layout, all numbers
// little-endian:
//
//   header      "KESTRON v1.00 file" and 0x1A
//   block       u32 size of what follows in this block (entries, end marker,
//               child blocks); item entries (u16 TID, u16 block count); value
//               entries (u16 TID, stored bytes); u16 0; the blocks of every
//               item, item by item, depth first
//
// Stored bytes of a value: strings with their length prefix (1 byte, or 2
// for the long kinds), fixed values as they are, a blob (1063) bare: a
// reader takes its length from the last 1066 before it in the same block.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kstrn::tool {

class ContainerBytes {
 public:
  // sizeHint: roughly how many bytes are coming, to spare regrowing.
  explicit ContainerBytes(std::size_t sizeHint = 0);

  // A block's record: BeginBlock, its item and value entries, EndEntries,
  // the child blocks, EndBlock.
  void BeginBlock();
  void Item(uint16_t tid, uint16_t blockCount);
  void Value(uint16_t tid, const std::vector<uint8_t>& stored);
  void EndEntries();
  void EndBlock();

  const std::string& Bytes() const { return bytes_; }

 private:
  void U16(uint16_t v);

  std::string bytes_;
  std::vector<std::size_t> sizeFields_;  // of the blocks not yet ended
};

}  // namespace kstrn::tool
