// The "QF73 v3.00 file" logger configuration format, as the writer produces
// it. All numbers are little-endian unless stated.
//
//   offset 0   16 bytes  "QF73 v3.00 file" and the byte 0x1A
//   offset 16  u32       length of the configuration part: end of the last
//                        referenced block - 20 (the blob trailer is not counted)
//   offset 20  u16 143, u16 number of logger modules (at least 1)
//              [u16 163, u16 number of named entries]  only when not 0
//              u16 105, u16 number of sections
//              u16 107, u16 number of referenced blocks, u16 0
//   then one block per module, per named entry and per section (sections
//   nest their groups and ordered entries), then the referenced blocks in
//   four groups A (channels), B (kind 123), C (other targets of the
//   referenced items) and D (targets of the main sections and of kind 107),
//   numbered from 0 across the groups in that order, then the data blobs,
//   each starting at a multiple of 4.
//
// Tagged value: u16 TID, a size byte for short-variable TIDs, the payload.
// Block: u32 length of everything after the length field, the content,
// normally closed by u16 0.
// Reference field: u16 8000, u16 number of the target block; 0x7FFF in the
// main sections and 0xFFFF inside referenced blocks when the reference could
// not be followed.
#pragma once

#include <cstdint>

#include "session/tid.h"

namespace kestron4::qf73 {

inline constexpr char kMagic[16] = {'Q', 'F', '7', '3', ' ', 'v', '3', '.',
                                    '0', '0', ' ', 'f', 'i', 'l', 'e', 0x1A};
inline constexpr uint32_t kLengthOffset = 16;
// The length field counts from the end of the header fields it follows.
inline constexpr uint32_t kLengthBase = 20;

// Items of the configuration tree.
inline constexpr Tid kItemConfig = 23;
inline constexpr Tid kItemReferenced = 107;  // also the header tag of the block count
inline constexpr Tid kItemRow = 108;
inline constexpr Tid kItemGroup = 109;
inline constexpr Tid kItemEntry = 110;
inline constexpr Tid kItemRef = kTidReferenceItem;  // 112
inline constexpr Tid kItemModule = 143;
inline constexpr Tid kItemOrdered = 152;
inline constexpr Tid kItemNamed = 163;
inline constexpr Tid kItemSection = 105;
inline constexpr Tid kItemBlob = 199;

// Values.
inline constexpr Tid kValName = 1002;
inline constexpr Tid kValLabel = 1007;
inline constexpr Tid kTid1010 = 1010;
inline constexpr Tid kValGroupByte = 1014;
inline constexpr Tid kValUnit = 1016;
inline constexpr Tid kValKind = kTidRefTarget;  // 1024
inline constexpr Tid kValRowX16 = 1025;
inline constexpr Tid kValRowX = 1026;
inline constexpr Tid kValIndex = 1029;
inline constexpr Tid kValRowY = 1031;
inline constexpr Tid kValRefName = 1039;
inline constexpr Tid kValTypeTag = 1040;
inline constexpr Tid kValCount = 1041;
inline constexpr Tid kTid1048 = 1048;
inline constexpr Tid kTid1049 = 1049;
inline constexpr Tid kValRefNumber = kTidRefNumber;  // 1052
inline constexpr Tid kValOrder = 1054;
inline constexpr Tid kTid1056 = 1056;
inline constexpr Tid kValId16 = 1059;
inline constexpr Tid kValData = kTidData;  // 1063
inline constexpr Tid kValAltName = 1064;
inline constexpr Tid kValDataSize = kTidDataSize;  // 1066
inline constexpr Tid kValModuleCode = 1091;
inline constexpr Tid kValIdSource = 1124;
inline constexpr Tid kValModuleNo = 1125;
inline constexpr Tid kValId32 = 1143;
inline constexpr Tid kValId32Source = 1144;
inline constexpr Tid kValBlobOrdinal = 10012;
inline constexpr Tid kTid10016 = 10016;
inline constexpr Tid kValRefField = 8000;

// Reference numbers with a fixed meaning inside referenced items.
inline constexpr uint16_t kRefFirst = 1;
inline constexpr uint16_t kRefType = 65;
inline constexpr uint16_t kRefOrdered = 66;
inline constexpr uint16_t kRefIgnored = 70;

// Kinds: the item TID a reference entry names in its value 1024.
inline constexpr uint16_t kKindChannel = 100;
inline constexpr uint16_t kKindTable = 102;
inline constexpr uint16_t kKindNested = 107;
inline constexpr uint16_t kKindList = 120;
inline constexpr uint16_t kKindComposite = 121;
inline constexpr uint16_t kKindPlain = 123;
inline constexpr uint16_t kKindEnd = 125;
inline constexpr uint16_t kKindData = 136;
inline constexpr uint16_t kKindCounted = 186;
inline constexpr uint16_t kKindBus195 = 195;
inline constexpr uint16_t kKindBus203 = 203;

// Block numbers written when a reference cannot be followed.
inline constexpr uint16_t kUnresolvedMain = 0x7FFF;
inline constexpr uint16_t kUnresolvedInner = 0xFFFF;
// Referenced blocks are numbered below kUnresolvedMain so that no real
// number can be mistaken for an unresolved one.
inline constexpr uint32_t kMaxReferencedBlocks = kUnresolvedMain;

// Module code used when an item 143 has no code, or its code is 0.
inline constexpr uint8_t kDefaultModuleCode = 3;

// Type code written after TID 1040 for an item TID; a TID without a code is
// written unchanged.
uint16_t TypeCode(Tid tid);

// Colour values 10001..10006 (0x00BBGGRR) are written as RGB565 under
// another TID. ColourTid gives that TID, or 0 for a value that is no colour.
Tid ColourTid(Tid tid);
uint16_t Rgb565(uint32_t colour);

}  // namespace kestron4::qf73
