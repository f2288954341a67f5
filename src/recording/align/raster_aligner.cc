// Channels of any rates on one raster. Each row's value is found from the
// one or two samples around its time, read for a chunk at a time, so memory
// follows the chunk whatever the recording's length or the raster's step.
#include <algorithm>
#include <limits>

#include "recording/align/align.h"
#include "recording/align/sample_window.h"

namespace kstrn::recording {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Samples of one column copied for a chunk at most (a raster much coarser
// than the channel reads the two samples around each row instead).
constexpr uint64_t kCopyLimit = 1 << 20;

class Raster final : public ChunkSource {
 public:
  Raster(const Recording& recording, std::vector<ColumnDesc> columns, int64_t rasterNs,
         int64_t fromNs, int64_t toNs, std::size_t chunkRows)
      : recording_(recording),
        columns_(std::move(columns)),
        rasterNs_(rasterNs),
        fromNs_(fromNs),
        chunkRows_(std::max<std::size_t>(chunkRows, 1)) {
    total_ = toNs > fromNs ? static_cast<uint64_t>((toNs - fromNs + rasterNs - 1) / rasterNs) : 0;
    for (const ColumnDesc& column : columns_) windows_.emplace_back(recording, column.channel);
  }

  bool Next(Chunk& chunk) override {
    const std::size_t rows = static_cast<std::size_t>(std::min<uint64_t>(chunkRows_, total_ - next_));
    chunk.firstRow = next_;
    chunk.timeNs.resize(rows);
    chunk.values.resize(rows * columns_.size());
    if (rows == 0) return false;
    for (std::size_t r = 0; r < rows; ++r)
      chunk.timeNs[r] = fromNs_ + static_cast<int64_t>(next_ + r) * rasterNs_;
    for (std::size_t c = 0; c < columns_.size(); ++c) Fill(c, chunk, chunk.values.data() + c * rows);
    next_ += rows;
    return true;
  }

  uint64_t TotalRows() const override { return total_; }

 private:
  void Fill(std::size_t c, const Chunk& chunk, double* out) {
    const ColumnDesc& column = columns_[c];
    const Channel& channel = recording_.Channels()[column.channel];
    const int64_t period = int64_t{channel.periodMs} * kNsPerMs;
    const bool linear = ResolvedFill(channel, column) == Fill::kLinear;
    const bool scaled = column.physical && channel.Physical();
    SampleWindow& window = windows_[c];
    const uint64_t count = channel.count;
    const std::size_t rows = chunk.Rows();
    window.Load(static_cast<uint64_t>(chunk.timeNs.front() / period),
                static_cast<uint64_t>(chunk.timeNs.back() / period) + 1,
                std::max<uint64_t>(4 * rows + 2, kCopyLimit));
    const auto value = [&](uint64_t i) {
      const double raw = window.At(i);
      return scaled ? channel.table(raw) : raw;
    };
    for (std::size_t r = 0; r < rows; ++r) {
      const uint64_t i = static_cast<uint64_t>(chunk.timeNs[r] / period);
      const int64_t into = chunk.timeNs[r] % period;
      if (i >= count) {
        out[r] = kNaN;
      } else if (!linear || into == 0 || i + 1 >= count) {
        out[r] = value(i);
      } else {
        const double a = value(i), b = value(i + 1);
        out[r] = a + (b - a) * (static_cast<double>(into) / static_cast<double>(period));
      }
    }
  }

  const Recording& recording_;
  std::vector<ColumnDesc> columns_;
  int64_t rasterNs_, fromNs_;
  std::size_t chunkRows_;
  uint64_t total_ = 0, next_ = 0;
  std::vector<SampleWindow> windows_;
};

}  // namespace

std::unique_ptr<ChunkSource> RasterAligner(const Recording& recording,
                                           std::vector<ColumnDesc> columns, int64_t rasterNs,
                                           int64_t fromNs, int64_t toNs, std::size_t chunkRows) {
  return std::make_unique<Raster>(recording, std::move(columns), rasterNs, fromNs, toNs, chunkRows);
}

}  // namespace kstrn::recording
