// Layout of the setup and data files of the first- and second-generation
// loggers. Both generations and both kinds share one fixed layout; a data
// file is a setup file followed by the recording. Offsets are from the start
// of the file; numbers are little-endian unless named big-endian; "float" is
// a 4-byte IEEE single.
//
//   offset                 size  contents
//   11                     4     "data" (exactly, lower case) in a data file
//   8 + 13*c, c = 1..120   13    channel c: name (12, blank padded), sensor s (1)
//   0x62D                  3     logger settings: one byte, one u16
//   0x613 + 29*s, s = 1..60 29   sensor s: name (12), sample byte (1: 0 means
//                                two-byte samples), four floats; a first float
//                                of 0.0 marks a table sensor whose next floats
//                                are table number, table minimum, maximum
//   0xCFC                  1     module count N
//   0xCFD + 2*i            2     module i: channel number c (1-based), rate index
//   0xD15 + 96*t, t = 1..10 96   table t: name (12), 20 u16 x points (+12),
//                                20 u16 y points (+52), float scale (+92)
//   0x1135 + 3*i           3     module i: data address bytes b0 b1 b2
//   0x11F6                 4     data: recording length, big-endian u16 minutes
//                                then big-endian u16 milliseconds
//   0x11FA                 1     data: event count E, then E records of 12 bytes
//
// Event record: six BCD clock fields (bytes 0..5; the first is scaled by ten
// when converted), a BCD two-digit year (byte 6), a code byte (byte 7), and
// the time into the recording as big-endian u16 minutes and milliseconds
// (bytes 8..11).
#pragma once

#include <cstdint>

namespace kestron4::legacy {

inline constexpr uint64_t kDataMarkOffset = 11;
inline constexpr uint64_t kChannelBase = 8;  // + 13 * c
inline constexpr uint64_t kChannelRecord = 13;
inline constexpr uint64_t kChannelSensorField = 12;  // within a channel record
inline constexpr uint64_t kSettingsOffset = 0x62D;
inline constexpr uint64_t kSensorBase = 0x613;  // + 29 * s
inline constexpr uint64_t kSensorRecord = 29;
inline constexpr uint64_t kSensorByteField = 12;
inline constexpr uint64_t kSensorFloatField = 13;
inline constexpr int kSensorRecords = 60;
inline constexpr uint64_t kModuleCountOffset = 0xCFC;
inline constexpr uint64_t kModuleBase = 0xCFD;  // + 2 * i
inline constexpr uint64_t kTableBase = 0xD15;   // + 96 * t
inline constexpr uint64_t kTableRecord = 96;
inline constexpr uint64_t kTableXField = 10;  // + 2 * j, j = 1..20
inline constexpr uint64_t kTableYField = 50;  // + 2 * j
inline constexpr uint64_t kTableScaleField = 92;
inline constexpr int kTablePoints = 20;
inline constexpr int kTableRecords = 10;
inline constexpr uint64_t kAddressBase = 0x1135;  // + 3 * i
inline constexpr uint64_t kRecordingLengthOffset = 0x11F6;
inline constexpr uint64_t kEventCountOffset = 0x11FA;
inline constexpr uint64_t kEventRecord = 12;
inline constexpr uint64_t kNameLength = 12;

// Highest channel number a module may name: one past the last row of the
// channel name table.
inline constexpr unsigned kMaxChannelNumber = 131;

// Sample period in milliseconds by rate index.
inline constexpr uint32_t kRatePeriods[] = {
    1, 2, 5, 10, 20, 50, 100, 200, 500, 1000, 2000, 5000, 10000, 30000, 60000, 120000, 300000};
inline constexpr unsigned kRateCount = sizeof(kRatePeriods) / sizeof(kRatePeriods[0]);

// The one file type (the second logger's version-1 data file) whose module
// addresses use all eight bits of b0.
inline constexpr uint16_t kTypeSecondDataV1 = 14;

inline constexpr uint64_t ChannelOffset(unsigned c) { return kChannelBase + kChannelRecord * c; }
inline constexpr uint64_t SensorOffset(unsigned s) { return kSensorBase + kSensorRecord * s; }
inline constexpr uint64_t TableOffset(unsigned t) { return kTableBase + kTableRecord * t; }

// Start of module i's recorded samples.
inline constexpr uint32_t DataAddress(uint16_t fileType, uint8_t b0, uint8_t b1, uint8_t b2) {
  const uint32_t high = fileType == kTypeSecondDataV1 ? uint32_t{b0} << 8 : uint32_t{b0} << 7;
  return (high + b1 + 21) * 256 + b2;
}

}  // namespace kestron4::legacy
