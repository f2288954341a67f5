// The channels of a recording converted from the older logger files, as the
// Python package reads them: per module of the logger block (item 2) its
// samples (the blob of item 135), its rate and sample width (item 133), its
// name (item 107) and, through reference 65 of that item, a sensor (item 101)
// or a table (item 102) whose points map raw samples to physical values.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "kestron4/kestron4.hpp"
#include "kstrn_walk.h"

namespace kstrn::tool {

struct Channel {
  uint16_t module = 0;
  std::string name;       // of item 107, else of the samples' block, else "module N"
  std::string source;     // name of the samples' block
  BlockPath samples;      // the block whose blob holds them
  uint32_t periodMs = 0;  // 0: the file gives no valid rate
  uint32_t sampleBytes = 2;
  uint64_t count = 0;   // whole samples in the blob
  std::string scaling;  // "sensor", "table" or empty
  std::string scalingName;
  std::vector<double> sensorReals;  // 1011, 1012, 1005, 1006 as stored (NaN when absent)
  // A table's points as increasing raw x with physical y, the first of equal
  // x kept; empty: the samples stay raw.
  std::vector<std::pair<double, double>> table;

  bool Physical() const { return !table.empty(); }
  // The physical value of a raw sample: linear between points, the end
  // points' y outside them.
  double Scale(double raw) const;
  // The least and greatest physical value of any raw sample in [lo, hi]: the
  // ends' values and those of the points between them, so that a table that
  // turns back (not monotone) still gives the bucket's whole range.
  std::pair<double, double> ScaledRange(double lo, double hi) const;
};

// Sample period in milliseconds of a rate index; 0 for an unknown index.
uint32_t RatePeriodMs(uint64_t rateIndex);

// The channels of session; empty when it holds no recording. Leaves the
// cursor anywhere.
std::vector<Channel> ReadChannels(Session& session);

}  // namespace kstrn::tool
