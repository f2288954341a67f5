// The recording layer's model: what a converted recording's channels, table
// scaling, events and start time mean, and recordings it must refuse.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "recording/recording.h"
#include "recording/recording_builder.h"
#include "recording/wall_clock.h"
#include "support/scratch_dir.h"

namespace kestron4::recording_test {
namespace {

using kstrn::recording::ClockOf;
using kstrn::recording::Recording;
using kstrn::recording::RecordingError;
using kstrn::recording::ScalingKind;
using kstrn::recording::TablePoint;
using kstrn::recording::TableScaling;

const double kNaN = std::numeric_limits<double>::quiet_NaN();

struct ScaleCase {
  std::vector<TablePoint> points;
  std::vector<double> raw, expected;
};

TEST(TableScaling, LinearBetweenPointsEndValuesOutsideFirstOfEqualXKept) {
  const ScaleCase cases[] = {
      {{{0, 130}, {60, 90}, {255, 0}}, {0, 30, 60, 255, 300}, {130, 110, 90, 0, 0}},
      // Unsorted, a duplicate x (first stored kept), clamped at both ends.
      {{{200, 2}, {100, 1}, {100, 9}}, {50, 100, 150, 250}, {1, 1, 1.5, 2}},
      {{{7, 3}}, {0, 7, 200}, {3, 3, 3}},
      // A point without a finite y is not a point.
      {{{0, kNaN}, {10, 5}, {20, 15}}, {0, 15}, {5, 10}},
      // No usable point: the raw value.
      {{{3, kNaN}}, {42}, {42}},
  };
  for (const ScaleCase& c : cases) {
    const TableScaling table(c.points);
    for (std::size_t i = 0; i < c.raw.size(); ++i)
      EXPECT_DOUBLE_EQ(table(c.raw[i]), c.expected[i]) << "raw " << c.raw[i];
  }
}

TEST(TableScaling, ApplyGivesOperatorsBitsForEveryWidthAndBatchSize) {
  std::mt19937 random(11);
  for (int round = 0; round < 40; ++round) {
    std::vector<TablePoint> points(1 + random() % 20);
    for (TablePoint& p : points)
      p = {static_cast<double>(random() % 70000), static_cast<double>(random() % 2001) / 7.0 - 100};
    const TableScaling table(points);
    const uint32_t width = round % 2 == 0 ? 1 : 2;
    // Small batches search per sample, large ones use the lookup table.
    const std::size_t count = round % 3 == 0 ? 5 : 70000;
    std::vector<uint8_t> bytes(count * width);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    std::vector<double> out(count);
    table.Apply(bytes.data(), width, count, out.data());
    for (std::size_t i = 0; i < count; ++i) {
      const double raw = width == 1 ? bytes[i] : bytes[2 * i] | bytes[2 * i + 1] << 8;
      ASSERT_EQ(out[i], table(raw)) << round << " " << i;
    }
  }
}

TEST(WallClock, RealDatesOnlyAndIsoText) {
  struct Case {
    std::vector<int64_t> date;  // y m d h min s ms
    const char* iso;            // nullptr: not a date
  } cases[] = {
      {{1998, 6, 5, 14, 15, 30, 500}, "1998-06-05T14:15:30.500"},
      {{2000, 2, 29, 0, 0, 0, 0}, "2000-02-29T00:00:00"},
      {{2093, 12, 31, 23, 59, 59, 1500}, "2094-01-01T00:00:00.500"},
      {{1970, 1, 1, 0, 0, 0, 1}, "1970-01-01T00:00:00.001"},
      {{1900, 2, 29, 0, 0, 0, 0}, nullptr},
      {{1999, 13, 1, 0, 0, 0, 0}, nullptr},
      {{1999, 4, 31, 0, 0, 0, 0}, nullptr},
      {{1999, 4, 0, 0, 0, 0, 0}, nullptr},
      {{1999, 4, 1, 24, 0, 0, 0}, nullptr},
      {{1999, 4, 1, 0, 60, 0, 0}, nullptr},
      {{1999, 4, 1, 0, 0, 60, 0}, nullptr},
  };
  for (const Case& c : cases) {
    const auto& d = c.date;
    const auto clock = ClockOf(d[0], d[1], d[2], d[3], d[4], d[5], d[6]);
    ASSERT_EQ(clock.has_value(), c.iso != nullptr) << d[0] << "-" << d[1] << "-" << d[2];
    if (clock) {
      EXPECT_EQ(clock->Iso(), c.iso);
    }
  }
  // Before 1970 too: a whole day back is 86400 s.
  EXPECT_EQ(ClockOf(1969, 12, 31, 0, 0, 0, 0)->ns, -86400LL * 1'000'000'000);
  EXPECT_EQ(ClockOf(1969, 12, 31, 0, 0, 0, 0)->Iso(), "1969-12-31T00:00:00");
}

TEST(RecordingModel, ChannelsNamesRatesWidthsScalingAndTheStart) {
  kstrn::Session s = BuildRecording(
      {{"Oil", 3, 2, {1, 2, 3}, {{0, 0.0}, {1000, 10.0}}},
       {"Oil", 9, 1, {7, 8}, {}, std::vector<double>{0.01, 0, 0, 10}},
       {"Bad rate", 17, 2, {1}},
       {"", 0, 1, {5, 6, 7, 8}, {}, std::nullopt, true}},
      {{{0, 0, 0, 0, 31, 2, 1999}, 100},          // 31 February: no date
       {{500, 30, 15, 14, 5, 6, 1998}, 500},      // the start: 14:15:30.000
       {{0, 0, 0, 0, 1, 1, 2001}, 0}});
  const Recording r = Recording::Read(s);
  const auto& c = r.Channels();
  ASSERT_EQ(c.size(), 4u);
  EXPECT_EQ(c[0].column, "Oil");
  EXPECT_EQ(c[1].column, "Oil (1)");  // a second "Oil" gets its module
  EXPECT_EQ(c[1].name, "Oil");
  EXPECT_EQ(&r.Find("Oil (1)"), &c[1]);
  EXPECT_EQ(c[3].name, "source 3");  // no item 107: the samples' block names it
  EXPECT_EQ(c[3].source, "source 3");
  EXPECT_EQ((std::vector<uint32_t>{c[0].periodMs, c[1].periodMs, c[2].periodMs, c[3].periodMs}),
            (std::vector<uint32_t>{10, 1000, 0, 1}));
  EXPECT_EQ(c[1].sampleBytes, 1u);
  EXPECT_EQ(c[3].count, 4u);
  EXPECT_EQ(c[0].scaling, ScalingKind::kTable);
  EXPECT_EQ(c[0].scalingName, "table 0");
  EXPECT_DOUBLE_EQ(c[0].table(500), 5.0);
  EXPECT_EQ(c[0].tableRange, std::make_pair(-1.0, 1.0));
  EXPECT_EQ(c[1].scaling, ScalingKind::kSensor);
  EXPECT_FALSE(c[1].Physical());  // a sensor's reals are never applied
  EXPECT_EQ(c[1].sensorReals[0], 0.01);
  EXPECT_EQ(c[1].sensorReals[3], 10.0);
  EXPECT_EQ(r.Start()->Iso(), "1998-06-05T14:15:30");
  EXPECT_EQ(r.Events().size(), 3u);
  EXPECT_EQ(r.SpanMs(), 2000u);  // two samples every second
  const auto groups = r.RateGroups();
  EXPECT_EQ(groups.size(), 3u);  // 1, 10 and 1000 ms; the bad rate in none
  EXPECT_EQ(groups.begin()->first, 1u);
  EXPECT_THROW(r.Find("nothing"), RecordingError);
  std::vector<uint32_t> numbers;
  EXPECT_EQ(r.ReadNumbers(0, 1, 99, numbers), 2u);
  EXPECT_EQ(numbers, (std::vector<uint32_t>{2, 3}));
  EXPECT_EQ(r.Mapped(1)->At(1), 8u);
}

TEST(RecordingModel, SessionsWithoutARecordingAreRefused) {
  kstrn::Session empty = kstrn::Session::Create();
  EXPECT_THROW(Recording::Read(empty), RecordingError);
  EXPECT_TRUE(Recording::ReadOrEmpty(empty).Channels().empty());
  kstrn::Session setup = kstrn::Session::Create();
  setup.InsertItemBlocks(2, 1);  // a logger block without recorded samples
  EXPECT_THROW(Recording::Read(setup), RecordingError);
  // Without a clock event the recording has only relative time.
  kstrn::Session noClock = BuildRecording({{"A", 3, 2, {1}}}, {{{0, 0, 0}, 5}});
  EXPECT_FALSE(Recording::Read(noClock).Start());
}

TEST(RecordingModel, AStreamedSessionReadsTheSameSamplesWithoutAMapping) {
  std::vector<uint16_t> samples(5000);
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<uint16_t>(i * 7);
  kstrn::Session built = BuildRecording({{"A", 3, 2, samples}});
  ScratchDir dir;
  built.Save(dir.File("r.kst"));
  kstrn::Session streamed = kstrn::Session::OpenStreamed(dir.File("r.kst"));
  const Recording r = Recording::Read(streamed);
  EXPECT_FALSE(r.Mapped(0));
  std::vector<uint32_t> numbers;
  ASSERT_EQ(r.ReadNumbers(0, 4990, 100, numbers), 10u);
  EXPECT_EQ(numbers[9], samples[4999]);
  kstrn::Session mapped = kstrn::Session::OpenMapped(dir.File("r.kst"));
  const Recording m = Recording::Read(mapped);
  ASSERT_TRUE(m.Mapped(0));
  EXPECT_EQ(m.Mapped(0)->At(4999), samples[4999]);
}

}  // namespace
}  // namespace kestron4::recording_test
