// The input language of the session sequence fuzzer, shared with the seed
// generator. An input is a list of steps; each step is an opcode byte (taken
// modulo kOpCount) followed by the argument bytes that step reads. Missing
// bytes read as zero, so every byte string is a valid input.
#pragma once

#include <cstdint>

namespace kestron4::fuzz {

enum class Op : uint8_t {
  kGotoRoot,
  kOpenItem,  // item TID index, block index (signed byte)
  kCloseItem,
  kNextItem,
  kPreviousItem,
  kGotoItem,          // block index (signed byte)
  kInsertItemBlocks,  // any TID index, count byte (modulo 5; 255: a wide block, see below)
  kDeleteItem,        // item TID index, block index (signed byte)
  kDeleteCurrentItem,
  kDeleteItemBlocks,   // item TID index
  kMoveCurrentItem,    // new index byte (modulo 6)
  kChangeTid,          // any TID index
  kInsertValue,        // value TID index, payload (length byte, bytes)
  kInsertValueS,       // value TID index, size byte, payload
  kInsertStringUtf8,   // value TID index, payload
  kInsertStringUtf16,  // value TID index, payload
  kInsertData,         // size byte, payload
  kAllocData,          // size (two bytes, modulo 1200)
  kWriteData,          // offset byte, payload
  kInsertDataFile,     // offset byte, length byte (within the outside file)
  kDeleteValue,        // value TID index
  kAddBookmark,
  kGotoBookmark,     // bookmark index
  kRemoveBookmark,   // bookmark index
  kCreateReference,  // bookmark index, reference number byte (modulo 4), value TID index
  kGotoReference,    // reference number byte (modulo 4)
  kGetRefdValue,     // value TID index
  kCheckRefdValue,   // value TID index, rename flag byte, payload
  kCheckIntegrity,
  kFindType,          // item TID index, value TID index, local flag byte, payload
  kSaveReloadBuffer,  // policy byte for the reload
  kSaveReloadHandle,  // policy byte for the reload
  kSaveReloadPath,    // flag byte: keep the reference-mode value
  kSerializeItem,
  kCopyContents,  // from the other session (flag byte: from this one)
  kCopyBlocks,    // from the other session
  kSwitchSession,
  kReadBlock,
  kMoveToRam,
  kOpCount
};

// kInsertItemBlocks with the count byte 255 makes the current block wide: a
// count (two bytes) and the index of a first item TID (two bytes) follow, and
// that many item TIDs in turn from there (large_block.h) get a block each.
inline constexpr uint8_t kWideBlock = 255;

// TIDs the steps choose from by index (modulo the table size): item TIDs of
// several ranges, the reference item, and TIDs that are not item TIDs.
inline constexpr uint16_t kItemTids[] = {100, 101, 112, 14000, 999, 65535, 1, 1063, 0};
// Value TIDs of every layout: 4-byte, 8-byte, 1-byte, 2-byte, short and long
// strings, the blob pair, a TID without a layout, the reference-mode marker,
// the reference entry values, and an item TID.
inline constexpr uint16_t kValueTids[] = {10000, 10001, 1018, 1500, 12000, 6000, 8000,
                                          2000,  2001,  1002, 4000, 1135,  1063, 1066,
                                          1300,  1132,  1052, 1024, 1003,  100};
// Item TIDs first, then value TIDs: what InsertItemBlocks and ChangeTID pick.
inline constexpr unsigned kAnyTidCount =
    sizeof kItemTids / sizeof kItemTids[0] + sizeof kValueTids / sizeof kValueTids[0];

}  // namespace kestron4::fuzz
