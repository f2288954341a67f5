// Building the model of a recording from its session: one walk over the
// logger block, reading names, rates, scaling and events, never samples.
#include <cmath>
#include <limits>
#include <set>
#include <utility>

#include "recording/recording.h"
#include "recording/recording_values.h"
#include "recording/wall_clock.h"

namespace kstrn::recording {
namespace {

using detail::NumberValue;
using detail::RealValue;
using detail::TextValue;

constexpr uint16_t kLogger = 2, kChannelRef = 107, kSensor = 101, kTable = 102, kSamples = 135,
                   kLayout = 133, kEvents = 137, kTablePoint = 108;
constexpr uint16_t kName = 1002, kSensorByte = 1010, kRate = 1050, kLength = 1018, kPointX = 1025,
                   kPointY = 1031, kEventCode = 1074;
constexpr uint16_t kToSensor = 65;

void ReadScaling(Session& session, Channel& channel) {
  // A reference that does not resolve leaves the channel raw.
  if (!KSTRN_GotoReference(kToSensor, session.handle())) return;
  const std::optional<Session::Position> target = session.Parent();
  if (!target) return;
  channel.scalingName = TextValue(session, kName).value_or("");
  if (target->tid == kSensor) {
    channel.scaling = ScalingKind::kSensor;
    const uint16_t reals[] = {1011, 1012, 1005, 1006};
    for (std::size_t i = 0; i < 4; ++i) channel.sensorReals[i] = RealValue(session, reals[i]);
  } else if (target->tid == kTable) {
    channel.scaling = ScalingKind::kTable;
    channel.tableRange = std::pair(RealValue(session, 1005), RealValue(session, 1006));
    const uint16_t count = session.ItemCount(kTablePoint);
    for (uint16_t i = 0; i < count; ++i) {
      session.OpenItem(kTablePoint, i);
      channel.tablePoints.push_back({static_cast<double>(NumberValue(session, kPointX).value_or(0)),
                                     RealValue(session, kPointY)});
      session.CloseItem();
    }
    channel.table = TableScaling(channel.tablePoints);
  }
}

Event ReadEvent(const Session& session) {
  Event event;
  for (const uint16_t tid : session.ValueTids()) {
    if (const std::optional<uint64_t> number = NumberValue(session, tid))
      event.values[tid] = *number;
  }
  const auto value = [&](uint16_t tid) -> std::optional<uint64_t> {
    const auto found = event.values.find(tid);
    if (found == event.values.end()) return std::nullopt;
    return found->second;
  };
  if (const auto time = value(kLength)) event.timeMs = static_cast<uint32_t>(*time);
  event.code = value(kEventCode);
  const auto ms = value(1067), second = value(1068), minute = value(1069), hour = value(1070),
             day = value(1071), month = value(1072), year = value(1073);
  if (ms && second && minute && hour && day && month && year) {
    event.clock = ClockOf(static_cast<int64_t>(*year), static_cast<int64_t>(*month),
                          static_cast<int64_t>(*day), static_cast<int64_t>(*hour),
                          static_cast<int64_t>(*minute), static_cast<int64_t>(*second),
                          static_cast<int64_t>(*ms));
  }
  return event;
}

}  // namespace

uint32_t RatePeriodMs(uint64_t rateIndex) {
  return rateIndex < kRatePeriodsMs.size() ? kRatePeriodsMs[rateIndex] : 0;
}

Recording Recording::ReadOrEmpty(Session& session) {
  Recording recording;
  recording.session_ = &session;
  session.GotoRoot();
  if (session.ItemCount(kLogger) == 0) return recording;
  session.OpenItem(kLogger, 0);
  const uint16_t modules = session.ItemCount(kSamples);
  const uint16_t layouts = session.ItemCount(kLayout);
  const uint16_t refs = session.ItemCount(kChannelRef);
  recording.lengthMs_ = NumberValue(session, kLength).value_or(0);
  std::set<std::string> columns;
  for (uint16_t m = 0; m < modules; ++m) {
    Channel channel;
    channel.index = m;
    channel.module = m;
    if (m < layouts) {
      session.OpenItem(kLayout, m);
      if (const auto rate = NumberValue(session, kRate); rate && *rate <= UINT8_MAX) {
        channel.rateIndex = static_cast<uint8_t>(*rate);
        channel.periodMs = RatePeriodMs(*rate);
      }
      channel.sampleBytes = NumberValue(session, kSensorByte).value_or(0) != 0 ? 1 : 2;
      session.CloseItem();
    }
    session.OpenItem(kSamples, m);
    channel.source = TextValue(session, kName).value_or("module " + std::to_string(m));
    channel.count = detail::BlobLength(session) / channel.sampleBytes;
    session.CloseItem();
    channel.name = channel.source;
    if (m < refs) {
      session.OpenItem(kChannelRef, m);
      channel.name = TextValue(session, kName).value_or(channel.source);
      ReadScaling(session, channel);
      session.GotoRoot();
      session.OpenItem(kLogger, 0);
    }
    channel.column = columns.count(channel.name) == 0
                         ? channel.name
                         : channel.name + " (" + std::to_string(m) + ")";
    columns.insert(channel.column);
    recording.channels_.push_back(std::move(channel));
  }
  const uint16_t events = session.ItemCount(kEvents);
  for (uint16_t e = 0; e < events; ++e) {
    session.OpenItem(kEvents, e);
    recording.events_.push_back(ReadEvent(session));
    session.CloseItem();
  }
  // The first event that tells the date and its time into the recording.
  for (const Event& event : recording.events_) {
    if (event.clock && event.timeMs) {
      recording.start_ = WallClock{event.clock->ns - int64_t{*event.timeMs} * 1'000'000};
      break;
    }
  }
  recording.blobs_.resize(recording.channels_.size());
  return recording;
}

Recording Recording::Read(Session& session) {
  Recording recording = ReadOrEmpty(session);
  if (recording.channels_.empty())
    throw RecordingError("holds no logger recording (no recorded samples, item 135 of item 2)");
  return recording;
}

const Channel& Recording::Find(std::string_view text) const {
  for (const Channel& channel : channels_)
    if (channel.column == text) return channel;
  for (const Channel& channel : channels_)
    if (channel.name == text) return channel;
  std::string known;
  for (const Channel& channel : channels_) known += (known.empty() ? "" : ", ") + channel.column;
  throw RecordingError("no channel \"" + std::string(text) + "\"; channels: " + known);
}

uint64_t Recording::SpanMs() const {
  uint64_t span = 0;
  for (const Channel& channel : channels_) span = std::max(span, channel.EndMs());
  return span;
}

std::map<uint32_t, std::vector<std::size_t>> Recording::RateGroups() const {
  std::map<uint32_t, std::vector<std::size_t>> groups;
  for (const Channel& channel : channels_)
    if (channel.periodMs != 0) groups[channel.periodMs].push_back(channel.index);
  return groups;
}

}  // namespace kstrn::recording
