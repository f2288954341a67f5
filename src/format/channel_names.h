// The display names of the logger channels in their fixed order. A channel's
// position in the table (its channel index) is the key by which converted
// logger files name their channel items and derive channel codes. The names
// end up as stored text, so every byte counts, including the trailing blank
// of "Maths 10 " and "Maths 11 ".
//
// The table is constant data: it needs no start-up code and any thread may
// read it at any time without locking.
#pragma once

#include <cstddef>

namespace kestron4 {

class ChannelNameTable {
 public:
  static constexpr std::size_t kSize = 131;

  // Rows the library refers to by position.
  static constexpr std::size_t kLastMeasuredChannel = 119;  // "Maths 11 "
  static constexpr std::size_t kLoggerStatusRaw = 120;
  static constexpr std::size_t kLoggerStatus = 121;
  static constexpr std::size_t kCardIn = 122;
  static constexpr std::size_t kCardFull = 123;
  static constexpr std::size_t kCardRecording = 124;
  static constexpr std::size_t kCardWriteProtected = 125;
  static constexpr std::size_t kSetupFailure = 126;
  static constexpr std::size_t kEcuString1 = 127;  // then 128 and 129
  static constexpr std::size_t kEightByteString = 130;

  // The NUL-terminated name at index, or null when index >= kSize. The text
  // lives as long as the program.
  static const char* Name(std::size_t index);
};

}  // namespace kestron4
