// What the file writers of a recording (MDF 4, MAT) are handed: a plain
// description of the recording and a source they pull samples from, a
// chunk at a time, so that no writer needs the whole recording in memory.
//
// Contract of the description (writers check it and throw
// std::invalid_argument when it is broken):
//  - groups hold the channels of one sample period; sample i of a channel
//    lies at (first_tick + i) * period_ns after the recording's start;
//  - a channel's samples are unsigned little-endian integers of
//    sample_bytes (1, 2, 4 or 8) bytes, as stored;
//  - a channel with a table maps raw to physical by linear interpolation
//    between its points, raw strictly increasing; below the first point and
//    above the last the end point's value holds;
//  - an event's time is finite and within 292 years of the start;
//  - text is UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "recording/table_scaling.h"

namespace kstrn::recording::written {

// Free-text facts without a field of their own in a target format, written
// as name/value pairs (MDF comments, MAT fields).
using Properties = std::vector<std::pair<std::string, std::string>>;

struct WrittenChannel {
  std::string name;
  std::string source;  // where it was measured (the logger's input); may be empty
  std::string unit;    // may be empty: the recording does not say
  uint8_t sample_bytes = 2;
  uint64_t samples = 0;
  std::string table_name;         // empty without a table
  std::vector<TablePoint> table;  // empty: raw values only
  Properties properties;
};

struct WrittenGroup {
  uint64_t period_ns = 0;
  // A window of a recording: sample 0 of every channel of the group is
  // sample first_tick of the recording (time first_tick * period_ns).
  uint64_t first_tick = 0;
  std::vector<WrittenChannel> channels;
};

struct WrittenEvent {
  double time_s = 0;  // since the recording's start
  std::string name;
  Properties properties;
};

struct RecordedData {
  // The wall clock at time 0 as nanoseconds since 1970-01-01 00:00 of that
  // same clock (local time, zone unknown); none when the recording has no
  // clock.
  std::optional<int64_t> start_ns;
  std::vector<WrittenGroup> groups;
  std::vector<WrittenEvent> events;
  Properties properties;  // about the whole recording
};

// Where a writer pulls samples from.
class SampleSource {
 public:
  virtual ~SampleSource() = default;
  // Samples [first, first + count) of channel `channel` of group `group`:
  // count * sample_bytes bytes. The bytes stay valid until the next call
  // for the same channel. REQUIRES: first + count <= the channel's samples.
  // Throws on a read failure.
  virtual const uint8_t* Samples(size_t group, size_t channel, uint64_t first,
                                 uint64_t count) = 0;
};

// A source over samples already in memory (or mapped): no copies.
class SpanSource : public SampleSource {
 public:
  struct Channel {
    std::span<const uint8_t> bytes;  // every sample of the channel
    uint8_t sample_bytes;
  };
  // channels[g][c] is channel c of group g; the memory must outlive the
  // source.
  explicit SpanSource(std::vector<std::vector<Channel>> channels)
      : channels_(std::move(channels)) {}
  // Throws std::out_of_range for a channel or window it does not hold.
  const uint8_t* Samples(size_t group, size_t channel, uint64_t first,
                         uint64_t count) override;

 private:
  std::vector<std::vector<Channel>> channels_;
};

// Throws std::invalid_argument naming the first broken rule of the contract
// above (and, with source, nothing else).
void CheckRecordedData(const RecordedData& data);

}  // namespace kstrn::recording::written
