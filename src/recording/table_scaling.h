// The table scaling of a recorded channel: the points of a table (raw x,
// physical y) that map a raw sample to its physical value, linear between
// points and the end points' y outside them (no extrapolation).
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace kstrn::recording {

struct TablePoint {
  double raw;
  double physical;
};

class TableScaling {
 public:
  TableScaling() = default;
  // Points as the file stores them, in any order. Points whose physical
  // value is not finite are dropped; the rest are sorted by raw x, and of
  // points with equal x the first stored is kept.
  explicit TableScaling(const std::vector<TablePoint>& stored);

  // No usable point: the samples stay raw.
  bool empty() const { return points_.empty(); }
  // The points applied: increasing raw x.
  const std::vector<TablePoint>& Points() const { return points_; }

  // The physical value of raw; raw itself when empty().
  double operator()(double raw) const;
  // Applies the table to count samples of one width (1: uint8, 2:
  // little-endian uint16, as stored), one lookup per sample without a
  // search when the samples move little from one to the next.
  void Apply(const uint8_t* samples, uint32_t width, std::size_t count, double* out) const;
  // The least and greatest physical value of any raw value in [lo, hi]:
  // the ends' values and those of the points between, so that a table that
  // turns back (not monotone) still gives the whole range.
  std::pair<double, double> Range(double lo, double hi) const;

 private:
  std::vector<TablePoint> points_;
  // Apply's lookup tables over every raw value of a width, made on first use.
  mutable std::vector<double> lut8_, lut16_;
};

}  // namespace kstrn::recording
