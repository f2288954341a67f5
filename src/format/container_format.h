// Container file layout, shared by container_reader.cc and container_writer.cc.
//
// A container stores one session tree, depth first, with no index, no
// offsets, no checksum and no padding. All numbers are unsigned
// little-endian; fields follow each other byte by byte.
//
//   file   := header (19 bytes) block
//   header := "KESTRON v1.00 file" 0x1A
//             (written exactly so; read with letters compared as capitals)
//   block  := content_size (u32)      bytes of this record after this field
//             entry*                  any interleaving of the two kinds
//             0x0000                  end marker
//             block*                  the blocks of every item, item by item
//   entry  := item_tid (u16) block_count (u16)
//           | value_tid (u16) value_bytes
//
// A TID from 1000 to 13999 is a value TID, any other non-zero TID an item
// TID; TID 0 ends the entry list. An item entry with count k is matched by
// exactly k block records in the child region of its block.
//
// The number of value bytes follows from the TID, tested in this order:
//   short variable-size TIDs   1 + the length byte at the start
//   long variable-size TIDs    2 + the 16-bit length at the start
//   data (1063)                the number held by the latest data size value
//                              (1066, 4 bytes) read before it in the same
//                              block, 0 if there is none; no prefix
//   any other value TID        its fixed size, 0 when it has none
//
// content_size = 2 (end marker)
//              + for each item: 4 + sum over its blocks of (4 + content_size)
//              + for each value: 2 + its stored bytes
// so a whole file is 19 + 4 + content_size(root) bytes. Only the low 32 bits
// are stored; the reader recomputes sizes and never relies on the field.
//
// The writer puts all item entries first, in item order, then all value
// entries in value order. Readers accept any interleaving; item order is the
// order of the item entries, value order the order of the value entries.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kestron4::container {

// The header as written; 18 characters and the end-of-text byte.
inline constexpr char kHeader[] = "KESTRON v1.00 file\x1A";
inline constexpr std::size_t kHeaderSize = 19;
static_assert(sizeof kHeader == kHeaderSize + 1);

inline constexpr std::size_t kSizeFieldBytes = 4;
inline constexpr std::size_t kTidBytes = 2;
inline constexpr std::size_t kItemEntryBytes = 4;
inline constexpr std::size_t kEndMarkerBytes = 2;
// The smallest block record: its size field and its end marker.
inline constexpr std::size_t kMinBlockRecordBytes = kSizeFieldBytes + kEndMarkerBytes;
// Bytes in front of the root block's entries.
inline constexpr std::size_t kRootBodyOffset = kHeaderSize + kSizeFieldBytes;

// Outside bytes (files a data value stands for, the source of a streamed
// session) are copied to the output in pieces of this size.
inline constexpr std::size_t kCopyPieceBytes = 4096;

inline uint16_t LoadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t LoadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void StoreU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void StoreU32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

}  // namespace kestron4::container
