// Aligning channels: per-rate groups and the raster against a plain
// reference computed from the samples, for any chunk size (chunk boundaries
// must not show), and the checks of an export request.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "recording/export/export.h"
#include "recording/recording_builder.h"

namespace kestron4::recording_test {
namespace {

namespace rec = kstrn::recording;

// Every row of every chunk of a source, row-major: time, then the columns.
std::vector<std::vector<double>> Rows(rec::ChunkSource& source, std::size_t columns) {
  std::vector<std::vector<double>> rows;
  rec::Chunk chunk;
  while (source.Next(chunk)) {
    EXPECT_EQ(chunk.firstRow, rows.size());
    for (std::size_t r = 0; r < chunk.Rows(); ++r) {
      std::vector<double> row{static_cast<double>(chunk.timeNs[r])};
      for (std::size_t c = 0; c < columns; ++c) row.push_back(chunk.Column(c)[r]);
      rows.push_back(row);
    }
  }
  EXPECT_EQ(rows.size(), source.TotalRows());
  return rows;
}

bool Same(double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

// A channel's value at t ns as the raster defines it.
double Expected(const rec::Channel& c, const std::vector<uint16_t>& samples, int64_t t, bool linear,
                bool physical) {
  const int64_t period = int64_t{c.periodMs} * 1'000'000;
  const uint64_t i = static_cast<uint64_t>(t / period);
  if (i >= samples.size()) return NAN;
  const auto v = [&](uint64_t k) { return physical ? c.table(samples[k]) : double(samples[k]); };
  if (!linear || t % period == 0 || i + 1 >= samples.size()) return v(i);
  const double f = static_cast<double>(t % period) / static_cast<double>(period);
  return v(i) + (v(i + 1) - v(i)) * f;
}

TEST(RecordingAlign, RasterHoldsIntegersInterpolatesScaledValuesAndIgnoresChunkBoundaries) {
  std::mt19937 random(5);
  for (int round = 0; round < 12; ++round) {
    std::vector<ChannelDesc> descs;
    std::vector<std::vector<uint16_t>> data;
    for (int c = 0; c < 3; ++c) {
      std::vector<uint16_t> samples(1 + random() % 300);
      for (uint16_t& v : samples) v = static_cast<uint16_t>(random() % 1000);
      ChannelDesc desc{"c" + std::to_string(c), static_cast<uint8_t>(random() % 6), 2, samples};
      if (c == 1) desc.table = {{0, 0.0}, {500, 1.0}, {1000, -3.0}};
      descs.push_back(desc);
      data.push_back(samples);
    }
    kstrn::Session s = BuildRecording(descs);
    const rec::Recording r = rec::Recording::Read(s);
    const bool physical = round % 2 == 0;
    const rec::Fill fill = round % 3 == 0 ? rec::Fill::kAuto : round % 3 == 1 ? rec::Fill::kHold : rec::Fill::kLinear;
    std::vector<rec::ColumnDesc> columns;
    for (std::size_t c = 0; c < 3; ++c) columns.push_back({c, physical, fill});
    const int64_t raster = 1 + static_cast<int64_t>(random() % 7'000'000);
    const int64_t from = static_cast<int64_t>(random() % 20'000'000);
    const int64_t to = from + 1 + static_cast<int64_t>(random() % 3'000'000'000LL);
    std::vector<std::vector<double>> first;
    for (const std::size_t chunkRows : {1, 7, 65536}) {
      auto source = rec::RasterAligner(r, columns, raster, from, to, chunkRows);
      const auto rows = Rows(*source, 3);
      if (first.empty()) {
        first = rows;
        ASSERT_EQ(rows.size(), static_cast<std::size_t>((to - from + raster - 1) / raster));
        for (const auto& row : rows) {
          const int64_t t = static_cast<int64_t>(row[0]);
          for (std::size_t c = 0; c < 3; ++c) {
            const rec::Channel& channel = r.Channels()[c];
            const bool linear = rec::ResolvedFill(channel, columns[c]) == rec::Fill::kLinear;
            ASSERT_TRUE(Same(row[c + 1], Expected(channel, data[c], t, linear, physical)))
                << "round " << round << " t " << t << " column " << c;
          }
        }
      } else {
        ASSERT_EQ(rows.size(), first.size());
        for (std::size_t i = 0; i < rows.size(); ++i)
          for (std::size_t k = 0; k < rows[i].size(); ++k) ASSERT_TRUE(Same(rows[i][k], first[i][k]));
      }
    }
  }
  // Auto: linear only where a table applies and physical values are asked for.
  kstrn::Session s = BuildRecording({{"a", 3, 2, {0}, {{0, 0.0}, {9, 9.0}}}});
  const rec::Recording scaled = rec::Recording::Read(s);
  const rec::Channel& c = scaled.Channels()[0];
  EXPECT_EQ(rec::ResolvedFill(c, {0, true, rec::Fill::kAuto}), rec::Fill::kLinear);
  EXPECT_EQ(rec::ResolvedFill(c, {0, false, rec::Fill::kAuto}), rec::Fill::kHold);
}

TEST(RecordingAlign, ARateGroupKeepsSamplesAsRecordedInAHalfOpenWindow) {
  kstrn::Session s = BuildRecording({{"long", 4, 2, {1, 2, 3, 4, 5}},  // 20 ms
                                     {"short", 4, 1, {9, 8}, {{0, 0.0}, {10, 100.0}}}});
  const rec::Recording r = rec::Recording::Read(s);
  // [20, 80) ms: samples 1..3; the short one ends after its second.
  auto source = rec::RateGroupReader(r, {{0, true}, {1, true}}, 20, 20'000'000, 80'000'000, 2);
  const auto rows = Rows(*source, 2);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], (std::vector<double>{20e6, 2, 80}));
  EXPECT_EQ(rows[1][0], 40e6);
  EXPECT_TRUE(std::isnan(rows[1][2]));
  EXPECT_EQ(rows[2][1], 4);
  // Raw values of the same group.
  auto raw = rec::RateGroupReader(r, {{1, false}}, 20, 0, 1'000'000'000, 65536);
  EXPECT_EQ(Rows(*raw, 1)[1][1], 8);
}

TEST(RecordingExportPlan, BadRequestsAreRefusedWithTheReason) {
  kstrn::Session s = BuildRecording({{"A", 3, 2, std::vector<uint16_t>(100)},   // 1 s at 10 ms
                                     {"B", 17, 2, {1}}});                       // no valid rate
  const rec::Recording r = rec::Recording::Read(s);
  struct Case {
    rec::ExportOptions options;
    const char* says;  // nullptr: accepted
  };
  const auto with = [](auto change) {
    rec::ExportOptions o;
    change(o);
    return o;
  };
  const Case cases[] = {
      {with([](auto&) {}), nullptr},
      {with([](auto& o) { o.channels = {"nope"}; }), "no channel \"nope\"; channels: A, B"},
      {with([](auto& o) { o.channels = {"B"}; }), "no valid rate"},
      {with([](auto& o) { o.fromMs = 1000; }), "after the recording"},
      {with([](auto& o) { o.fromMs = -1; }), "before the recording"},
      {with([](auto& o) { o.fromMs = 500, o.toMs = 500; }), "is empty"},
      {with([](auto& o) { o.toMs = NAN; }), "finite"},
      {with([](auto& o) { o.rasterMs = 0.0001; }), "at least 0.001 ms"},
      {with([](auto& o) { o.fromMs = 990, o.toMs = 5000, o.rasterMs = 1; }), nullptr},
  };
  for (const Case& c : cases) {
    if (c.says == nullptr) {
      const rec::ExportPlan plan = rec::PlanExport(r, c.options);
      EXPECT_EQ(plan.columns.size(), 1u);  // B has no rate: left out
      EXPECT_LE(plan.toNs, 1'000'000'000);  // cut to the samples
      continue;
    }
    try {
      rec::PlanExport(r, c.options);
      ADD_FAILURE() << "accepted; expected: " << c.says;
    } catch (const rec::RecordingError& e) {
      EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << e.what();
    }
  }
  EXPECT_THROW(rec::Export(r, "xls", "/nonexistent/out", {}), rec::RecordingError);
}

}  // namespace
}  // namespace kestron4::recording_test
