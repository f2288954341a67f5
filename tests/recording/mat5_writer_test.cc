// The MAT writer's output walked by a small reader of level 5 elements:
// every matrix's size is the sum of its parts, padded to 8, and the
// variables hold what they were given; MATLAB names; the 2 GiB limit.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <stdexcept>
#include <string>

#include "recording/mat/mat5_names.h"
#include "recording/mat/mat5_writer.h"
#include "recording/recording_writer_fixture.h"
#include "recording/table_scaling.h"

namespace kstrn::recording {
namespace {

using testing::MakeRecording;
using testing::RecordingFixture;

uint32_t U32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

struct Var {
  uint8_t array_class = 0;
  uint32_t rows = 0, cols = 0;
  std::string name;
  std::vector<uint8_t> data;
  std::map<std::string, Var> fields;
};

// Parses one miMATRIX whose bytes (after the tag) are [p, p + size).
Var ParseMatrix(const uint8_t* p, uint32_t size) {
  Var v;
  const uint8_t* end = p + size;
  auto element = [&](uint32_t& type, uint32_t& bytes) {
    EXPECT_LE(p + 8, end);
    type = U32(p);
    bytes = U32(p + 4);
    p += 8;
    const uint8_t* at = p;
    p += (bytes + 7) / 8 * 8;
    EXPECT_LE(p, end) << "element past its matrix";
    return at;
  };
  uint32_t type, bytes;
  const uint8_t* at = element(type, bytes);
  EXPECT_EQ(type, 6u);
  v.array_class = at[0];
  at = element(type, bytes);
  EXPECT_EQ(bytes, 8u);
  v.rows = U32(at);
  v.cols = U32(at + 4);
  at = element(type, bytes);
  v.name.assign(reinterpret_cast<const char*>(at), bytes);
  if (v.array_class == 2) {
    at = element(type, bytes);
    const uint32_t each = U32(at);
    at = element(type, bytes);
    std::vector<std::string> names;
    for (uint32_t i = 0; i < bytes / each; ++i) names.emplace_back(reinterpret_cast<const char*>(at + i * each));
    for (const std::string& n : names) {
      at = element(type, bytes);
      EXPECT_EQ(type, 14u);
      v.fields[n] = ParseMatrix(at, bytes);
    }
  } else {
    at = element(type, bytes);
    v.data.assign(at, at + bytes);
  }
  EXPECT_EQ(p, end) << "matrix size is not the sum of its elements";
  return v;
}

std::map<std::string, Var> ParseFile(const std::vector<uint8_t>& file) {
  std::map<std::string, Var> vars;
  EXPECT_GE(file.size(), 128u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.data()), 10), "MATLAB 5.0");
  EXPECT_EQ(file[126], 'I');
  EXPECT_EQ(file[127], 'M');
  for (size_t at = 128; at < file.size();) {
    EXPECT_EQ(U32(&file[at]), 14u);
    const uint32_t size = U32(&file[at + 4]);
    EXPECT_LE(at + 8 + size, file.size());
    if (at + 8 + size > file.size()) break;
    Var v = ParseMatrix(&file[at + 8], size);
    vars[v.name] = v;
    at += 8 + size;
  }
  return vars;
}

template <typename T>
T Element(const Var& v, size_t i) {
  T value;
  std::memcpy(&value, v.data.data() + i * sizeof(T), sizeof(T));
  return value;
}

