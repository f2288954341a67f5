#include "recording/writer_input/recorded_data.h"

#include <cmath>
#include <stdexcept>

namespace kstrn::recording::written {

const uint8_t* SpanSource::Samples(size_t group, size_t channel, uint64_t first,
                                   uint64_t count) {
  const Channel& c = channels_.at(group).at(channel);
  const uint64_t held = c.bytes.size() / c.sample_bytes;
  if (first > held || count > held - first) throw std::out_of_range("samples outside the channel");
  return c.bytes.data() + first * c.sample_bytes;
}

namespace {

void Refuse(const std::string& what) { throw std::invalid_argument(what); }

}  // namespace

void CheckRecordedData(const RecordedData& data) {
  for (const WrittenGroup& group : data.groups) {
    if (group.period_ns == 0) Refuse("a group has no sample period");
    for (const WrittenChannel& channel : group.channels) {
      const uint8_t w = channel.sample_bytes;
      if (w != 1 && w != 2 && w != 4 && w != 8) {
        Refuse("channel " + channel.name + ": samples of " + std::to_string(w) + " bytes");
      }
      for (size_t i = 0; i < channel.table.size(); ++i) {
        const TablePoint& p = channel.table[i];
        if (!std::isfinite(p.raw) || !std::isfinite(p.physical) ||
            (i > 0 && !(channel.table[i - 1].raw < p.raw))) {
          Refuse("channel " + channel.name + ": table points not finite and strictly increasing");
        }
      }
    }
  }
  for (const WrittenEvent& event : data.events) {
    // Event times are written as whole nanoseconds in 64 bits.
    if (!(std::fabs(event.time_s) < 9.2e9)) Refuse("event " + event.name + " has no time within 292 years");
  }
}

}  // namespace kstrn::recording::written
