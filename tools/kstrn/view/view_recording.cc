// Reading the channel list of a converted recording.
#include "view_recording.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>

#include "kstrn_value.h"

namespace kstrn::tool {
namespace {

constexpr uint16_t kLogger = 2, kChannelRef = 107, kSensor = 101, kTable = 102, kSamples = 135,
                   kLayout = 133, kTablePoint = 108;
constexpr uint16_t kName = 1002, kSensorByte = 1010, kRate = 1050, kBlob = 1063, kPointX = 1025,
                   kPointY = 1031;
constexpr uint16_t kToSensor = 65;
constexpr uint32_t kPeriodsMs[] = {1,    2,    5,    10,    20,    50,    100,    200,   500,
                                   1000, 2000, 5000, 10000, 30000, 60000, 120000, 300000};

std::optional<std::string> TextValue(const Session& session, uint16_t tid) {
  if (!session.HasValue(tid)) return std::nullopt;
  const ValueInfo value = DescribeValue(session, tid);
  const std::vector<uint8_t> payload = ReadPayload(session, value, 4096);
  const TextForm form = ClassifyText(payload);
  if (form == TextForm::kNotText) return std::nullopt;
  return TextOf(payload, form);
}

std::optional<uint64_t> NumberValue(const Session& session, uint16_t tid) {
  if (!session.HasValue(tid)) return std::nullopt;
  const ValueInfo value = DescribeValue(session, tid);
  if (value.layout != Layout::kFixed) return std::nullopt;
  return NumberOf(value, ReadPayload(session, value, 8));
}

// A real as the conversion stores it: the bits of a double in an 8-byte value.
double RealValue(const Session& session, uint16_t tid) {
  if (!session.HasValue(tid)) return std::numeric_limits<double>::quiet_NaN();
  const ValueInfo value = DescribeValue(session, tid);
  const std::vector<uint8_t> payload = ReadPayload(session, value, 8);
  if (value.layout != Layout::kFixed || payload.size() != 8)
    return std::numeric_limits<double>::quiet_NaN();
  uint64_t bits = 0;
  for (int i = 7; i >= 0; --i) bits = bits << 8 | payload[static_cast<std::size_t>(i)];
  double real = 0;
  static_assert(sizeof real == sizeof bits);
  std::memcpy(&real, &bits, sizeof real);
  return real;
}

void ReadScaling(Session& session, Channel& channel) {
  if (!KSTRN_GotoReference(kToSensor, session.handle())) return;
  const std::optional<Session::Position> target = session.Parent();
  if (!target) return;
  channel.scalingName = TextValue(session, kName).value_or("");
  if (target->tid == kSensor) {
    channel.scaling = "sensor";
    for (const uint16_t tid : {1011, 1012, 1005, 1006})
      channel.sensorReals.push_back(RealValue(session, tid));
  } else if (target->tid == kTable) {
    channel.scaling = "table";
    std::vector<std::pair<double, double>> points;
    const uint16_t count = session.ItemCount(kTablePoint);
    for (uint16_t i = 0; i < count; ++i) {
      session.OpenItem(kTablePoint, i);
      const double x = static_cast<double>(NumberValue(session, kPointX).value_or(0));
      const double y = RealValue(session, kPointY);
      session.CloseItem();
      if (std::isfinite(y)) points.emplace_back(x, y);
    }
    std::stable_sort(points.begin(), points.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& point : points) {
      if (channel.table.empty() || channel.table.back().first != point.first)
        channel.table.push_back(point);
    }
  }
}

}  // namespace

double Channel::Scale(double raw) const {
  if (table.empty()) return raw;
  if (raw <= table.front().first) return table.front().second;
  if (raw >= table.back().first) return table.back().second;
  const auto next = std::lower_bound(table.begin(), table.end(), raw,
                                     [](const auto& point, double x) { return point.first < x; });
  const auto before = next - 1;
  if (next->first == raw) return next->second;
  const double f = (raw - before->first) / (next->first - before->first);
  return before->second + f * (next->second - before->second);
}

std::pair<double, double> Channel::ScaledRange(double lo, double hi) const {
  const double a = Scale(lo), z = Scale(hi);
  std::pair<double, double> range{std::min(a, z), std::max(a, z)};
  for (const auto& [x, y] : table) {
    if (x <= lo || x >= hi) continue;
    range.first = std::min(range.first, y);
    range.second = std::max(range.second, y);
  }
  return range;
}

uint32_t RatePeriodMs(uint64_t rateIndex) {
  return rateIndex < std::size(kPeriodsMs) ? kPeriodsMs[rateIndex] : 0;
}

std::vector<Channel> ReadChannels(Session& session) {
  std::vector<Channel> channels;
  session.GotoRoot();
  if (session.ItemCount(kLogger) == 0) return channels;
  const BlockPath logger{{kLogger, 0}};
  EnterPath(session, logger);
  const uint16_t modules = session.ItemCount(kSamples);
  const uint16_t layouts = session.ItemCount(kLayout);
  const uint16_t refs = session.ItemCount(kChannelRef);
  for (uint16_t m = 0; m < modules; ++m) {
    Channel channel;
    channel.module = m;
    channel.samples = {{kLogger, 0}, {kSamples, m}};
    if (m < layouts) {
      session.OpenItem(kLayout, m);
      channel.periodMs = RatePeriodMs(NumberValue(session, kRate).value_or(UINT64_MAX));
      channel.sampleBytes = NumberValue(session, kSensorByte).value_or(0) != 0 ? 1 : 2;
      session.CloseItem();
    }
    session.OpenItem(kSamples, m);
    channel.source = TextValue(session, kName).value_or("module " + std::to_string(m));
    if (session.HasValue(kBlob)) {
      channel.count = DescribeValue(session, kBlob).payload / channel.sampleBytes;
    }
    session.CloseItem();
    channel.name = channel.source;
    if (m < refs) {
      session.OpenItem(kChannelRef, m);
      channel.name = TextValue(session, kName).value_or(channel.source);
      ReadScaling(session, channel);
      EnterPath(session, logger);
    }
    channels.push_back(std::move(channel));
  }
  return channels;
}

}  // namespace kstrn::tool
