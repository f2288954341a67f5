#include "recording/writer_input/table_lookup.h"

#include <algorithm>
#include <cmath>

namespace kestron4::rec {

TableLookup::TableLookup(const std::vector<TablePoint>& points, uint8_t sample_bytes) {
  for (const TablePoint& p : points) {
    xs_.push_back(p.raw);
    ys_.push_back(p.physical);
  }
  if (sample_bytes <= 2) {
    direct_.resize(size_t{1} << (8 * sample_bytes));
    for (size_t raw = 0; raw < direct_.size(); ++raw) direct_[raw] = Interpolate(static_cast<double>(raw));
  }
}

double TableLookup::Interpolate(double x) const {
  const size_t n = xs_.size();
  if (x <= xs_[0]) return ys_[0];
  if (x >= xs_[n - 1]) return ys_[n - 1];
  // xs_[j] <= x < xs_[j + 1]
  const size_t j = static_cast<size_t>(std::upper_bound(xs_.begin(), xs_.end(), x) - xs_.begin()) - 1;
  const double slope = (ys_[j + 1] - ys_[j]) / (xs_[j + 1] - xs_[j]);
  double y = slope * (x - xs_[j]) + ys_[j];
  if (std::isnan(y)) {
    y = slope * (x - xs_[j + 1]) + ys_[j + 1];
    if (std::isnan(y) && ys_[j] == ys_[j + 1]) y = ys_[j];
  }
  return y;
}

}  // namespace kestron4::rec
