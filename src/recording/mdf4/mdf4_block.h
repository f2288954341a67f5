// Encodes one MDF 4 block (mdf4_format.h): header, links and data, in a
// buffer that the caller hands to BlockOutput.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace kstrn::recording::mdf4 {

class Block {
 public:
  // kind: the two letters after "##" ("HD", "CN", ...).
  Block(std::string_view kind, size_t link_count);

  // Throws std::out_of_range for index >= link_count.
  Block& Link(size_t index, uint64_t offset);

  Block& U8(uint8_t v) { return Le(v, 1); }
  Block& U16(uint16_t v) { return Le(v, 2); }
  Block& I16(int16_t v) { return Le(static_cast<uint16_t>(v), 2); }
  Block& U32(uint32_t v) { return Le(v, 4); }
  Block& U64(uint64_t v) { return Le(v, 8); }
  Block& I64(int64_t v) { return Le(static_cast<uint64_t>(v), 8); }
  Block& F64(double v);
  Block& Zeros(size_t count);
  Block& Bytes(std::span<const uint8_t> bytes);

  // The encoded block with its length field set; padded with zeros to a
  // multiple of 8, the padding counted in the length only when
  // count_padding (text blocks).
  std::span<const uint8_t> Finish(bool count_padding = false);

  // The header of a block whose data the caller writes itself (DT, DZ):
  // 24 bytes, length = 24 + data_bytes, no links.
  static std::vector<uint8_t> Header(std::string_view kind, uint64_t data_bytes);

 private:
  Block& Le(uint64_t value, size_t width);

  std::vector<uint8_t> bytes_;
  size_t links_;
};

// A TX block holding text; an MD block when the text is XML.
std::vector<uint8_t> TextBlock(std::string_view kind, std::string_view text);

}  // namespace kstrn::recording::mdf4
