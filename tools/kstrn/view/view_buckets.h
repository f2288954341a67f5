// Min/max buckets of a channel's raw samples, one per pixel column of a plot.
// A coarse summary (the minimum and maximum of every run of `chunk` samples)
// is built on first use by one pass over the blob; a request then reads from
// the file only the partial runs at its buckets' edges, so a zoom step costs
// about two runs per bucket whatever the channel's length.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace kstrn::tool {

// Reads count samples from first (first + count <= the channel's count) as
// unsigned numbers.
using SampleReader = std::function<void(uint64_t first, uint64_t count, std::vector<uint32_t>&)>;

struct Buckets {
  std::vector<uint64_t> first;  // the first sample of each bucket; one more: the end
  std::vector<uint32_t> min, max;
};

class BucketIndex {
 public:
  // Buckets never exceed this; the summary holds at most kMaxRuns runs.
  static constexpr uint32_t kMaxBuckets = 4096;
  static constexpr uint64_t kMaxRuns = 1 << 16;

  BucketIndex(uint64_t count, SampleReader reader);

  // n buckets (1..kMaxBuckets, fewer when the range holds fewer samples)
  // over samples [begin, end), end <= count; bucket i starts at
  // begin + i * (end - begin) / n. Empty for an empty range.
  Buckets Query(uint64_t begin, uint64_t end, uint32_t n);

  uint64_t Chunk() const { return chunk_; }
  uint64_t SamplesRead() const { return read_; }

 private:
  void BuildSummary();
  // Min and max of [begin, end), begin < end.
  void Range(uint64_t begin, uint64_t end, uint32_t& lo, uint32_t& hi);
  void Scan(uint64_t begin, uint64_t end, uint32_t& lo, uint32_t& hi);

  uint64_t count_;
  SampleReader reader_;
  uint64_t chunk_;
  std::vector<uint32_t> runMin_, runMax_;
  std::vector<uint32_t> buffer_;
  uint64_t read_ = 0;
};

}  // namespace kstrn::tool
