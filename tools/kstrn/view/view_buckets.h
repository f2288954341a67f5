// Min/max buckets of a channel's raw samples, one per pixel column of a plot.
// A coarse summary (the minimum and maximum of every run of `chunk` samples)
// is built on first use by one pass over the blob; a request then reads from
// the file only the partial runs at its buckets' edges, so a zoom step costs
// about two runs per bucket whatever the channel's length. An index keeps
// only its summary (at most kMaxRuns runs, 512 KB): the samples it reads are
// let go after each request.
#pragma once

#include <cstddef>
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

  explicit BucketIndex(uint64_t count);

  // n buckets (1..kMaxBuckets, fewer when the range holds fewer samples)
  // over samples [begin, end), end <= count; bucket i starts at
  // begin + i * (end - begin) / n, read through reader. Empty for an empty
  // range. One caller at a time.
  Buckets Query(uint64_t begin, uint64_t end, uint32_t n, const SampleReader& reader);

  uint64_t Chunk() const { return chunk_; }
  uint64_t SamplesRead() const { return read_; }
  // Bytes the index holds between queries.
  std::size_t Bytes() const;

 private:
  struct Pass;  // the reader and buffer of one query
  void BuildSummary(Pass& pass);
  // Min and max of [begin, end), begin < end.
  void Range(Pass& pass, uint64_t begin, uint64_t end, uint32_t& lo, uint32_t& hi);
  void Scan(Pass& pass, uint64_t begin, uint64_t end, uint32_t& lo, uint32_t& hi);

  uint64_t count_;
  uint64_t chunk_;
  std::vector<uint32_t> runMin_, runMax_;
  uint64_t read_ = 0;
};

}  // namespace kstrn::tool
