// The ASAM MDF 4.1 blocks this writer emits, as laid out on disk. Shared by
// the block encoder, the writer and its tests.
//
// Every number is little-endian. Every block but the identification block
// starts on an 8-byte boundary with a 24-byte header:
//
//   char id[4] "##XX" | u32 reserved | u64 length | u64 link count
//
// followed by `link count` u64 file offsets (0 = none) and then the block's
// own data. `length` counts header, links and data; the bytes up to the next
// 8-byte boundary are zeros and not counted, except in text blocks, whose
// zero padding is part of the text and counted.
//
// File order as written (offsets only ever point backwards, except the
// header's and the data groups' "next", which are patched at the end, so
// nothing but one data block at a time is held in memory):
//
//   ID  64 bytes at 0: "MDF     " "4.10    " program[8] 0[4] u16 410 0[30]
//       u16 unfinalized flags 0, u16 custom flags 0
//   HD  at 64, 6 links (first DG, first FH, first CH, first AT, first EV,
//       MD comment) | u64 start ns | i16 zone min | i16 DST min | u8 time
//       flags (1: local time) | u8 time class | u8 flags | u8 0 | f64 start
//       angle | f64 start distance
//   then per group (one sample period):
//     DT  records, or DZ (zlib, optionally transposed) when compressing; more
//         than one block: DL lists of them (next, data blocks | u8 flags
//         (1: equal length) | 0[3] | u32 count | u64 length of each)
//     TX/MD texts, SI, CC, CN of each channel (the last first, so that each
//     CN links the next one already written)
//     CG  6 links (next, first CN, acq name TX, acq source SI, first SR, MD)
//         | u64 record id | u64 cycles | u16 flags | u16 path separator |
//         0[4] | u32 data bytes | u32 invalidation bytes
//     DG  4 links (next, first CG, data, MD) | u8 record id size | 0[7]
//   EV  per event, the last first: 5 links (next, parent, range, TX name,
//       MD) | u8 type | u8 sync type | u8 range type | u8 cause | u8 flags |
//       0[3] | u32 scope count | u16 attachment count | u16 creator | i64
//       sync base | f64 sync factor
//   FH  2 links (next, MD) | u64 time ns | i16 zone | i16 DST | u8 flags | 0[3]
//
// A record of a group: the master time channel (u32/u64 ticks of the sample
// period with a linear conversion, or f64 seconds), then each channel's
// stored sample in its own width, then the invalidation bytes when channels
// of the group end at different samples (bit k of them set: channel k has
// no sample in this record).
#pragma once

#include <cstddef>
#include <cstdint>

namespace kstrn::recording::mdf4 {

constexpr size_t kHeaderBytes = 24;
constexpr size_t kIdBlockBytes = 64;
constexpr uint64_t kHdOffset = kIdBlockBytes;

// Link counts of the MDF 4.1 blocks.
constexpr size_t kHdLinks = 6, kFhLinks = 2, kDgLinks = 4, kCgLinks = 6, kCnLinks = 8,
                 kCcLinks = 4, kSiLinks = 3, kEvLinks = 5;
// Where each link sits inside its block.
constexpr size_t kHdFirstDg = 0, kHdFirstFh = 1, kHdFirstEv = 4, kHdComment = 5;
constexpr size_t kDgNext = 0;

enum ChannelType : uint8_t { kValueChannel = 0, kMasterChannel = 2 };
enum SyncType : uint8_t { kNoSync = 0, kTimeSync = 1 };
enum DataType : uint8_t { kUnsignedLe = 0, kFloatLe = 4 };
enum ConversionType : uint8_t { kLinear = 1, kTableInterpolated = 4 };
enum ChannelFlags : uint32_t { kInvalidationBitValid = 1u << 1 };
enum HeaderTimeFlags : uint8_t { kLocalTime = 1 };
enum SourceType : uint8_t { kSourceIo = 3 };
enum EventType : uint8_t { kMarkerEvent = 6 };
enum EventSync : uint8_t { kEventSeconds = 1 };
enum ListFlags : uint8_t { kEqualLength = 1 };
enum ZipType : uint8_t { kDeflate = 0, kTransposeDeflate = 1 };

}  // namespace kstrn::recording::mdf4
