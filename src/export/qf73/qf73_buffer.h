// The file image of an export, built in memory and written in one piece at
// the end. Fields whose value is known only later (block lengths, block
// numbers, blob offsets) are written as placeholders and patched in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kestron4::qf73 {

class Qf73Buffer {
 public:
  // Offset of the next byte appended.
  uint32_t Position() const { return static_cast<uint32_t>(bytes_.size()); }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

  void Put8(uint8_t v);
  void Put16(uint16_t v);
  void Put32(uint32_t v);
  void PutBytes(const void* data, std::size_t count);

  // REQUIRES: the patched range was written before.
  void Patch16(uint32_t offset, uint16_t v);
  void Patch32(uint32_t offset, uint32_t v);

  // Opens a block: writes its u32 length as 0 and returns where it is.
  uint32_t BeginBlock();
  // Sets the length of the block opened at `start` to everything written
  // since its length field.
  void EndBlock(uint32_t start);

  // Appends zero bytes until the length is a multiple of 4.
  void PadTo4();

 private:
  // Throws EWriteError when the image would outgrow the 32-bit offsets and
  // lengths of the format.
  void Reserve(std::size_t more);

  std::vector<uint8_t> bytes_;
};

}  // namespace kestron4::qf73
