// A recording converted from the older logger files, as one model that every
// reader of it shares (kstrn view, the exports, the Python package).
//
// Where the file keeps it: under the logger block (item 2) one module per
// block of item 135, whose blob (1063) holds the raw samples; the same index
// of item 133 gives the rate index (1050; period by kRatePeriodsMs) and the
// sample width (1010: non-zero one byte, else two bytes little-endian); the
// same index of item 107 names the channel (1002) and refers (reference 65)
// to a sensor (item 101: four reals 1011, 1012, 1005, 1006 whose meaning the
// file does not give, never applied) or a table (item 102: range 1005/1006,
// points 108 with raw x 1025 and physical y 1031). Events are the blocks of
// item 137: a wall clock (1067 hundredths x 10, 1068 s, 1069 min, 1070 h,
// 1071 day, 1072 month, 1073 year), a code (1074) and their time into the
// recording (1018, ms). The file holds no units and no time zone.
//
// Time base: sample i of a channel lies at i x its period since the start of
// the recording. The wall clock at time 0 (Start()) is the first event whose
// clock is a real date, minus its time into the recording; a file without
// such an event has only relative time.
//
// Threads: a Recording uses its session's cursor; one thread at a time, and
// the session must outlive the Recording and stay unedited while it lives.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "kestron4/kestron4.hpp"
#include "recording/table_scaling.h"

namespace kstrn::recording {

// Every failure of this layer: no recording, unknown channel, a window
// outside the recording, an output that cannot be written. what() is a
// sentence for the user.
class RecordingError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Sample period in milliseconds per rate index.
inline constexpr std::array<uint32_t, 17> kRatePeriodsMs = {
    1, 2, 5, 10, 20, 50, 100, 200, 500, 1000, 2000, 5000, 10000, 30000, 60000, 120000, 300000};
// The period of a rate index; 0 for an index outside the table.
uint32_t RatePeriodMs(uint64_t rateIndex);

enum class ScalingKind { kNone, kSensor, kTable };

struct Channel {
  std::size_t index = 0;  // position in Recording::Channels()
  uint16_t module = 0;    // block index of items 135, 133 and 107
  std::string name;       // of item 107, else of the samples' block, else "module N"
  // name, or "name (module)" when an earlier channel has that name: unique.
  std::string column;
  std::string source;          // name of the samples' block (item 135)
  std::optional<uint8_t> rateIndex;  // 1050 as stored
  uint32_t periodMs = 0;       // 0: no valid rate index
  uint32_t sampleBytes = 2;    // 1 or 2
  uint64_t count = 0;          // whole samples in the blob
  ScalingKind scaling = ScalingKind::kNone;
  std::string scalingName;     // the sensor's or table's name
  // Sensor: 1011, 1012, 1005, 1006 as stored (NaN when absent).
  std::array<double, 4> sensorReals{};
  // Table: its minimum and maximum (1005, 1006) as stored, and its points in
  // the file's order (x 1025, y 1031; NaN y when absent).
  std::optional<std::pair<double, double>> tableRange;
  std::vector<TablePoint> tablePoints;
  TableScaling table;  // what "physical" applies; empty: raw only

  bool Physical() const { return !table.empty(); }
  // Time of sample i in ms since the start.
  double TimeMs(uint64_t i) const { return static_cast<double>(i) * periodMs; }
  // Time just past the last sample (count x period), ms.
  uint64_t EndMs() const { return count * periodMs; }
};

// A wall-clock time of the logger, no time zone: nanoseconds since
// 1970-01-01 00:00 of the logger's own clock.
struct WallClock {
  int64_t ns = 0;
  // "YYYY-MM-DDTHH:MM:SS.mmm" (ISO 8601 without zone), digits of the
  // fraction as needed down to nanoseconds.
  std::string Iso() const;
};

struct Event {
  std::optional<uint32_t> timeMs;    // 1018
  std::optional<uint64_t> code;      // 1074 as stored
  std::optional<WallClock> clock;    // when 1067..1073 form a real date
  // Every fixed-width value of the event (up to 8 bytes) by TID, as an
  // unsigned number, for the fields this model does not name.
  std::map<uint16_t, uint64_t> values;
};

// A contiguous run of raw samples as stored: width 1 (uint8) or 2
// (little-endian uint16).
struct SampleSpan {
  const uint8_t* data = nullptr;
  uint64_t count = 0;
  uint32_t width = 2;
  uint32_t At(uint64_t i) const {
    return width == 1 ? data[i] : static_cast<uint32_t>(data[2 * i] | data[2 * i + 1] << 8);
  }
};

class Recording {
 public:
  // Reads the model (names, rates, scaling, events), not the samples.
  // Throws RecordingError when session holds no recording (no logger block
  // with recorded samples). Leaves the cursor anywhere.
  static Recording Read(Session& session);
  // As Read, but a session without a recording gives an empty one.
  static Recording ReadOrEmpty(Session& session);

  const std::vector<Channel>& Channels() const { return channels_; }
  // The channel whose column (or, failing that, name) is text; throws
  // RecordingError naming the channels there are.
  const Channel& Find(std::string_view text) const;
  const std::vector<Event>& Events() const { return events_; }
  // 1018 of the logger block: the length the logger gives, ms.
  uint64_t LengthMs() const { return lengthMs_; }
  // The end of the samples: the greatest EndMs() of the channels.
  uint64_t SpanMs() const;
  // The wall clock at time 0, when an event gives one.
  const std::optional<WallClock>& Start() const { return start_; }
  // Channel indices per sample period, fastest first; channels without a
  // valid rate are in none.
  std::map<uint32_t, std::vector<std::size_t>> RateGroups() const;

  // The samples of channel without a copy, when the session keeps them in
  // memory or in its mapping; nothing for a streamed session. Valid while
  // the session lives unedited.
  std::optional<SampleSpan> Mapped(std::size_t channel) const;
  // Copies samples [first, first + count) of channel (clamped to its count)
  // into out as stored bytes; returns how many samples it gave.
  uint64_t ReadRaw(std::size_t channel, uint64_t first, uint64_t count,
                   std::vector<uint8_t>& out) const;
  // As ReadRaw, as numbers.
  uint64_t ReadNumbers(std::size_t channel, uint64_t first, uint64_t count,
                       std::vector<uint32_t>& out) const;

 private:
  struct BlobAccess {
    KSTRN_ValueHandle value = nullptr;
    const uint8_t* mapped = nullptr;  // payload start, or null
    uint32_t prefix = 0;              // stored bytes before the payload
  };
  const BlobAccess& Blob(std::size_t channel) const;

  Session* session_ = nullptr;
  std::vector<Channel> channels_;
  std::vector<Event> events_;
  uint64_t lengthMs_ = 0;
  std::optional<WallClock> start_;
  mutable std::vector<std::optional<BlobAccess>> blobs_;
};

}  // namespace kstrn::recording
