// Linear interpolation in the form numpy's interp computes it (slope times
// the distance from the point below, plus its y), so that the compiled
// layer and numpy give the same bits for the same table.
#include "recording/table_scaling.h"

#include <algorithm>
#include <cmath>

namespace kstrn::recording {

TableScaling::TableScaling(const std::vector<TablePoint>& stored) {
  std::vector<TablePoint> usable;
  for (const TablePoint& point : stored)
    if (std::isfinite(point.physical)) usable.push_back(point);
  std::stable_sort(usable.begin(), usable.end(),
                   [](const TablePoint& a, const TablePoint& b) { return a.raw < b.raw; });
  for (const TablePoint& point : usable)
    if (points_.empty() || points_.back().raw != point.raw) points_.push_back(point);
}

double TableScaling::operator()(double raw) const {
  if (points_.empty()) return raw;
  if (std::isnan(raw)) return raw;
  if (raw <= points_.front().raw) return points_.front().physical;
  if (raw >= points_.back().raw) return points_.back().physical;
  // The last point whose x is at most raw.
  const auto above = std::upper_bound(points_.begin(), points_.end(), raw,
                                      [](double x, const TablePoint& p) { return x < p.raw; });
  const TablePoint& low = *(above - 1);
  if (raw == low.raw) return low.physical;
  const TablePoint& high = *above;
  const double slope = (high.physical - low.physical) / (high.raw - low.raw);
  double value = slope * (raw - low.raw) + low.physical;
  if (std::isnan(value)) {  // an infinite slope: approach from the other side
    value = slope * (raw - high.raw) + high.physical;
    if (std::isnan(value) && low.physical == high.physical) value = low.physical;
  }
  return value;
}

void TableScaling::Apply(const uint8_t* samples, uint32_t width, std::size_t count,
                         double* out) const {
  const std::size_t domain = width == 1 ? 256 : 65536;
  if (points_.empty()) {
    for (std::size_t i = 0; i < count; ++i)
      out[i] = width == 1 ? samples[i] : (samples[2 * i] | samples[2 * i + 1] << 8);
    return;
  }
  // Every raw value of the width looked up once, when that is cheaper than
  // a search per sample.
  if (count >= domain / 4) {
    std::vector<double>& table = width == 1 ? lut8_ : lut16_;
    if (table.size() != domain) {
      table.resize(domain);
      for (std::size_t raw = 0; raw < domain; ++raw) table[raw] = (*this)(static_cast<double>(raw));
    }
    if (width == 1) {
      for (std::size_t i = 0; i < count; ++i) out[i] = table[samples[i]];
    } else {
      for (std::size_t i = 0; i < count; ++i) out[i] = table[samples[2 * i] | samples[2 * i + 1] << 8];
    }
    return;
  }
  for (std::size_t i = 0; i < count; ++i)
    out[i] = (*this)(width == 1 ? samples[i] : (samples[2 * i] | samples[2 * i + 1] << 8));
}

std::pair<double, double> TableScaling::Range(double lo, double hi) const {
  const double a = (*this)(lo), z = (*this)(hi);
  std::pair<double, double> range{std::min(a, z), std::max(a, z)};
  for (const TablePoint& point : points_) {
    if (point.raw <= lo || point.raw >= hi) continue;
    range.first = std::min(range.first, point.physical);
    range.second = std::max(range.second, point.physical);
  }
  return range;
}

}  // namespace kstrn::recording
