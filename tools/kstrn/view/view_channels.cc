// The JSON answers of kstrn view's /api/ requests about a recording: its
// channels and their min/max buckets over a time window.
#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "kstrn_failure.h"
#include "kstrn_value.h"
#include "kstrn_walk.h"
#include "view_params.h"
#include "view_service.h"

namespace kstrn::tool {

using recording::Channel;

const recording::Recording& ViewService::RecordingOf(Session& s) {
  // One model per pooled session: a Recording reads through its session's
  // cursor, and a session is lent to one request at a time.
  const std::lock_guard<std::mutex> lock(recordingsMutex_);
  auto it = recordings_.find(&s);
  if (it == recordings_.end())
    it = recordings_.emplace(&s, recording::Recording::ReadOrEmpty(s)).first;
  return it->second;
}

const std::vector<Channel>& ViewService::ChannelList(Session& s) { return RecordingOf(s).Channels(); }

std::string ViewService::Channels(Session& s) {
  Json list = Json::array();
  for (const Channel& c : ChannelList(s)) {
    Json sensor = Json::array();
    for (const double real : c.sensorReals)
      sensor.push_back(std::isfinite(real) ? Json(real) : Json());
    list.push_back(Json{{"module", c.module},
                        {"name", c.name},
                        {"source", c.source},
                        {"path", "/2:0/135:" + std::to_string(c.module)},
                        {"periodMs", c.periodMs},
                        {"sampleBytes", c.sampleBytes},
                        {"samples", c.count},
                        {"scaling", c.scaling == recording::ScalingKind::kSensor  ? "sensor"
                                    : c.scaling == recording::ScalingKind::kTable ? "table"
                                                                                  : ""},
                        {"scalingName", c.scalingName},
                        {"sensorReals", std::move(sensor)},
                        {"tablePoints", c.table.Points().size()},
                        {"physical", c.Physical()}});
  }
  return Dump(Json{{"channels", std::move(list)}});
}

std::string ViewService::BucketsOf(Session& s, const Params& params) {
  const recording::Recording& rec = RecordingOf(s);
  const std::vector<Channel>& channels = rec.Channels();
  const uint64_t which = Unsigned(params, "ch", 0, UINT16_MAX);
  if (which >= channels.size()) throw Failure("no channel " + std::to_string(which));
  const Channel& c = channels[which];
  if (c.periodMs == 0) throw Failure("channel " + std::to_string(which) + " has no valid rate");
  const uint64_t n = Unsigned(params, "n", 1000, BucketIndex::kMaxBuckets);
  // The time window in milliseconds, as sample indices: [begin, end).
  const double from = std::max(Real(params, "from"), 0.0);
  const double to = Real(params, "to");
  const double last = static_cast<double>(c.count);
  const uint64_t begin = static_cast<uint64_t>(std::min(std::ceil(from / c.periodMs), last));
  const uint64_t end =
      to < from ? begin : static_cast<uint64_t>(std::min(std::floor(to / c.periodMs) + 1, last));
  const SampleReader reader = [&rec, which](uint64_t first, uint64_t count,
                                            std::vector<uint32_t>& out) {
    rec.ReadNumbers(which, first, count, out);
  };
  Buckets b;
  buckets_.With(
      which, [&c] { return std::make_unique<BucketIndex>(c.count); },
      [&](BucketIndex& index) {
        b = index.Query(begin, std::max(begin, end), static_cast<uint32_t>(n), reader);
      });
  Json t = Json::array(), lo = Json::array(), hi = Json::array(), first = Json::array();
  for (std::size_t i = 0; i < b.min.size(); ++i) {
    t.push_back(static_cast<double>(b.first[i]) * c.periodMs / 1000.0);
    first.push_back(b.first[i]);
    const auto [low, high] = c.table.Range(b.min[i], b.max[i]);
    lo.push_back(low);
    hi.push_back(high);
  }
  if (!b.first.empty()) first.push_back(b.first.back());
  return Dump(Json{{"ch", which},
                   {"physical", c.Physical()},
                   {"begin", begin},
                   {"end", std::max(begin, end)},
                   {"t", std::move(t)},
                   {"first", std::move(first)},
                   {"min", std::move(lo)},
                   {"max", std::move(hi)}});
}

}  // namespace kstrn::tool
