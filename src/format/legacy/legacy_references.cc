// The references every converted logger carries whatever its modules (the
// logger status and the three ECU strings) and the logger settings item.
#include "format/channel_names.h"
#include "format/legacy/legacy_conversion.h"

namespace kestron4::legacy {
namespace {

constexpr Tid kChannelRef = 107;
constexpr Tid kRefEntry = 112;
constexpr Tid kSettings = 104;

// The two reference entries of a channel reference: the item that describes
// the channel, and its raw channel item (named by rawName).
void AddRefEntries(LegacyTree& out, Tid target, const char* targetName, const char* rawName) {
  out.Items(kRefEntry, 2);
  out.Open(kRefEntry, 0);
  out.U16(1052, 65);
  out.U16(1024, target);
  out.Text(1002, targetName);
  out.Close();
  out.Open(kRefEntry, 1);
  out.U16(1052, 1);
  out.U16(1024, 100);
  out.Text(1002, rawName);
  out.Close();
}

}  // namespace

void AddFixedReferences(LegacyConversion& job) {
  LegacyTree& out = job.out;
  out.Append(kChannelRef);
  out.U16(1040, 2);
  out.Text(1002, ChannelNameTable::Name(ChannelNameTable::kLoggerStatus));
  AddRefEntries(out, 120, ChannelNameTable::Name(ChannelNameTable::kLoggerStatus),
                ChannelNameTable::Name(ChannelNameTable::kLoggerStatusRaw));
  out.Close();

  for (std::size_t k = 0; k < 3; ++k) {
    const char* name = ChannelNameTable::Name(ChannelNameTable::kEcuString1 + k);
    out.Append(kChannelRef);
    out.Text(1002, name);
    out.U16(1040, 2);
    AddRefEntries(out, 125, ChannelNameTable::Name(ChannelNameTable::kEightByteString), name);
    out.Close();
  }
}

void AddLoggerSettings(LegacyConversion& job) {
  job.out.Open(kSettings, 0);
  job.out.U16(1024, job.in.U8(kSettingsOffset));
  job.out.U16(1013, job.in.U16(kSettingsOffset + 1));
  job.out.Close();
}

}  // namespace kestron4::legacy
