// Channels of one sample period side by side, row i at i x period.
#include <algorithm>
#include <cmath>
#include <limits>

#include "recording/align/align.h"
#include "recording/align/sample_window.h"

namespace kstrn::recording {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

class RateGroup final : public ChunkSource {
 public:
  RateGroup(const Recording& recording, std::vector<ColumnDesc> columns, uint32_t periodMs,
            int64_t fromNs, int64_t toNs, std::size_t chunkRows)
      : recording_(recording),
        columns_(std::move(columns)),
        periodNs_(int64_t{periodMs} * kNsPerMs),
        chunkRows_(std::max<std::size_t>(chunkRows, 1)) {
    uint64_t longest = 0;
    for (const ColumnDesc& column : columns_)
      longest = std::max(longest, recording.Channels().at(column.channel).count);
    // Rows whose time lies in [from, to): the half-open window of the
    // Python package's slices.
    const auto ceilDiv = [this](int64_t ns) -> uint64_t {
      return ns <= 0 ? 0 : static_cast<uint64_t>((ns + periodNs_ - 1) / periodNs_);
    };
    first_ = std::min(ceilDiv(fromNs), longest);
    stop_ = std::max(first_, std::min(ceilDiv(toNs), longest));
    next_ = first_;
  }

  bool Next(Chunk& chunk) override {
    const std::size_t rows = static_cast<std::size_t>(std::min<uint64_t>(chunkRows_, stop_ - next_));
    chunk.firstRow = next_ - first_;
    chunk.timeNs.resize(rows);
    chunk.values.resize(rows * columns_.size());
    if (rows == 0) return false;
    for (std::size_t r = 0; r < rows; ++r)
      chunk.timeNs[r] = static_cast<int64_t>(next_ + r) * periodNs_;
    for (std::size_t c = 0; c < columns_.size(); ++c) {
      const Channel& channel = recording_.Channels()[columns_[c].channel];
      double* out = chunk.values.data() + c * rows;
      const uint64_t have = next_ < channel.count ? std::min<uint64_t>(rows, channel.count - next_) : 0;
      if (have != 0) {
        recording_.ReadRaw(channel.index, next_, have, bytes_);
        if (columns_[c].physical) {
          channel.table.Apply(bytes_.data(), channel.sampleBytes, have, out);
        } else {
          const SampleSpan span{bytes_.data(), have, channel.sampleBytes};
          for (uint64_t i = 0; i < have; ++i) out[i] = span.At(i);
        }
      }
      std::fill(out + have, out + rows, kNaN);
    }
    next_ += rows;
    return true;
  }

  uint64_t TotalRows() const override { return stop_ - first_; }

 private:
  const Recording& recording_;
  std::vector<ColumnDesc> columns_;
  int64_t periodNs_;
  std::size_t chunkRows_;
  uint64_t first_ = 0, stop_ = 0, next_ = 0;
  std::vector<uint8_t> bytes_;
};

}  // namespace

std::unique_ptr<ChunkSource> RateGroupReader(const Recording& recording,
                                             std::vector<ColumnDesc> columns, uint32_t periodMs,
                                             int64_t fromNs, int64_t toNs, std::size_t chunkRows) {
  return std::make_unique<RateGroup>(recording, std::move(columns), periodMs, fromNs, toNs,
                                     chunkRows);
}

Fill ResolvedFill(const Channel& channel, const ColumnDesc& column) {
  if (column.fill != Fill::kAuto) return column.fill;
  return column.physical && channel.Physical() ? Fill::kLinear : Fill::kHold;
}

}  // namespace kstrn::recording
