// Modules: the module table, one channel reference per module, and the
// module data addresses.
#include <string>

#include "format/channel_names.h"
#include "format/legacy/legacy_conversion.h"
#include "format/legacy/legacy_name.h"

namespace kestron4::legacy {
namespace {

constexpr Tid kModule = 106;
constexpr Tid kChannelRef = 107;
constexpr Tid kRefEntry = 112;

std::string NameAt(LegacyReader& in, uint64_t offset) {
  uint8_t field[kNameLength];
  in.Bytes(offset, field, kNameLength);
  return LegacyName(field);
}

}  // namespace

unsigned CheckedChannel(uint8_t channelNumber) {
  if (channelNumber == 0 || channelNumber > kMaxChannelNumber)
    throw ELegacyRejected("channel number outside the channel table");
  return channelNumber;
}

unsigned CheckedRate(uint8_t rateIndex) {
  if (rateIndex >= kRateCount) throw ELegacyRejected("rate index outside the rate table");
  return rateIndex;
}

unsigned CheckedTable(float tableNumber) {
  // The number is stored as a float; its integer part names the table.
  // Anything that truncates to 0 or past the last table (NaN included) is
  // refused before it can index the table limits.
  if (!(tableNumber >= 1.0f && tableNumber < kTableRecords + 1.0f))
    throw ELegacyRejected("table number outside the table records");
  return static_cast<unsigned>(tableNumber);
}

void ReadModules(LegacyConversion& job) {
  const uint8_t count = job.in.U8(kModuleCountOffset);
  job.out.Items(kModule, count);
  job.modules.resize(count);
  for (unsigned i = 0; i < count; ++i) {
    LegacyModule& m = job.modules[i];
    m.channelNumber = static_cast<uint8_t>(CheckedChannel(job.in.U8(kModuleBase + 2 * i)));
    m.rateIndex = static_cast<uint8_t>(CheckedRate(job.in.U8(kModuleBase + 2 * i + 1)));
    m.periodMs = kRatePeriods[m.rateIndex];
    const uint8_t sensor = job.in.U8(ChannelOffset(m.channelNumber) + kChannelSensorField);
    m.sampleSize = job.in.U8(SensorOffset(sensor) + kSensorByteField) != 0 ? 1 : 2;
  }
}

void AddChannelReferences(LegacyConversion& job) {
  LegacyReader& in = job.in;
  LegacyTree& out = job.out;
  for (LegacyModule& m : job.modules) {
    const unsigned c = m.channelNumber;
    out.Append(kChannelRef);
    out.U8(1050, m.rateIndex);
    out.U16(1040, 1);
    out.Text(1002, NameAt(in, ChannelOffset(c)).c_str());
    const uint8_t s = in.U8(ChannelOffset(c) + kChannelSensorField);
    job.usedSensors.set(s);

    out.Items(kRefEntry, 2);
    out.Open(kRefEntry, 0);
    out.U16(1052, 65);
    const uint64_t sensor = SensorOffset(s);
    if (in.F32(sensor + kSensorFloatField) == 0.0f) {
      out.U16(1024, 102);
      job.tableSensors.set(s);
      const unsigned t = CheckedTable(in.F32(sensor + kSensorFloatField + 4));
      LegacyTableLimits& table = job.tables[t];
      table.minimum = in.F32(sensor + kSensorFloatField + 8);
      table.maximum = in.F32(sensor + kSensorFloatField + 12);
      table.sensorByte = in.U8(sensor + kSensorByteField);
      m.sensorByte = table.sensorByte;
      out.Text(1002, NameAt(in, TableOffset(t)).c_str());
    } else {
      out.U16(1024, 101);
      out.Text(1002, NameAt(in, sensor).c_str());
      m.sensorByte = in.U8(sensor + kSensorByteField);
    }
    out.Close();

    out.Open(kRefEntry, 1);
    out.U16(1052, 1);
    out.U16(1024, 100);
    out.Text(1002, ChannelNameTable::Name(c - 1));
    out.Close();
    out.Close();
  }
}

void AddModuleAddresses(LegacyConversion& job) {
  for (unsigned i = 0; i < job.modules.size(); ++i) {
    job.out.Open(kModule, static_cast<int32_t>(i));
    uint8_t b[3];
    job.in.Bytes(kAddressBase + 3 * i, b, sizeof b);
    job.out.Raw(1028, b, sizeof b);
    job.modules[i].dataAddress = DataAddress(job.fileType, b[0], b[1], b[2]);
    job.out.Close();
  }
}

}  // namespace kestron4::legacy
