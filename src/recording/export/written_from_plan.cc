#include "recording/export/written_from_plan.h"

#include <charconv>
#include <cmath>

namespace kstrn::recording {
namespace {

std::string Number(double value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

// A channel's samples in the window: recording sample `first` onward.
struct Window {
  std::size_t channel;
  uint64_t first;
};

class PlanSamples : public written::SampleSource {
 public:
  PlanSamples(const Recording& recording, std::vector<std::vector<Window>> windows)
      : recording_(recording), windows_(std::move(windows)) {
    for (const auto& group : windows_) {
      mapped_.emplace_back();
      buffers_.emplace_back(group.size());
      for (const Window& w : group) mapped_.back().push_back(recording_.Mapped(w.channel));
    }
  }

  const uint8_t* Samples(std::size_t group, std::size_t channel, uint64_t first, uint64_t count) override {
    const Window& w = windows_[group][channel];
    if (const auto& span = mapped_[group][channel]) return span->data + (w.first + first) * span->width;
    std::vector<uint8_t>& buffer = buffers_[group][channel];
    if (recording_.ReadRaw(w.channel, w.first + first, count, buffer) != count) {
      throw RecordingError("channel \"" + recording_.Channels()[w.channel].column + "\" ended early");
    }
    return buffer.data();
  }

 private:
  const Recording& recording_;
  std::vector<std::vector<Window>> windows_;
  std::vector<std::vector<std::optional<SampleSpan>>> mapped_;
  std::vector<std::vector<std::vector<uint8_t>>> buffers_;
};

written::Properties ChannelProperties(const Channel& channel) {
  written::Properties p = {{"module", std::to_string(channel.module)}};
  if (channel.scaling == ScalingKind::kSensor) {
    p.emplace_back("scaling", "sensor " + channel.scalingName);
    for (std::size_t i = 0; i < channel.sensorReals.size(); ++i) {
      p.emplace_back("sensor_real_" + std::to_string(i + 1), Number(channel.sensorReals[i]));
    }
  } else if (channel.scaling == ScalingKind::kTable) {
    p.emplace_back("scaling", "table " + channel.scalingName);
  }
  if (channel.tableRange) {
    p.emplace_back("table_minimum", Number(channel.tableRange->first));
    p.emplace_back("table_maximum", Number(channel.tableRange->second));
  }
  return p;
}

uint64_t CeilDiv(int64_t ns, int64_t period) {
  return ns <= 0 ? 0 : static_cast<uint64_t>((ns + period - 1) / period);
}

}  // namespace

WrittenPlan WrittenFromPlan(const ExportPlan& plan, const std::string& format) {
  if (plan.rasterNs) {
    throw RecordingError(format + " keeps each rate's samples as recorded, one group per rate; "
                         "a raster applies to csv and parquet");
  }
  const Recording& recording = *plan.recording;
  WrittenPlan result;
  written::RecordedData& data = result.data;
  if (recording.Start()) data.start_ns = recording.Start()->ns;
  data.properties.emplace_back("length_ms", std::to_string(recording.LengthMs()));
  std::vector<std::vector<Window>> windows;
  for (const auto& [period, columns] : plan.RateGroups()) {
    const int64_t periodNs = int64_t{period} * kNsPerMs;
    written::WrittenGroup group;
    group.period_ns = static_cast<uint64_t>(periodNs);
    group.first_tick = CeilDiv(plan.fromNs, periodNs);
    windows.emplace_back();
    for (const ColumnDesc& column : columns) {
      const Channel& channel = recording.Channels()[column.channel];
      const uint64_t stop = std::min(channel.count, CeilDiv(plan.toNs, periodNs));
      written::WrittenChannel w;
      w.name = channel.column;
      w.source = channel.source;
      w.sample_bytes = static_cast<uint8_t>(channel.sampleBytes);
      w.samples = stop > group.first_tick ? stop - group.first_tick : 0;
      if (plan.physical && channel.Physical()) {
        w.table = channel.table.Points();
        w.table_name = channel.scalingName;
      }
      w.properties = ChannelProperties(channel);
      group.channels.push_back(std::move(w));
      windows.back().push_back({column.channel, group.first_tick});
    }
    data.groups.push_back(std::move(group));
  }
  for (std::size_t e = 0; e < recording.Events().size(); ++e) {
    const Event& event = recording.Events()[e];
    written::WrittenEvent w;
    w.time_s = event.timeMs ? *event.timeMs / 1000.0 : 0.0;
    w.name = "event " + std::to_string(e + 1);
    if (event.clock) w.properties.emplace_back("clock", event.clock->Iso());
    if (event.code) w.properties.emplace_back("code", std::to_string(*event.code));
    data.events.push_back(std::move(w));
  }
  result.source = std::make_unique<PlanSamples>(recording, std::move(windows));
  return result;
}

}  // namespace kstrn::recording
