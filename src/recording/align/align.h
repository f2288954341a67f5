// The samples of chosen channels as rows of numbers, streamed in chunks of a
// bounded number of rows, so that memory does not grow with the recording:
//
// - per rate (RateGroupReader): the channels of one sample period side by
//   side, row i at i x period, no resampling;
// - on a raster (RasterAligner): channels of any rates on one time grid
//   from the window's start every raster step, each channel's value at a
//   row's time by its Fill.
//
// Values are doubles (exact for raw samples); NaN where a channel has no
// value (past its last sample, in a rate group whose other channels run
// longer). A channel covers [0, count x period): on a raster, a time past
// its last sample but before that end takes the last sample (held, never
// extrapolated).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "recording/recording.h"

namespace kstrn::recording {

inline constexpr int64_t kNsPerMs = 1'000'000;

// How a channel's value between its samples is found on a raster.
enum class Fill {
  kAuto,    // kLinear for a physical value (a table applies and physical is
            // asked for), kHold for raw integers
  kHold,    // the last sample at or before the time
  kLinear,  // linear between the samples around the time (of the physical
            // values when physical, else of the raw numbers)
};

struct ColumnDesc {
  std::size_t channel = 0;  // index into Recording::Channels()
  bool physical = false;    // apply the channel's table (if it has one)
  Fill fill = Fill::kAuto;  // raster only; resolved by ResolvedFill
};
// kHold or kLinear: what kAuto means for this column.
Fill ResolvedFill(const Channel& channel, const ColumnDesc& column);

struct Chunk {
  uint64_t firstRow = 0;        // row number of the chunk's first row
  std::vector<int64_t> timeNs;  // per row, since the start of the recording
  // Column-major: column c's values are values[c * Rows() ..][0 .. Rows()).
  std::vector<double> values;
  std::size_t Rows() const { return timeNs.size(); }
  const double* Column(std::size_t c) const { return values.data() + c * Rows(); }
};

class ChunkSource {
 public:
  virtual ~ChunkSource() = default;
  // Fills chunk with the next rows (at most the chunk size given at
  // construction); false, with chunk empty, after the last row.
  virtual bool Next(Chunk& chunk) = 0;
  // Rows in all, over every chunk.
  virtual uint64_t TotalRows() const = 0;
};

// Channels of one period; rows whose time lies in [fromNs, toNs).
// REQUIRES: every column's channel has that period (non-zero).
std::unique_ptr<ChunkSource> RateGroupReader(const Recording& recording,
                                             std::vector<ColumnDesc> columns, uint32_t periodMs,
                                             int64_t fromNs, int64_t toNs,
                                             std::size_t chunkRows = 65536);

// Rows at fromNs + k x rasterNs below toNs. REQUIRES: rasterNs > 0, every
// column's channel has a non-zero period.
std::unique_ptr<ChunkSource> RasterAligner(const Recording& recording,
                                           std::vector<ColumnDesc> columns, int64_t rasterNs,
                                           int64_t fromNs, int64_t toNs,
                                           std::size_t chunkRows = 65536);

}  // namespace kstrn::recording