TEST(Mat5Writer, VariablesHoldTheSamplesTimesAndValues) {
  RecordingFixture rec = MakeRecording({{1000000, {{2, 1000}, {1, 997, true}}}, {20000000, {{4, 51}, {8, 0}}}});
  rec.data.groups[0].channels[1].name = "ch 0.0";  // a clash the names resolve
  testing::VectorSink stream;
  mat5::WriteMat5(rec.data, *rec.source, stream);
  const auto vars = ParseFile(stream.bytes);
  ASSERT_EQ(vars.size(), 5u);
  const Var& info = vars.at("recording");
  EXPECT_EQ(std::string(info.fields.at("start").data.begin(), info.fields.at("start").data.end()),
            std::string("2\0000\0002\0004\0-\0000\0005\0-\0001\0007\0T\0000\0009\0:\0003\0000\0:\0000\0000\0", 38));
  EXPECT_EQ(info.fields.at("event_name").rows, 2u);
  EXPECT_EQ(Element<double>(info.fields.at("event_time"), 1), 0.25);

  const std::map<std::string, std::pair<size_t, size_t>> expected = {
      {"ch_0_0", {0, 0}}, {"ch_0_0_2", {0, 1}}, {"ch_1_0", {1, 0}}, {"ch_1_1", {1, 1}}};
  for (const auto& [name, where] : expected) {
    SCOPED_TRACE(name);
    const auto [g, c] = where;
    const written::WrittenChannel& channel = rec.data.groups[g].channels[c];
    const Var& v = vars.at(name);
    ASSERT_EQ(v.array_class, 2);
    const Var& time = v.fields.at("time");
    const Var& raw = v.fields.at("raw");
    ASSERT_EQ(time.rows, channel.samples);
    ASSERT_EQ(raw.rows, channel.samples);
    EXPECT_EQ(raw.data.size(), channel.samples * channel.sample_bytes);
    const double period = rec.data.groups[g].period_ns * 1e-9;
    for (uint64_t i = 0; i < channel.samples; ++i) {
      ASSERT_EQ(Element<double>(time, i), static_cast<double>(i) * period);
      uint64_t sample = 0;
      std::memcpy(&sample, raw.data.data() + i * channel.sample_bytes, channel.sample_bytes);
      ASSERT_EQ(sample, rec.Sample(g, c, i));
    }
    EXPECT_EQ(v.fields.count("value"), channel.table.empty() ? 0u : 1u);
    if (!channel.table.empty()) {
      const TableScaling scaling(channel.table);
      for (uint64_t i = 0; i < channel.samples; ++i) {
        ASSERT_EQ(Element<double>(v.fields.at("value"), i), scaling(static_cast<double>(rec.Sample(g, c, i))));
      }
      EXPECT_EQ(v.fields.at("table").rows, channel.table.size());
      EXPECT_EQ(v.fields.at("properties").fields.count("note"), 1u);
    }
  }
}

TEST(Mat5Writer, RefusesAVariableOverTwoGibibytesBeforeWriting) {
  struct Untouchable : written::SampleSource {
    const uint8_t* Samples(size_t, size_t, uint64_t, uint64_t) override {
      throw std::logic_error("read before the sizes were checked");
    }
  } source;
  written::RecordedData data;
  data.groups.push_back({1000000, 0, {}});
  data.groups[0].channels.push_back({"long", "", "", 2, 10, "", {}, {}});
  data.groups[0].channels.push_back({"too long", "", "", 2, uint64_t{1} << 28, "", {}, {}});
  testing::VectorSink stream;
  EXPECT_THROW(mat5::WriteMat5(data, source, stream), std::length_error);
  EXPECT_TRUE(stream.bytes.empty());
}

TEST(Mat5Names, ValidUniqueAndShort) {
  struct Case { std::string wanted; std::string name; };
  const std::vector<Case> cases = {
      {"Engine RPM", "Engine_RPM"}, {"Engine-RPM", "Engine_RPM_2"}, {"2nd gear", "x2nd_gear"},
      {"", "x"}, {"_x", "x_x"}, {"recording", "recording_2"}, {"Öl", "x__l"},
      {std::string(80, 'a'), std::string(63, 'a')}, {std::string(70, 'a'), std::string(61, 'a') + "_2"}};
  std::vector<std::string> wanted;
  for (const Case& c : cases) wanted.push_back(c.wanted);
  const std::vector<std::string> names = mat5::ValidNames(wanted, {"recording"});
  for (size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(names[i], cases[i].name) << cases[i].wanted;
}

}  // namespace
}  // namespace kstrn::recording
