// Sessions holding a logger recording laid out as a converted data file
// has it, built through the public C++ header for the recording layer's
// tests: channels of any rate, width and scaling, and clock events.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "kestron4/kestron4.hpp"

namespace kestron4::recording_test {

struct ChannelDesc {
  ChannelDesc(std::string name_, uint8_t rateIndex_, uint32_t width_,
              std::vector<uint16_t> samples_, std::vector<std::pair<uint16_t, double>> table_ = {},
              std::optional<std::vector<double>> sensor_ = std::nullopt, bool nameless_ = false)
      : name(std::move(name_)),
        rateIndex(rateIndex_),
        width(width_),
        samples(std::move(samples_)),
        table(std::move(table_)),
        sensor(std::move(sensor_)),
        nameless(nameless_) {}

  std::string name;
  uint8_t rateIndex;  // 3: 10 ms
  uint32_t width;     // 1 or 2 bytes
  std::vector<uint16_t> samples;
  // (raw x, physical y) points of a table, in the order stored; none: raw.
  std::vector<std::pair<uint16_t, double>> table;
  std::optional<std::vector<double>> sensor;  // the four reals of a sensor
  bool nameless;  // no item 107 for it
};

struct EventDesc {
  // ms (1067), second, minute, hour, day, month, year
  std::vector<uint64_t> clock;
  std::optional<uint32_t> timeMs;  // 1018
};

// A session with the recording. The cursor is left on the root.
kstrn::Session BuildRecording(const std::vector<ChannelDesc>& channels,
                              const std::vector<EventDesc>& events = {});

}  // namespace kestron4::recording_test
