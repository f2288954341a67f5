// The logger's fixed channel set: one channel item per measured channel, the
// raw logger status, the ECU strings, and the logger status item with the
// card states it decodes.
#include "format/channel_names.h"
#include "format/legacy/legacy_conversion.h"

namespace kestron4::legacy {
namespace {

constexpr Tid kChannel = 100;
constexpr Tid kLoggerStatus = 120;
constexpr Tid kStatusState = 110;
constexpr Tid kEightByteString = 125;

// 16-bit channel codes by channel index.
constexpr uint16_t kFirstChannelCode = 0xFC00;  // + 2 * index up to "Maths 11 "
constexpr uint16_t kLoggerStatusRawCode = 0xD99C;
constexpr uint16_t kEcuStringCodes[] = {0xDBD7, 0xDBDF, 0xDCD7};

struct StatusState {
  uint16_t mask;
  uint16_t state;
  const char* text;
};

void AddChannel(LegacyTree& out, std::size_t index, uint16_t code) {
  out.Append(kChannel);
  out.Text(1002, ChannelNameTable::Name(index));
  out.U16(1015, code);
  out.Close();
}

}  // namespace

void AddChannelItems(LegacyConversion& job) {
  LegacyTree& out = job.out;
  for (std::size_t index = 0; index <= ChannelNameTable::kLastMeasuredChannel; ++index)
    AddChannel(out, index, static_cast<uint16_t>(kFirstChannelCode + 2 * index));
  AddChannel(out, ChannelNameTable::kLoggerStatusRaw, kLoggerStatusRawCode);
  for (std::size_t k = 0; k < 3; ++k)
    AddChannel(out, ChannelNameTable::kEcuString1 + k, kEcuStringCodes[k]);

  const StatusState kStates[] = {
      {0, 6, "No Card"},
      {1, 5, ChannelNameTable::Name(ChannelNameTable::kCardIn)},
      {2, 3, ChannelNameTable::Name(ChannelNameTable::kCardFull)},
      {4, 4, ChannelNameTable::Name(ChannelNameTable::kCardRecording)},
      {8, 2, ChannelNameTable::Name(ChannelNameTable::kCardWriteProtected)},
      {16, 1, ChannelNameTable::Name(ChannelNameTable::kSetupFailure)},
  };
  out.Open(kLoggerStatus, 0);
  out.Text(1002, ChannelNameTable::Name(ChannelNameTable::kLoggerStatus));
  for (const StatusState& s : kStates) {
    out.Append(kStatusState);
    out.U16(1048, s.mask);
    out.U16(1054, s.state);
    out.Text(1007, s.text);
    out.Close();
  }
  out.Close();

  out.Open(kEightByteString, 0);
  out.Text(1002, ChannelNameTable::Name(ChannelNameTable::kEightByteString));
  out.U16(1041, 8);
  out.Close();
}

}  // namespace kestron4::legacy
