// Physical values of raw samples through a channel's table, computed as
// numpy.interp computes them (the Python package's physical values), so
// that every writer gives the same doubles as the package: linear between
// points, the end point's value outside.
#pragma once

#include <cstdint>
#include <vector>

#include "recording/writer_input/recorded_data.h"

namespace kestron4::rec {

class TableLookup {
 public:
  // REQUIRES: points non-empty, raw strictly increasing (CheckRecordedData).
  TableLookup(const std::vector<TablePoint>& points, uint8_t sample_bytes);

  double operator()(uint64_t raw) const {
    return raw < direct_.size() ? direct_[raw] : Interpolate(static_cast<double>(raw));
  }
  double Interpolate(double x) const;

 private:
  std::vector<double> xs_, ys_;
  std::vector<double> direct_;  // every value of one- and two-byte samples
};

}  // namespace kestron4::rec
